#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "common/FileSystem.h"

namespace tellamo {

// A hidden name beside target, unique within this process, for writing target's new content.
std::string TemporaryNameBeside(const std::string& target);

// A file written under a temporary name beside its target and renamed over the target only
// when it is complete: until Commit, an existing target stays exactly as it was, and a
// StagedFile dropped without Commit (an error, a cancel) removes its temporary file. Errors are
// thrown as TellamoError naming the target. One thread at a time.
class StagedFile {
public:
    StagedFile(FileSystem& fileSystem, std::string target);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    void Write(const char* data, std::size_t size);
    // Syncs the content, closes it and renames it over the target.
    void Commit();

private:
    [[noreturn]] void Fail(int error);
    FileSystem& mFiles;
    std::string mTarget;
    std::string mTemporary;
    int mFd = -1;
    bool mCommitted = false;
};

// Told how much is done (0..1); it may throw (ConversionCancelled) to stop the work.
using WorkProgress = std::function<void(double fraction)>;

// Copies source to target byte for byte through a StagedFile. Refuses to copy a file onto itself.
void CopyFileStaged(FileSystem& fileSystem, const std::string& source, const std::string& target,
                    const WorkProgress& progress = {});

} // namespace tellamo
