#include "support/CountingFileSystem.h"

namespace tellamo::test {

int CountingFileSystem::CreateFile(const std::string& path, int& fd) {
    return Count(mReal.CreateFile(path, fd));
}
int CountingFileSystem::Write(int fd, const char* data, std::size_t size, std::size_t& written) {
    return Count(mReal.Write(fd, data, size, written));
}
int CountingFileSystem::Sync(int fd) {
    return Count(mReal.Sync(fd));
}
int CountingFileSystem::Close(int fd) {
    return Count(mReal.Close(fd));
}
int CountingFileSystem::Remove(const std::string& path) {
    return Count(mReal.Remove(path));
}
int CountingFileSystem::Rename(const std::string& from, const std::string& to) {
    return Count(mReal.Rename(from, to));
}
int CountingFileSystem::Link(const std::string& existing, const std::string& newPath) {
    return Count(mReal.Link(existing, newPath));
}
int CountingFileSystem::SyncDirectory(const std::string& directory) {
    return Count(mReal.SyncDirectory(directory));
}
int CountingFileSystem::CreateRecordingFile(const std::string& path, int& fd) {
    return Count(mReal.CreateRecordingFile(path, fd));
}
int CountingFileSystem::OpenForUpdate(const std::string& path, int& fd) {
    return Count(mReal.OpenForUpdate(path, fd));
}
int CountingFileSystem::WriteAt(int fd, const char* data, std::size_t size, std::uint64_t offset,
                                std::size_t& written) {
    return Count(mReal.WriteAt(fd, data, size, offset, written));
}
int CountingFileSystem::DataSync(int fd) {
    return Count(mReal.DataSync(fd));
}
int CountingFileSystem::Truncate(int fd, std::uint64_t size) {
    ++Truncates;
    return Count(mReal.Truncate(fd, size));
}
int CountingFileSystem::FreeSpace(const std::string& path, std::uint64_t& bytes) {
    return Count(mReal.FreeSpace(path, bytes));
}
int CountingFileSystem::Status(const std::string& path, bool& regular, std::uint64_t& size) {
    const int error = Count(mReal.Status(path, regular, size));
    if (const auto claimed = ClaimedSizes.find(path); error == 0 && claimed != ClaimedSizes.end()) {
        size = claimed->second;
    }
    return error;
}

} // namespace tellamo::test
