#include "support/FaultyFileSystem.h"

namespace tellamo::test {

bool FaultyFileSystem::Fails() {
    ++Calls;
    return FailAt > 0 && (Calls == FailAt || (FailAll && Calls > FailAt));
}

int FaultyFileSystem::CreateFile(const std::string& path, int& fd) {
    if (Fails()) {
        fd = -1;
        return FailError;
    }
    return RealFileSystem().CreateFile(path, fd);
}

int FaultyFileSystem::Write(int fd, const char* data, std::size_t size, std::size_t& written) {
    if (Fails()) {
        // A short write first, as a filling disk does, then the error on the next call.
        written = 0;
        return FailError;
    }
    return RealFileSystem().Write(fd, data, size, written);
}

int FaultyFileSystem::Sync(int fd) {
    return Fails() ? FailError : RealFileSystem().Sync(fd);
}

int FaultyFileSystem::Close(int fd) {
    // The descriptor is released even when the close reports an error, as POSIX close does.
    const int result = RealFileSystem().Close(fd);
    return Fails() ? FailError : result;
}

int FaultyFileSystem::Remove(const std::string& path) {
    return Fails() ? FailError : RealFileSystem().Remove(path);
}

int FaultyFileSystem::Rename(const std::string& from, const std::string& to) {
    return Fails() ? FailError : RealFileSystem().Rename(from, to);
}

int FaultyFileSystem::Link(const std::string& existing, const std::string& newPath) {
    return Fails() ? FailError : RealFileSystem().Link(existing, newPath);
}

int FaultyFileSystem::SyncDirectory(const std::string& directory) {
    return Fails() ? FailError : RealFileSystem().SyncDirectory(directory);
}

} // namespace tellamo::test
