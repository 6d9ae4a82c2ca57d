#include "audio/Recorder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "audio/Audio.h"
#include "audio/WavFormat.h"
#include "common/Errors.h"
#include "common/FileSystem.h"
#include "common/Rounding.h"

namespace tellamo {

namespace {
// Writes all bytes; 0 or the errno of the failure.
int WriteAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return errno;
        }
        if (n == 0) {
            return ENOSPC;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}
} // namespace

TRecorder::TRecorder(TAudio& owner) : TAudioSettings(owner) {}

TRecorder::~TRecorder() {
    Owner().Poster().Cancel(this);
    std::lock_guard<std::mutex> guard(FileLock);
    if (RecordFd >= 0) {
        ::close(RecordFd);
        RecordFd = -1;
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
    std::lock_guard<std::mutex> guard(FileLock);
    return RecordFd >= 0;
}

std::string TRecorder::FileError() {
    std::lock_guard<std::mutex> guard(FileLock);
    if (!FileStopped) {
        return {};
    }
    if (FileErrno != 0) {
        return "The recording file could not be written: " + SystemErrorText(FileErrno);
    }
    return "The recording file has reached the largest size a WAV file can have";
}

void TRecorder::CompleteFileLocked() {
    if (RecordFd < 0) {
        return;
    }
    const int fd = RecordFd;
    RecordFd = -1;
    FileStopped = false;
    FileErrno = 0;
    try {
        CompleteWaveFile(fd);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0) {
        throw TellamoError("Cannot complete the WAV file: " + SystemErrorText(errno));
    }
}

void TRecorder::RecordToFile(const std::string& fileName) {
    mHoldCount.store(0, std::memory_order_relaxed);
    std::lock_guard<std::mutex> guard(FileLock);
    // An open file is completed first in both cases: dropping it would leave a header that
    // claims no data and a descriptor that is never closed.
    CompleteFileLocked();
    if (fileName.empty()) {
        return;
    }
    int fd = -1;
    if (const int error = RealFileSystem().CreateFile(fileName, fd)) {
        throw TellamoError("Cannot create \"" + fileName + "\": " + SystemErrorText(error));
    }
    const std::uint16_t channels = mChannels == TChannels::Stereo ? 2 : 1;
    const std::uint16_t bits = mBitsPerSample == TBPS::_16 ? 16 : 8;
    const auto header = MakeWaveHeader(channels, mSampleRate, bits);
    const int error = WriteAll(fd, header.data(), header.size());
    if (error != 0) {
        ::close(fd);
        throw TellamoError("Cannot write \"" + fileName + "\": " + SystemErrorText(error));
    }
    RecordFd = fd;
    FileSize = header.size();
    FileStopped = false;
    FileErrno = 0;
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
    WaveResult r = port.OpenInput(Handle, Owner().AudioDeviceID(), SettingsFormat(), this);
    if (r == WaveOk && !HaveBuffers) {
        port.Close(Handle);
        r = WaveErrorNoBuffers;
    }
    if (r != WaveOk) {
        Close();
        Owner().ErrorMessage = WithSystemText("Could not open the input device for recording: ", r);
        return false;
    }
    mDeviceOpen = true;
    InitHeaders();
    for (Slot& slot : Slots) {
        r = port.PrepareHeader(Handle, &slot.Header);
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
    const WaveResult r = Owner().Port().StartInput(Handle);
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
        Owner().Port().AddInputBuffer(Handle, &Slots[static_cast<std::size_t>(slot)].Header);
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
    if (port.Reset(Handle) != WaveOk) {
        Owner().ErrorMessage = "Error in waveInReset";
        return false;
    }
    for (Slot& slot : Slots) {
        const WaveResult r = port.UnprepareHeader(Handle, &slot.Header);
        if (r != WaveOk) {
            Owner().ErrorMessage = WithSystemText("Error in waveInUnprepareHeader", r);
            return false;
        }
    }
    if (port.Close(Handle) != WaveOk) {
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
    {
        std::lock_guard<std::mutex> guard(FileLock);
        CompleteFileLocked();
    }
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
    Slot& s = Slots[static_cast<std::size_t>(slot)];
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

bool TRecorder::AppendToFile(const unsigned char* data, std::uint32_t size) {
    std::lock_guard<std::mutex> guard(FileLock);
    if (RecordFd < 0) {
        return true; // no file: the buffer only goes to OnRecord
    }
    if (FileStopped) {
        return false;
    }
    if (FileSize + size > std::min<std::uint64_t>(FileSizeLimit, 0xFFFFFFFFull)) {
        FileStopped = true;
        return false;
    }
    const int error = WriteAll(RecordFd, data, size);
    if (error != 0) {
        // Undo the partial buffer so the file ends on a whole buffer and its sizes stay true.
        [[maybe_unused]] const int r = ::ftruncate(RecordFd, static_cast<off_t>(FileSize));
        ::lseek(RecordFd, static_cast<off_t>(FileSize), SEEK_SET);
        FileStopped = true;
        FileErrno = error;
        return false;
    }
    FileSize += size;
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
    unsigned char* data = Slots[static_cast<std::size_t>(slot)].Data.data();
    if (!mPaused.load(std::memory_order_relaxed) && CheckTrigger(data, n) &&
        AppendToFile(data, n)) {
        TAudio& owner = Owner();
        if (owner.OnRecord) {
            if (mSplitChannels.load(std::memory_order_relaxed)) {
                SplitBuffer(slot, n);
                owner.OnRecord(this, data, Slots[static_cast<std::size_t>(slot)].Split.data(),
                               static_cast<std::uint16_t>(n / 2));
            } else {
                owner.OnRecord(this, data, nullptr, static_cast<std::uint16_t>(n));
            }
        }
    }
    if (n > 0) {
        mDoneIndex.store((slot + 1) % SlotCount, std::memory_order_release);
        Owner().Poster().Post(this, MM_WIM_DATA, 0);
    }
}

void TRecorder::HandlePost(std::uint32_t message, std::intptr_t) {
    if (message == MM_WIM_DATA && mDeviceOpen) {
        AddBuffer();
    }
}

} // namespace tellamo
