#include "export/StagedFile.h"

#include <atomic>
#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/Errors.h"
#include "common/Files.h"

namespace tellamo {

std::string TemporaryNameBeside(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return dir + "." + name + ".tellamo-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter++) + ".tmp";
}

StagedFile::StagedFile(FileSystem& fileSystem, std::string target)
    : mFiles(fileSystem), mTarget(std::move(target)), mTemporary(TemporaryNameBeside(mTarget)) {
    if (const int error = mFiles.CreateFile(mTemporary, mFd)) {
        mFd = -1;
        Fail(error);
    }
}

StagedFile::~StagedFile() {
    if (mCommitted) {
        return;
    }
    if (mFd >= 0) {
        mFiles.Close(mFd);
    }
    mFiles.Remove(mTemporary);
}

void StagedFile::Fail(int error) {
    throw TellamoError("Cannot write \"" + mTarget + "\": " + SystemErrorText(error));
}

void StagedFile::Write(const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        std::size_t written = 0;
        const int error = mFiles.Write(mFd, data + done, size - done, written);
        if (error == EINTR) {
            continue;
        }
        if (error != 0) {
            Fail(error);
        }
        if (written == 0) {
            Fail(ENOSPC);
        }
        done += written;
    }
}

void StagedFile::Commit() {
    if (const int error = mFiles.Sync(mFd)) {
        Fail(error);
    }
    const int fd = mFd;
    mFd = -1;
    if (const int error = mFiles.Close(fd)) {
        Fail(error);
    }
    if (const int error = mFiles.Rename(mTemporary, mTarget)) {
        Fail(error);
    }
    mCommitted = true;
    const std::size_t slash = mTarget.rfind('/');
    mFiles.SyncDirectory(slash == std::string::npos ? "."
                         : slash == 0               ? "/"
                                                    : mTarget.substr(0, slash));
}

void CopyFileStaged(FileSystem& fileSystem, const std::string& source, const std::string& target,
                    const WorkProgress& progress) {
    const UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (in.Get() < 0 || ::fstat(in.Get(), &info) != 0) {
        throw TellamoError("\"" + source + "\": " + SystemErrorText(errno));
    }
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && existing.st_dev == info.st_dev &&
        existing.st_ino == info.st_ino) {
        throw TellamoError("\"" + target + "\" is the file being copied; choose another target");
    }
    StagedFile out(fileSystem, target);
    std::vector<char> buffer(1 << 20);
    const double total = info.st_size > 0 ? static_cast<double>(info.st_size) : 1.0;
    std::uint64_t copied = 0;
    for (;;) {
        const ssize_t got = ::read(in.Get(), buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw TellamoError("\"" + source + "\": " + SystemErrorText(errno));
        }
        if (got == 0) {
            break;
        }
        out.Write(buffer.data(), static_cast<std::size_t>(got));
        copied += static_cast<std::uint64_t>(got);
        if (progress) {
            progress(static_cast<double>(copied) / total);
        }
    }
    out.Commit();
}

} // namespace tellamo
