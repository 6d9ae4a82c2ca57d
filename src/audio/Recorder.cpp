#include "audio/Recorder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "audio/Audio.h"
#include "audio/WavFormat.h"
#include "common/Errors.h"
#include "common/FileSystem.h"
#include "common/Rounding.h"

namespace tellamo {

namespace {
// Posted by the device thread when the open file stops taking buffers.
constexpr std::uint32_t FileStoppedPost = 0x7F01;
// Posted by the device thread when the file comes near the size at which the recording goes on
// in a new file, and when it has gone on there.
constexpr std::uint32_t FileNearContinuationPost = 0x7F02;
constexpr std::uint32_t FileContinuedPost = 0x7F03;

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}
} // namespace

TRecorder::TRecorder(TAudio& owner) : TAudioSettings(owner), mFs(&RealFileSystem()) {}

TRecorder::~TRecorder() {
    Owner().Poster().Cancel(this);
    StopFlusher();
    std::lock_guard<std::mutex> guard(mFileLock);
    if (mRecordFd >= 0) {
        // What was written keeps true sizes even when nobody stopped the recording.
        WriteWaveSizes(*mFs, mRecordFd, mFileSize);
        mFs->Close(mRecordFd);
        mRecordFd = -1;
    }
    if (mLeftFd >= 0) {
        WriteWaveSizes(*mFs, mLeftFd, mLeftSize);
        mFs->Close(mLeftFd);
        mLeftFd = -1;
    }
    if (mNextFd >= 0) {
        mFs->Close(mNextFd);
        mFs->Remove(mNextPath);
        mNextFd = -1;
    }
}

void TRecorder::SetNoSamples(std::uint16_t value) {
    Owner().Player().StoreNoSamples(value);
    StoreNoSamples(value);
}

void TRecorder::SetSplitChannels(bool value) {
    mSplitChannels.store(value && mChannels == TChannels::Stereo, std::memory_order_relaxed);
}

bool TRecorder::RecordFileOpen() {
    std::lock_guard<std::mutex> guard(mFileLock);
    return mRecordFd >= 0;
}

std::string TRecorder::FileError() {
    std::lock_guard<std::mutex> guard(mFileLock);
    if (!mFileStopped) {
        return {};
    }
    if (mFileErrno != 0) {
        return "The recording file could not be written: " + SystemErrorText(mFileErrno);
    }
    return "The recording file has reached the largest size a WAV file can have";
}

void TRecorder::StartFlusher() {
    {
        std::lock_guard<std::mutex> wake(mFlushWakeLock);
        mFlushQuit = false;
    }
    mFlusher = std::thread(&TRecorder::FlushLoop, this, HeaderInterval,
                           SyncEveryNthUpdate > 0 ? SyncEveryNthUpdate : 1);
}

void TRecorder::StopFlusher() {
    if (!mFlusher.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> wake(mFlushWakeLock);
        mFlushQuit = true;
    }
    mFlushWake.notify_all();
    mFlusher.join();
}

void TRecorder::FlushLoop(std::chrono::milliseconds interval, int syncEvery) {
    int updates = 0;
    std::unique_lock<std::mutex> wake(mFlushWakeLock);
    while (!mFlushWake.wait_for(wake, interval, [this] { return mFlushQuit; })) {
        wake.unlock();
        {
            std::lock_guard<std::mutex> work(mFlushWorkLock);
            int fd = -1;
            std::uint64_t size = 0;
            {
                std::lock_guard<std::mutex> guard(mFileLock);
                fd = mRecordFd;
                size = mFileSize;
            }
            // Failures are left to the device thread's next append (which reports them) and to
            // the completion, which writes the sizes again; a header that lags a second is all
            // it costs.
            if (fd >= 0 && WriteWaveSizes(*mFs, fd, size) == 0 && ++updates % syncEvery == 0) {
                mFs->DataSync(fd);
            }
        }
        wake.lock();
    }
}

void TRecorder::CompleteFile() {
    StopFlusher();
    std::lock_guard<std::mutex> guard(mFileLock);
    CompleteFileLocked();
}

int TRecorder::CompleteDescriptor(int fd, std::uint64_t size) {
    // The sound reaches the disk first and the header that declares it second, so that the
    // header never claims sound the disk does not hold.
    int error = mFs->DataSync(fd);
    if (error == 0) {
        error = WriteWaveSizes(*mFs, fd, size);
    }
    if (error == 0) {
        error = mFs->DataSync(fd);
    }
    const int closeError = mFs->Close(fd);
    return error != 0 ? error : closeError;
}

void TRecorder::CompleteFileLocked() {
    if (mNextFd >= 0) {
        // Made for a part the recording never reached: no note names it.
        mFs->Close(mNextFd);
        mFs->Remove(mNextPath);
        mNextFd = -1;
    }
    mNearPosted = false;
    if (mRecordFd < 0) {
        return;
    }
    const int fd = mRecordFd;
    mRecordFd = -1;
    mFileStopped = false;
    mFileErrno = 0;
    // The directory entry last, so that the caller may record the note as complete once this
    // returns.
    const int error = CompleteDescriptor(fd, mFileSize);
    if (error != 0) {
        throw TellamoError("Cannot complete the WAV file \"" + mFilePath +
                           "\": " + SystemErrorText(error));
    }
    // Some file systems cannot sync a directory; the file's content is on the disk all the same.
    mFs->SyncDirectory(DirectoryOf(mFilePath));
}

void TRecorder::RecordToFile(const std::string& fileName) {
    mHoldCount.store(0, std::memory_order_relaxed);
    // An open file is completed first in both cases: dropping it would leave a header that
    // claims no data and a descriptor that is never closed.
    CompleteFile();
    if (fileName.empty()) {
        return;
    }
    const int fd = CreateWaveFile(fileName);
    {
        std::lock_guard<std::mutex> guard(mFileLock);
        mRecordFd = fd;
        mFileSize = WaveHeaderSize;
        mFileStopped = false;
        mFileErrno = 0;
        mFilePath = fileName;
        mNearPosted = false;
    }
    StartFlusher();
}

int TRecorder::CreateWaveFile(const std::string& fileName) {
    int fd = -1;
    if (const int error = mFs->CreateRecordingFile(fileName, fd)) {
        throw TellamoError("Cannot create \"" + fileName + "\": " + SystemErrorText(error));
    }
    const std::uint16_t channels = mChannels == TChannels::Stereo ? 2 : 1;
    const std::uint16_t bits = mBitsPerSample == TBPS::_16 ? 16 : 8;
    const auto header = MakeWaveHeader(channels, mSampleRate, bits);
    int error =
        WriteAllAt(*mFs, fd, reinterpret_cast<const char*>(header.data()), header.size(), 0);
    // The file and its name reach the disk before the caller lets the catalogue name the note:
    // a power cut in the first seconds must not leave a record of a file that is not there.
    if (error == 0) {
        error = mFs->DataSync(fd);
    }
    if (error != 0) {
        mFs->Close(fd);
        mFs->Remove(fileName);
        throw TellamoError("Cannot write \"" + fileName + "\": " + SystemErrorText(error));
    }
    // Some file systems cannot sync a directory; nothing better can be done there.
    mFs->SyncDirectory(DirectoryOf(fileName));
    return fd;
}

void TRecorder::PrepareNextFile(const std::string& fileName) {
    const int fd = CreateWaveFile(fileName);
    std::lock_guard<std::mutex> guard(mFileLock);
    if (mRecordFd < 0 || mNextFd >= 0) {
        // The recording ended meanwhile, or a next file is there already.
        mFs->Close(fd);
        mFs->Remove(fileName);
        return;
    }
    mNextFd = fd;
    mNextPath = fileName;
}

std::uint64_t TRecorder::CompleteContinuedFile() {
    // The flush thread may still be writing the sizes of the file just left.
    std::lock_guard<std::mutex> work(mFlushWorkLock);
    int fd = -1;
    std::uint64_t size = 0;
    std::string path;
    {
        std::lock_guard<std::mutex> guard(mFileLock);
        fd = mLeftFd;
        size = mLeftSize;
        path = mLeftPath;
        mLeftFd = -1;
    }
    if (fd < 0) {
        return 0;
    }
    if (const int error = CompleteDescriptor(fd, size)) {
        throw TellamoError("Cannot complete the WAV file \"" + path +
                           "\": " + SystemErrorText(error));
    }
    return size;
}

bool TRecorder::Open() {
    if (mDeviceOpen) {
        return true;
    }
    mQueueIndex.store(0, std::memory_order_release);
    mDoneIndex.store(0, std::memory_order_release);
    // A pause belongs to one recording; a new device starts capturing sound.
    mPaused.store(false, std::memory_order_relaxed);
    WavePort& port = Owner().Port();
    // Without buffers the device is still asked first, so that a machine without one reports
    // the system's own reason.
    WaveResult r = port.OpenInput(mHandle, Owner().AudioDeviceID(), SettingsFormat(), this);
    if (r == WaveOk && !mHaveBuffers) {
        port.Close(mHandle);
        r = WaveErrorNoBuffers;
    }
    if (r != WaveOk) {
        Close();
        Owner().ErrorMessage = WithSystemText("Could not open the input device for recording: ", r);
        return false;
    }
    mDeviceOpen = true;
    InitHeaders();
    for (Slot& slot : mSlots) {
        r = port.PrepareHeader(mHandle, &slot.Header);
        if (r != WaveOk) {
            Close();
            Owner().ErrorMessage = WithSystemText("Error preparing header for recording: ", r);
            return false;
        }
    }
    if (!AddBuffer()) {
        Owner().ErrorMessage = "Error adding next input buffer";
        return false;
    }
    return true;
}

bool TRecorder::StartRecording() {
    if (!Open()) {
        return false;
    }
    const WaveResult r = Owner().Port().StartInput(mHandle);
    if (r != WaveOk) {
        Close();
        Owner().ErrorMessage = WithSystemText("Error starting wave record: ", r);
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        if (!AddBuffer()) {
            Owner().ErrorMessage = "Error adding next input buffer";
            return false;
        }
    }
    return true;
}

bool TRecorder::AddBuffer() {
    const std::int32_t slot = mQueueIndex.load(std::memory_order_relaxed);
    const WaveResult r =
        Owner().Port().AddInputBuffer(mHandle, &mSlots[static_cast<std::size_t>(slot)].Header);
    if (r != WaveOk) {
        const std::string message = WithSystemText("Error adding input buffer", r);
        try {
            Stop();
        } catch (const TellamoError&) {
            // the device error is the one to report; the file was closed all the same
        }
        Owner().ErrorMessage = message;
        return false;
    }
    mQueueIndex.store((slot + 1) % SlotCount, std::memory_order_release);
    return true;
}

bool TRecorder::Close() {
    if (!mDeviceOpen) {
        Owner().ErrorMessage = "Recorder already closed";
        return true;
    }
    WavePort& port = Owner().Port();
    if (port.Reset(mHandle) != WaveOk) {
        Owner().ErrorMessage = "Error in waveInReset";
        return false;
    }
    for (Slot& slot : mSlots) {
        const WaveResult r = port.UnprepareHeader(mHandle, &slot.Header);
        if (r != WaveOk) {
            Owner().ErrorMessage = WithSystemText("Error in waveInUnprepareHeader", r);
            return false;
        }
    }
    if (port.Close(mHandle) != WaveOk) {
        Owner().ErrorMessage = "Error closing input device";
        return false;
    }
    mDeviceOpen = false;
    // Queue requests still waiting belong to the device just closed.
    Owner().Poster().Cancel(this);
    return true;
}

bool TRecorder::Stop() {
    mDeviceActive.store(false, std::memory_order_release);
    const bool closed = Close();
    CompleteFile();
    return closed;
}

void TRecorder::Pause() {
    if (mDeviceOpen) {
        mPaused.store(true, std::memory_order_relaxed);
    }
}

void TRecorder::Resume() {
    if (mDeviceOpen) {
        mPaused.store(false, std::memory_order_relaxed);
    }
}

bool TRecorder::CheckTrigger(const unsigned char* data, std::uint32_t size) {
    const std::int64_t count = RoundHalfEven(mNoSamples * 0.01);
    bool accept = mTriggered.load(std::memory_order_relaxed);
    if (!accept) {
        const std::uint32_t level = mTrigLevel.load(std::memory_order_relaxed);
        std::int64_t loud = 0;
        bool reached = false;
        // Whole buffers are tested whatever their size (the ring never holds more than 65535
        // bytes per buffer).
        if (mBitsPerSample == TBPS::_8) {
            for (std::uint32_t i = 0; i < size && !reached; ++i) {
                const int v = static_cast<int>(data[i]) - 128;
                if (static_cast<std::uint32_t>(v < 0 ? -v : v) >= level) {
                    reached = ++loud >= count;
                }
            }
        } else {
            const std::uint32_t samples = size / 2;
            for (std::uint32_t i = 0; i < samples && !reached; ++i) {
                const auto s = static_cast<std::int16_t>(
                    static_cast<std::uint16_t>(data[2 * i] | (data[2 * i + 1] << 8)));
                const std::int32_t v = s; // -32768 has level 32768
                if (static_cast<std::uint32_t>(v < 0 ? -v : v) >= level) {
                    reached = ++loud >= count;
                }
            }
        }
        if (reached) {
            mHoldCount.store(
                RoundHalfEven32(static_cast<double>(mSampleRate) / mNoSamples / 1000.0 * 500.0),
                std::memory_order_relaxed);
            accept = true;
        }
    }
    std::int32_t hold = mHoldCount.load(std::memory_order_relaxed);
    if (!accept) {
        accept = hold > 0;
    }
    mTriggered.store(accept, std::memory_order_relaxed);
    if (hold > 0) {
        mHoldCount.store(hold - 1, std::memory_order_relaxed);
    }
    return accept;
}

void TRecorder::SplitBuffer(int slot, std::uint32_t size) {
    Slot& s = mSlots[static_cast<std::size_t>(slot)];
    unsigned char* data = s.Data.data();
    unsigned char* right = s.Split.data();
    if (mBitsPerSample == TBPS::_16) {
        const std::uint32_t frames = size / 4;
        for (std::uint32_t f = 0; f < frames; ++f) {
            // Forward order: the packed left sample never overtakes the frame being read.
            const unsigned char l0 = data[4 * f], l1 = data[4 * f + 1];
            right[2 * f] = data[4 * f + 2];
            right[2 * f + 1] = data[4 * f + 3];
            data[2 * f] = l0;
            data[2 * f + 1] = l1;
        }
    } else {
        const std::uint32_t frames = size / 2;
        for (std::uint32_t f = 0; f < frames; ++f) {
            const unsigned char l = data[2 * f];
            right[f] = data[2 * f + 1];
            data[f] = l;
        }
    }
}

bool TRecorder::AppendToFile(const unsigned char* data, std::uint32_t size, bool& newlyStopped,
                             bool& nearContinuation, bool& continued) {
    std::lock_guard<std::mutex> guard(mFileLock);
    if (mRecordFd < 0) {
        return true; // no file: the buffer only goes to OnRecord
    }
    if (mFileStopped) {
        return false;
    }
    // The whole buffer goes to one file or the other, so that the two hold every sample once.
    if (mNextFd >= 0 && mLeftFd < 0 && mFileSize + size > ContinueAtSize) {
        mLeftFd = mRecordFd;
        mLeftSize = mFileSize;
        mLeftPath = mFilePath;
        mRecordFd = mNextFd;
        mFilePath = mNextPath;
        mFileSize = WaveHeaderSize;
        mNextFd = -1;
        mNearPosted = false;
        continued = true;
    }
    if (mFileSize + size > std::min<std::uint64_t>(FileSizeLimit, 0xFFFFFFFFull)) {
        mFileStopped = true;
        newlyStopped = true;
        return false;
    }
    const int error =
        WriteAllAt(*mFs, mRecordFd, reinterpret_cast<const char*>(data), size, mFileSize);
    if (error != 0) {
        // Undo the partial buffer so the file ends on a whole buffer and its sizes stay true.
        mFs->Truncate(mRecordFd, mFileSize);
        mFileStopped = true;
        mFileErrno = error;
        newlyStopped = true;
        return false;
    }
    mFileSize += size;
    if (!mNearPosted && mNextFd < 0 && mFileSize + PrepareMargin >= ContinueAtSize) {
        mNearPosted = true;
        nearContinuation = true;
    }
    return true;
}

void TRecorder::WaveOpened() {
    mDeviceActive.store(true, std::memory_order_release);
}

void TRecorder::WaveClosed() {
    mDeviceActive.store(false, std::memory_order_release);
}

void TRecorder::WaveBufferDone(WaveHeader* header) {
    if (!mDeviceActive.load(std::memory_order_acquire)) {
        return;
    }
    // The slot is the one the header belongs to: the ring order is the device's queue order.
    const int slot = static_cast<int>(header->User % SlotCount);
    const std::uint32_t n = header->BytesRecorded;
    unsigned char* data = mSlots[static_cast<std::size_t>(slot)].Data.data();
    bool fileStopped = false;
    bool nearContinuation = false;
    bool continued = false;
    const bool paused = mPaused.load(std::memory_order_relaxed);
    const bool accepted = !paused && CheckTrigger(data, n);
    if (!paused && !accepted && Owner().OnWaiting) {
        Owner().OnWaiting(this, data, nullptr, static_cast<std::uint16_t>(n));
    }
    if (accepted && AppendToFile(data, n, fileStopped, nearContinuation, continued)) {
        TAudio& owner = Owner();
        if (owner.OnRecord) {
            if (mSplitChannels.load(std::memory_order_relaxed)) {
                SplitBuffer(slot, n);
                owner.OnRecord(this, data, mSlots[static_cast<std::size_t>(slot)].Split.data(),
                               static_cast<std::uint16_t>(n / 2));
            } else {
                owner.OnRecord(this, data, nullptr, static_cast<std::uint16_t>(n));
            }
        }
    }
    if (fileStopped) {
        Owner().Poster().Post(this, FileStoppedPost, 0);
    }
    if (continued) {
        Owner().Poster().Post(this, FileContinuedPost, 0);
    }
    if (nearContinuation) {
        Owner().Poster().Post(this, FileNearContinuationPost, 0);
    }
    if (n > 0) {
        mDoneIndex.store((slot + 1) % SlotCount, std::memory_order_release);
        Owner().Poster().Post(this, MM_WIM_DATA, 0);
    }
}

void TRecorder::HandlePost(std::uint32_t message, std::intptr_t) {
    if (message == MM_WIM_DATA && mDeviceOpen) {
        AddBuffer();
    } else if (message == FileStoppedPost && Owner().OnFileStopped) {
        Owner().OnFileStopped(this);
    } else if (message == FileContinuedPost && Owner().OnFileContinued) {
        Owner().OnFileContinued(this);
    } else if (message == FileNearContinuationPost && Owner().OnFileNearContinuation) {
        Owner().OnFileNearContinuation(this);
    }
}

} // namespace tellamo
