#include "support/SimulatedDisk.h"

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

#include "support/TempDir.h"

namespace tellamo::test {

std::size_t SimulatedDisk::Allowed(std::size_t size) {
    if (!WriteBudget) {
        return size;
    }
    const std::size_t allowed = *WriteBudget < size ? static_cast<std::size_t>(*WriteBudget) : size;
    *WriteBudget -= allowed;
    return allowed;
}

void SimulatedDisk::Snapshot(int fd) {
    const auto open = mOpenFiles.find(fd);
    if (open != mOpenFiles.end() && FileExists(open->second)) {
        mLasting[open->second] = ReadFileBytes(open->second);
    } else if (open != mOpenFiles.end()) {
        mLasting.erase(open->second); // removed while open: nothing lasts under its name
    }
}

std::optional<std::string> SimulatedDisk::LastingContent(const std::string& path) {
    const auto known = mLasting.find(path);
    if (known != mLasting.end()) {
        return known->second;
    }
    if (mCreated.count(path) != 0) {
        return std::string(); // created, never flushed
    }
    // A file this disk never touched is as lasting as it is now.
    return FileExists(path) ? std::optional<std::string>(ReadFileBytes(path)) : std::nullopt;
}

bool SimulatedDisk::Down() {
    if (!mDead && PowerLossAtCall && ++Calls >= *PowerLossAtCall) {
        PowerLossLocked();
    }
    return mDead;
}

void SimulatedDisk::PowerLoss() {
    std::lock_guard<std::mutex> guard(mLock);
    PowerLossLocked();
}

void SimulatedDisk::PowerLossLocked() {
    mDead = true;
    for (const std::string& path : mCreated) {
        if (mLasting.count(path) == 0) {
            mLasting[path] = std::string();
        }
    }
    for (const auto& [path, content] : mLasting) {
        if (content) {
            WriteFileBytes(path, *content);
        } else {
            ::unlink(path.c_str());
        }
    }
}

int SimulatedDisk::CreateFile(const std::string& path, int& fd) {
    std::lock_guard<std::mutex> guard(mLock);
    if (Down()) {
        return EIO;
    }
    const int error = RealFileSystem().CreateFile(path, fd);
    if (error == 0) {
        mOpenFiles[fd] = path;
        mCreated.insert(path);
        mLasting.erase(path); // truncated: what lasts is an empty file until the next flush
    }
    return error;
}

int SimulatedDisk::CreateRecordingFile(const std::string& path, int& fd) {
    std::lock_guard<std::mutex> guard(mLock);
    if (Down()) {
        return EIO;
    }
    const int error = RealFileSystem().CreateRecordingFile(path, fd);
    if (error == 0) {
        mOpenFiles[fd] = path;
        mCreated.insert(path);
        mLasting.erase(path);
    }
    return error;
}

int SimulatedDisk::OpenForUpdate(const std::string& path, int& fd) {
    std::lock_guard<std::mutex> guard(mLock);
    if (Down()) {
        return EIO;
    }
    const int error = RealFileSystem().OpenForUpdate(path, fd);
    if (error == 0) {
        mOpenFiles[fd] = path;
        if (mLasting.count(path) == 0 && mCreated.count(path) == 0) {
            mLasting[path] = ReadFileBytes(path); // as lasting as it was when first seen
        }
    }
    return error;
}

int SimulatedDisk::Write(int fd, const char* data, std::size_t size, std::size_t& written) {
    std::lock_guard<std::mutex> guard(mLock);
    written = 0;
    if (Down()) {
        return EIO;
    }
    const std::size_t allowed = Allowed(size);
    if (allowed == 0 && size > 0) {
        return ENOSPC;
    }
    return RealFileSystem().Write(fd, data, allowed, written);
}

int SimulatedDisk::WriteAt(int fd, const char* data, std::size_t size, std::uint64_t offset,
                           std::size_t& written) {
    std::lock_guard<std::mutex> guard(mLock);
    written = 0;
    if (Down()) {
        return EIO;
    }
    // Bytes inside the file as it is take no new room (a header being brought up to date).
    struct stat st {};
    const std::uint64_t end = ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    const std::size_t inside =
        offset >= end ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(size, end - offset));
    const std::size_t allowed = inside + Allowed(size - inside);
    if (allowed == 0 && size > 0) {
        return ENOSPC;
    }
    return RealFileSystem().WriteAt(fd, data, allowed, offset, written);
}

int SimulatedDisk::Sync(int fd) {
    std::lock_guard<std::mutex> guard(mLock);
    if (Down()) {
        return EIO;
    }
    Snapshot(fd);
    return RealFileSystem().Sync(fd);
}

int SimulatedDisk::DataSync(int fd) {
    std::lock_guard<std::mutex> guard(mLock);
    if (Down()) {
        return EIO;
    }
    Snapshot(fd);
    ++DataSyncs;
    return RealFileSystem().DataSync(fd);
}

int SimulatedDisk::Close(int fd) {
    std::lock_guard<std::mutex> guard(mLock);
    mOpenFiles.erase(fd);
    return RealFileSystem().Close(fd);
}

int SimulatedDisk::Remove(const std::string& path) {
    std::lock_guard<std::mutex> guard(mLock);
    if (Down()) {
        return EIO;
    }
    const int error = RealFileSystem().Remove(path);
    if (error == 0) {
        mLasting[path] = std::nullopt;
    }
    return error;
}

int SimulatedDisk::Rename(const std::string& from, const std::string& to) {
    std::lock_guard<std::mutex> guard(mLock);
    if (Down()) {
        return EIO;
    }
    const std::optional<std::string> moved = LastingContent(from);
    const int error = RealFileSystem().Rename(from, to);
    if (error == 0) {
        mLasting[to] = moved;
        mLasting[from] = std::nullopt;
    }
    return error;
}

int SimulatedDisk::Link(const std::string& existing, const std::string& newPath) {
    std::lock_guard<std::mutex> guard(mLock);
    if (Down()) {
        return EIO;
    }
    const std::optional<std::string> content = LastingContent(existing);
    const int error = RealFileSystem().Link(existing, newPath);
    if (error == 0) {
        mLasting[newPath] = content;
    }
    return error;
}

int SimulatedDisk::SyncDirectory(const std::string& directory) {
    std::lock_guard<std::mutex> guard(mLock);
    return mDead ? EIO : RealFileSystem().SyncDirectory(directory);
}

int SimulatedDisk::Truncate(int fd, std::uint64_t size) {
    std::lock_guard<std::mutex> guard(mLock);
    return mDead ? EIO : RealFileSystem().Truncate(fd, size);
}

int SimulatedDisk::FreeSpace(const std::string& path, std::uint64_t& bytes) {
    std::lock_guard<std::mutex> guard(mLock);
    if (FreeBytes) {
        bytes = *FreeBytes;
        return 0;
    }
    return RealFileSystem().FreeSpace(path, bytes);
}

} // namespace tellamo::test
