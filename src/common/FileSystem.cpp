#include "common/FileSystem.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "common/Errors.h"

namespace tellamo {

std::string SystemErrorText(int errorNumber) {
    return std::generic_category().message(errorNumber);
}

namespace {

int Errno(int result) {
    return result == 0 ? 0 : errno;
}

class PosixFileSystem final : public FileSystem {
public:
    int CreateFile(const std::string& path, int& fd) override {
        // The storage folder may be shared, synced or restored from an archive: a symbolic or
        // hard link left at a temporary name must not make the save overwrite the file it
        // points to.
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            fd = -1;
            return errno;
        }
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        return fd < 0 ? errno : 0;
    }
    int Write(int fd, const char* data, std::size_t size, std::size_t& written) override {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            written = 0;
            return errno;
        }
        written = static_cast<std::size_t>(n);
        return 0;
    }
    int Sync(int fd) override { return Errno(::fsync(fd)); }
    int Close(int fd) override { return Errno(::close(fd)); }
    int Remove(const std::string& path) override { return Errno(::unlink(path.c_str())); }
    int Rename(const std::string& from, const std::string& to) override {
        return Errno(::rename(from.c_str(), to.c_str()));
    }
    int Link(const std::string& existing, const std::string& newPath) override {
        return Errno(::link(existing.c_str(), newPath.c_str()));
    }
    int SyncDirectory(const std::string& directory) override {
        const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            return errno;
        }
        const int result = Errno(::fsync(fd));
        ::close(fd);
        return result;
    }
};

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

[[noreturn]] void Fail(const std::string& path, int error) {
    throw TellamoError("\"" + path + "\": " + SystemErrorText(error));
}

// Calls write(data, size, written) until every byte is written: 0, or the errno of the failure
// (a write that makes no progress counts as a full disk).
template <typename WriteOnce> int WriteLoop(const char* data, std::size_t size, WriteOnce write) {
    while (size > 0) {
        std::size_t written = 0;
        const int error = write(data, size, written);
        if (error == EINTR) {
            continue;
        }
        if (error != 0) {
            return error;
        }
        if (written == 0) {
            return ENOSPC;
        }
        data += written;
        size -= written;
    }
    return 0;
}

} // namespace

int FileSystem::CreateRecordingFile(const std::string& path, int& fd) {
    // Whatever stands at the name goes first, so that a planted link is replaced, never
    // written through.
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        fd = -1;
        return errno;
    }
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    return fd < 0 ? errno : 0;
}

int FileSystem::OpenForUpdate(const std::string& path, int& fd) {
    fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    return fd < 0 ? errno : 0;
}

int FileSystem::WriteAt(int fd, const char* data, std::size_t size, std::uint64_t offset,
                        std::size_t& written) {
    const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
    if (n < 0) {
        written = 0;
        return errno;
    }
    written = static_cast<std::size_t>(n);
    return 0;
}

int FileSystem::DataSync(int fd) {
    return Errno(::fdatasync(fd));
}

int FileSystem::Truncate(int fd, std::uint64_t size) {
    return Errno(::ftruncate(fd, static_cast<off_t>(size)));
}

int FileSystem::FreeSpace(const std::string& path, std::uint64_t& bytes) {
    struct statvfs st {};
    if (::statvfs(path.c_str(), &st) != 0) {
        bytes = 0;
        return errno;
    }
    bytes = static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
    return 0;
}

int FileSystem::Status(const std::string& path, bool& regular, std::uint64_t& size) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        regular = false;
        size = 0;
        return errno;
    }
    regular = S_ISREG(st.st_mode);
    size = static_cast<std::uint64_t>(st.st_size);
    return 0;
}

int WriteAllAt(FileSystem& fs, int fd, const char* data, std::size_t size, std::uint64_t offset) {
    return WriteLoop(data, size, [&](const char* part, std::size_t length, std::size_t& written) {
        const int error = fs.WriteAt(fd, part, length, offset, written);
        offset += written;
        return error;
    });
}

int WriteNewFileDurably(FileSystem& fs, const std::string& path, std::string_view data) {
    int fd = -1;
    if (const int error = fs.CreateFile(path, fd)) {
        return error;
    }
    int error = WriteLoop(data.data(), data.size(),
                          [&](const char* part, std::size_t length, std::size_t& written) {
                              return fs.Write(fd, part, length, written);
                          });
    if (error == 0) {
        error = fs.Sync(fd);
    }
    const int closeError = fs.Close(fd);
    if (error == 0) {
        error = closeError;
    }
    if (error != 0) {
        // A half-written file would only fill the disk further, or be taken for a whole one.
        fs.Remove(path);
    }
    return error;
}

FileSystem& RealFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

void ReplaceFileDurably(FileSystem& fs, const std::string& target, std::string_view data,
                        const std::string& tempPath, const std::string& previousPath) {
    if (const int error = WriteNewFileDurably(fs, tempPath, data)) {
        Fail(tempPath, error);
    }

    if (!previousPath.empty()) {
        // Keep the previous generation without ever leaving target missing: a hard link keeps
        // the old content under both names until the rename below replaces target atomically.
        // File systems without hard links get the plain two-rename sequence instead.
        fs.Remove(previousPath);
        const int linkError = fs.Link(target, previousPath);
        if (linkError != 0 && linkError != ENOENT) {
            fs.Rename(target, previousPath);
        }
    }
    if (const int renameError = fs.Rename(tempPath, target)) {
        fs.Remove(tempPath);
        Fail(target, renameError);
    }
    // A directory that cannot be synced (some file systems refuse) leaves the rename in the
    // page cache only; the content itself is on the disk already.
    fs.SyncDirectory(DirectoryOf(target));
}

} // namespace tellamo
