#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "audio/AudioSettings.h"
#include "audio/WindowPoster.h"

namespace tellamo {

class FileSystem;

// The wave-in part of the audio component. It captures into the ring of four buffers, decides
// for each full buffer whether it is accepted (the level trigger), appends accepted buffers to
// the open recording file and hands them to the component's OnRecord event.
//
// Threads: every operation runs on the window thread. The device's notifications run on the
// port's device thread: the trigger test, the file append and OnRecord happen there, and the
// request to hand the buffer back to the device is posted to the window thread. OnRecord's data
// is valid only until the handler returns. Nothing is allocated per buffer.
//
// The recording file: the 44-byte WAV header is written when the file is opened, accepted
// buffers are appended as they are, and the sizes are patched when the recording stops. A file
// never grows past 4 GiB - 1 byte: the buffer that would take it there, and every later one, is
// no longer accepted for that file, so its header stays valid. A failed write is undone back to
// the last whole buffer and likewise ends the note there (FileError says why); the window thread
// then hears of it through the component's OnFileStopped event.
//
// So that a killed program or a power cut loses at most the last seconds, a flush thread of the
// recorder's own brings the header's sizes up to what has been written every HeaderInterval and
// flushes the file to the disk at every SyncEveryNthUpdate-th update; the device thread never
// waits for the disk beyond its own append. Completing a file flushes its data, then its final
// header, before the call returns, so a caller may record the note as complete afterwards.
class TRecorder final : public TAudioSettings, public WaveCallback, public PostTarget {
public:
    explicit TRecorder(TAudio& owner);
    ~TRecorder() override;

    // Creates the recording file (replacing one of that name) with its header, and flushes both
    // the file and its folder to the disk before it returns; an open file is completed first. An
    // empty name only completes and closes an open file. Throws TellamoError when the file
    // cannot be created, written or flushed (no file is left then).
    void RecordToFile(const std::string& fileName);
    bool Open();
    bool StartRecording();
    bool AddBuffer();
    bool Close();
    // Closes the device and completes the recording file. Throws TellamoError when the file
    // cannot be completed (the device is closed and the file closed all the same).
    bool Stop();
    void Pause();
    void Resume();

    void SetNoSamples(std::uint16_t value); // applied to the player, then the recorder

    bool SplitChannels() const { return mSplitChannels.load(std::memory_order_relaxed); }
    void SetSplitChannels(bool value);
    std::uint16_t TrigLevel() const { return mTrigLevel.load(std::memory_order_relaxed); }
    void SetTrigLevel(std::uint16_t value) { mTrigLevel.store(value, std::memory_order_relaxed); }
    bool Triggered() const { return mTriggered.load(std::memory_order_relaxed); }
    void SetTriggered(bool value) { mTriggered.store(value, std::memory_order_relaxed); }
    std::int32_t HoldCount() const { return mHoldCount.load(std::memory_order_relaxed); }
    bool Paused() const { return mPaused.load(std::memory_order_relaxed); }
    bool RecordFileOpen();
    // Why the open file stopped taking buffers (full at 4 GiB - 1, or a write error); empty
    // while it takes them.
    std::string FileError();

    // The file system the recording file goes through (the real one unless set); set it before a
    // file is opened.
    void SetFileSystem(FileSystem& fs) { mFs = &fs; }
    // The flush thread's pace; read when a file is opened.
    std::chrono::milliseconds HeaderInterval{1000};
    int SyncEveryNthUpdate = 2;

    // The largest size the recording file may reach: 4 GiB - 1 byte, where the 32-bit sizes of
    // the header end. Set before recording; tests lower it to reach the limit quickly.
    std::uint64_t FileSizeLimit = 0xFFFFFFFFull;
    // Long before that, the recording goes on in a new file: the first buffer that would take the
    // file past ContinueAtSize goes to the next file instead, once the window thread has made it
    // (PrepareNextFile, asked for through OnFileNearContinuation when the file comes within
    // PrepareMargin of it). Until the next file is there the file grows on, up to FileSizeLimit.
    // Both are read by the device thread; set them before recording.
    std::uint64_t ContinueAtSize = 0xE0000000ull; // 3.5 GiB
    std::uint64_t PrepareMargin = 64ull << 20;

    // Creates the recording's next file as RecordToFile creates a file (header, flushed with its
    // folder), for the device thread to go on in. Throws TellamoError (nothing is left then).
    void PrepareNextFile(const std::string& fileName);
    // Completes the file the recording left for its next file (as Stop completes a file) and
    // returns its size in bytes; 0 when the recording has not moved on since the last call.
    // Throws TellamoError when the file cannot be completed (it is closed all the same).
    std::uint64_t CompleteContinuedFile();

    // The level test (device thread); writes Triggered and HoldCount.
    bool CheckTrigger(const unsigned char* data, std::uint32_t size);
    // Splits a stereo buffer in place: left samples packed at the front of the slot's data
    // buffer, right samples into its split buffer; n / 2 bytes each.
    void SplitBuffer(int slot, std::uint32_t size);

    // WaveCallback (device thread)
    void WaveOpened() override;
    void WaveBufferDone(WaveHeader* header) override;
    void WaveClosed() override;
    // PostTarget (window thread)
    void HandlePost(std::uint32_t message, std::intptr_t param) override;

private:
    // Appends a buffer to the open file; false when the file no longer takes buffers.
    // newlyStopped tells that this call stopped it.
    bool AppendToFile(const unsigned char* data, std::uint32_t size, bool& newlyStopped,
                      bool& nearContinuation, bool& continued); // device thread
    // Stops the flush thread, then flushes, completes and closes the open file (window thread).
    void CompleteFile();
    void CompleteFileLocked();
    // Creates fileName with the header of the recording's format, flushed to the disk with its
    // folder; throws TellamoError (window thread).
    int CreateWaveFile(const std::string& fileName);
    // Flushes the data, writes the sizes, flushes them, closes; 0 or the errno.
    int CompleteDescriptor(int fd, std::uint64_t size);
    void StartFlusher();
    void StopFlusher();
    void FlushLoop(std::chrono::milliseconds interval, int syncEvery); // flush thread

    FileSystem* mFs;

    // Read by the device thread, written by the window thread (and OnRecord handlers): single
    // words, atomic.
    std::atomic<bool> mSplitChannels{false};
    std::atomic<std::uint16_t> mTrigLevel{0};
    std::atomic<bool> mTriggered{false};
    std::atomic<bool> mPaused{false};
    // Written by the trigger test on the device thread and reset by RecordToFile: atomic.
    std::atomic<std::int32_t> mHoldCount{0};

    // The recording file, shared by the window thread (open, complete) and the device thread
    // (append): guarded by mFileLock, which the device thread holds only for one write.
    std::mutex mFileLock;
    int mRecordFd = -1;          // guarded by mFileLock
    std::uint64_t mFileSize = 0; // guarded by mFileLock
    bool mFileStopped = false;   // guarded by mFileLock
    int mFileErrno = 0;          // guarded by mFileLock: 0, or the errno of a failed write
    std::string mFilePath;       // guarded by mFileLock
    // The prepared next file, and the file the recording left for it until the window thread
    // completes it: guarded by mFileLock.
    int mNextFd = -1;
    std::string mNextPath;
    int mLeftFd = -1;
    std::uint64_t mLeftSize = 0;
    std::string mLeftPath;
    bool mNearPosted = false; // guarded by mFileLock: OnFileNearContinuation asked for once
    // Held by the flush thread while it uses a descriptor it read, so that the window thread
    // completes and closes a file the recording has left only once the thread is done with it.
    std::mutex mFlushWorkLock;

    // The flush thread runs while a file is open; only the window thread starts and joins it,
    // and the file's descriptor is closed only after the join, so the thread may use it
    // without mFileLock (which it takes only to read the descriptor and the size).
    std::thread mFlusher;
    std::mutex mFlushWakeLock;
    std::condition_variable mFlushWake;
    bool mFlushQuit = false; // guarded by mFlushWakeLock
};

} // namespace tellamo
