#include "common/FileSystem.h"

#include "common/Errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

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

void WriteAll(FileSystem& fs, int fd, const std::string& path, std::string_view data) {
    std::size_t done = 0;
    while (done < data.size()) {
        std::size_t written = 0;
        const int error = fs.Write(fd, data.data() + done, data.size() - done, written);
        if (error == EINTR) {
            continue;
        }
        if (error != 0) {
            fs.Close(fd);
            Fail(path, error);
        }
        if (written == 0) {
            fs.Close(fd);
            Fail(path, ENOSPC);
        }
        done += written;
    }
}

} // namespace

FileSystem& RealFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

void ReplaceFileDurably(FileSystem& fs, const std::string& target, std::string_view data,
                        const std::string& tempPath, const std::string& previousPath) {
    int fd = -1;
    if (const int error = fs.CreateFile(tempPath, fd)) {
        Fail(tempPath, error);
    }
    WriteAll(fs, fd, tempPath, data);
    if (const int error = fs.Sync(fd)) {
        fs.Close(fd);
        Fail(tempPath, error);
    }
    if (const int error = fs.Close(fd)) {
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
    if (const int error = fs.Rename(tempPath, target)) {
        Fail(target, error);
    }
    // A directory that cannot be synced (some file systems refuse) leaves the rename in the
    // page cache only; the content itself is on the disk already.
    fs.SyncDirectory(DirectoryOf(target));
}

} // namespace tellamo
