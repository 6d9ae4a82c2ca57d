#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tellamo {

// The few file-system calls that the program's safe saves are made of, behind an interface so
// that tests can make any one of them fail (a full disk at the n-th write, a rename that is
// refused) and check that nothing is lost. Each call returns 0 or an errno value.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Write-only, always a new file: whatever stands at path is removed first, and a link put
    // there in between makes the call fail rather than be written through.
    virtual int CreateFile(const std::string& path, int& fd) = 0;
    virtual int Write(int fd, const char* data, std::size_t size, std::size_t& written) = 0;
    virtual int Sync(int fd) = 0;
    virtual int Close(int fd) = 0;
    virtual int Remove(const std::string& path) = 0;
    virtual int Rename(const std::string& from, const std::string& to) = 0;
    virtual int Link(const std::string& existing, const std::string& newPath) = 0;
    virtual int SyncDirectory(const std::string& directory) = 0;

    // What a recording file needs on top of the safe saves. The defaults are the POSIX calls,
    // so an implementation only overrides what it wants to watch or fail.
    // Opens path write-only, created or truncated, never through a symbolic link.
    virtual int CreateRecordingFile(const std::string& path, int& fd);
    // Opens an existing file write-only, never through a symbolic link (to repair it in place).
    virtual int OpenForUpdate(const std::string& path, int& fd);
    // Writes at offset without moving the file position (pwrite).
    virtual int WriteAt(int fd, const char* data, std::size_t size, std::uint64_t offset,
                        std::size_t& written);
    // Flushes the file's data (and the size that reaches it) to the disk (fdatasync).
    virtual int DataSync(int fd);
    virtual int Truncate(int fd, std::uint64_t size);
    // Bytes an unprivileged writer may still use on the file system holding path (statvfs).
    virtual int FreeSpace(const std::string& path, std::uint64_t& bytes);
    // What stands at path, never through a symbolic link (lstat): whether it is a regular file,
    // and its size in bytes.
    virtual int Status(const std::string& path, bool& regular, std::uint64_t& size);
};

// The process's real file system (POSIX calls).
FileSystem& RealFileSystem();

// Writes data to tempPath, flushes it to the disk, and only then puts it in place of target, so
// that at every moment target holds either the old or the new content in full, also across a
// power cut. When previousPath is not empty, the old target is kept there (the previous
// generation); otherwise it is simply replaced. Throws TellamoError naming the file and the
// system's reason when the new content could not be put in place; target is then unchanged.
void ReplaceFileDurably(FileSystem& fs, const std::string& target, std::string_view data,
                        const std::string& tempPath, const std::string& previousPath = {});

// Writes data as a new file at path (whatever stands there is removed first, see CreateFile)
// and flushes it to the disk; a failed write leaves no half file behind. 0 or the errno of the
// failure.
int WriteNewFileDurably(FileSystem& fs, const std::string& path, std::string_view data);

// Writes all bytes at offset, going on after short writes; 0 or the errno of the failure (a
// write that makes no progress counts as a full disk).
int WriteAllAt(FileSystem& fs, int fd, const char* data, std::size_t size, std::uint64_t offset);

} // namespace tellamo
