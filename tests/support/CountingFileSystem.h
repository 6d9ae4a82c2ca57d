#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "common/FileSystem.h"

namespace tellamo::test {

// The real file system with every call counted, and sizes it can be told to claim for some
// files (a file of many gigabytes, without writing one).
class CountingFileSystem final : public FileSystem {
public:
    int Calls = 0;
    int Truncates = 0;
    // Sizes Status reports for some files instead of their own.
    std::map<std::string, std::uint64_t> ClaimedSizes;

    int CreateFile(const std::string& path, int& fd) override;
    int Write(int fd, const char* data, std::size_t size, std::size_t& written) override;
    int Sync(int fd) override;
    int Close(int fd) override;
    int Remove(const std::string& path) override;
    int Rename(const std::string& from, const std::string& to) override;
    int Link(const std::string& existing, const std::string& newPath) override;
    int SyncDirectory(const std::string& directory) override;
    int CreateRecordingFile(const std::string& path, int& fd) override;
    int OpenForUpdate(const std::string& path, int& fd) override;
    int WriteAt(int fd, const char* data, std::size_t size, std::uint64_t offset,
                std::size_t& written) override;
    int DataSync(int fd) override;
    int Truncate(int fd, std::uint64_t size) override;
    int FreeSpace(const std::string& path, std::uint64_t& bytes) override;
    int Status(const std::string& path, bool& regular, std::uint64_t& size) override;

private:
    int Count(int result) {
        ++Calls;
        return result;
    }
    FileSystem& mReal = RealFileSystem();
};

} // namespace tellamo::test
