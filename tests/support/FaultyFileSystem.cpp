#include "support/FaultyFileSystem.h"

namespace tellamo::test {

bool FaultyFileSystem::Fails(FsOp op) {
    ++Calls;
    const int count = ++mKindCalls[static_cast<std::size_t>(op)];
    if (FailOp != FsOp::Any && FailOp != op) {
        return false;
    }
    const int number = FailOp == FsOp::Any ? Calls : count;
    return FailAt > 0 && (number == FailAt || (FailAll && number > FailAt));
}

int FaultyFileSystem::CreateFile(const std::string& path, int& fd) {
    if (Fails(FsOp::CreateFile)) {
        fd = -1;
        return FailError;
    }
    return RealFileSystem().CreateFile(path, fd);
}

int FaultyFileSystem::Write(int fd, const char* data, std::size_t size, std::size_t& written) {
    if (Fails(FsOp::Write)) {
        // A short write first, as a filling disk does, then the error on the next call.
        written = 0;
        return FailError;
    }
    return RealFileSystem().Write(fd, data, size, written);
}

int FaultyFileSystem::Sync(int fd) {
    return Fails(FsOp::Sync) ? FailError : RealFileSystem().Sync(fd);
}

int FaultyFileSystem::Close(int fd) {
    // The descriptor is released even when the close reports an error, as POSIX close does.
    const int result = RealFileSystem().Close(fd);
    return Fails(FsOp::Close) ? FailError : result;
}

int FaultyFileSystem::Remove(const std::string& path) {
    return Fails(FsOp::Remove) ? FailError : RealFileSystem().Remove(path);
}

int FaultyFileSystem::Rename(const std::string& from, const std::string& to) {
    return Fails(FsOp::Rename) ? FailError : RealFileSystem().Rename(from, to);
}

int FaultyFileSystem::Link(const std::string& existing, const std::string& newPath) {
    return Fails(FsOp::Link) ? FailError : RealFileSystem().Link(existing, newPath);
}

int FaultyFileSystem::SyncDirectory(const std::string& directory) {
    return Fails(FsOp::SyncDirectory) ? FailError : RealFileSystem().SyncDirectory(directory);
}

} // namespace tellamo::test
