#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "common/FileSystem.h"

namespace tellamo::test {

// The real file system, watched as a disk would see it. It remembers what every file it touched
// held at its last flush (Sync or DataSync; renames, links and removals are taken as lasting at
// once), so that PowerLoss() can put every such file back to that content: a file never
// flushed comes back empty, a file removed stays removed. After PowerLoss() every call fails
// with EIO and changes nothing, as nothing reaches a disk that has lost its power; descriptors
// are still released by Close.
//
// It can also play a filling disk: after WriteBudget bytes every write comes up short and then
// fails with ENOSPC. FreeBytes, when set, is what FreeSpace reports. Safe to call from several
// threads (the recorder's device and flush threads use it together).
class SimulatedDisk final : public FileSystem {
public:
    std::optional<std::uint64_t> WriteBudget; // bytes that may still be written
    std::optional<std::uint64_t> FreeBytes;
    std::atomic<int> DataSyncs{0};
    // When set, the power goes at that call (counted from 1 over every call that can change the
    // disk), before the call takes effect; Calls counts them.
    std::optional<int> PowerLossAtCall;
    int Calls = 0;
    bool PoweredOff() {
        std::lock_guard<std::mutex> guard(mLock);
        return mDead;
    }

    void PowerLoss();

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

private:
    // How much of a write of size bytes the budget allows (locked).
    std::size_t Allowed(std::size_t size);
    bool Down(); // locked: counts the call, cuts the power when its turn has come
    void PowerLossLocked();
    void Snapshot(int fd);                                              // locked
    std::optional<std::string> LastingContent(const std::string& path); // locked

    std::mutex mLock;
    bool mDead = false;
    std::map<int, std::string> mOpenFiles;
    // Per path: the content that survives a power cut; nullopt when the file is gone for good.
    std::map<std::string, std::optional<std::string>> mLasting;
    std::set<std::string> mCreated;
};

} // namespace tellamo::test
