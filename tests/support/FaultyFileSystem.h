#pragma once

#include <array>
#include <string>

#include "common/FileSystem.h"

namespace tellamo::test {

// The kinds of operation a FaultyFileSystem can be told to fail.
enum class FsOp { Any, CreateFile, Write, Sync, Close, Remove, Rename, Link, SyncDirectory };

// The real file system, except that the operation with number FailAt (counted from 1 over every
// call of kind FailOp, or over every call at all with FsOp::Any) fails with FailError, and with
// FailAll every such operation from FailAt on fails. Calls is the number of operations seen, so
// a test can first count them and then fail each in turn; CallsOf counts one kind.
class FaultyFileSystem final : public FileSystem {
public:
    FsOp FailOp = FsOp::Any;
    int FailAt = 0; // 0: never
    bool FailAll = false;
    int FailError = 28; // ENOSPC
    int Calls = 0;

    int CallsOf(FsOp op) const { return mKindCalls[static_cast<std::size_t>(op)]; }

    int CreateFile(const std::string& path, int& fd) override;
    int Write(int fd, const char* data, std::size_t size, std::size_t& written) override;
    int Sync(int fd) override;
    int Close(int fd) override;
    int Remove(const std::string& path) override;
    int Rename(const std::string& from, const std::string& to) override;
    int Link(const std::string& existing, const std::string& newPath) override;
    int SyncDirectory(const std::string& directory) override;

private:
    bool Fails(FsOp op);

    std::array<int, 9> mKindCalls{};
};

} // namespace tellamo::test
