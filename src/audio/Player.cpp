#include "audio/Player.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "audio/Audio.h"
#include "audio/WavFormat.h"
#include "common/Errors.h"
#include "common/Files.h"

namespace tellamo {

namespace {
constexpr std::size_t CopyChunk = 64 * 1024;

} // namespace

TPlayer::TPlayer(TAudio& owner, std::string playFilePath)
    : TAudioSettings(owner), mPlayFilePath(std::move(playFilePath)) {}

TPlayer::~TPlayer() {
    Owner().Poster().Cancel(this);
    if (mPlayFd >= 0) {
        ::close(mPlayFd);
    }
}

template <typename Done> void TPlayer::WaitProcessing(Done done) {
    WindowPoster& poster = Owner().Poster();
    while (!done()) {
        poster.WaitForPosts(100);
        poster.ProcessPending();
    }
}

std::uint64_t TPlayer::PlayedBytes() {
    return mDeviceOpen ? Owner().Port().PlayedBytes(mHandle) : 0;
}

void TPlayer::CopySamples(int sourceFd, std::uint64_t offset, std::uint32_t size,
                          const std::string& fileName) {
    if (mCopyBuffer.size() < CopyChunk) {
        mCopyBuffer.resize(CopyChunk);
    }
    const off_t end = ::lseek(mPlayFd, 0, SEEK_END);
    if (end < 0) {
        throw TellamoError("Cannot write \"" + mPlayFilePath + "\": " + SystemErrorText(errno));
    }
    std::uint64_t done = 0;
    try {
        while (done < size) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(mCopyBuffer.size(), size - done));
            const ssize_t got =
                ::pread(sourceFd, mCopyBuffer.data(), want, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                throw TellamoError("Cannot read \"" + fileName + "\": " + SystemErrorText(errno));
            }
            if (got == 0) {
                throw TellamoError("\"" + fileName + "\" ends before its sound data does");
            }
            std::size_t written = 0;
            while (written < static_cast<std::size_t>(got)) {
                const ssize_t w = ::pwrite(mPlayFd, mCopyBuffer.data() + written,
                                           static_cast<std::size_t>(got) - written,
                                           static_cast<off_t>(end + done + written));
                if (w < 0 && errno == EINTR) {
                    continue;
                }
                if (w <= 0) {
                    throw TellamoError("Cannot write \"" + mPlayFilePath +
                                       "\": " + SystemErrorText(w < 0 ? errno : ENOSPC));
                }
                written += static_cast<std::size_t>(w);
            }
            done += static_cast<std::uint64_t>(got);
        }
    } catch (...) {
        // What is already queued keeps playing; the half-copied file is taken back out.
        [[maybe_unused]] const int r = ::ftruncate(mPlayFd, end);
        throw;
    }
}

bool TPlayer::PlayFile(const std::string& fileName, std::uint16_t loops, std::int32_t& samples) {
    if (fileName.empty()) {
        return false;
    }
    if (!mFormatSaved) {
        mSavedChannels = mChannels;
        mSavedBitsPerSample = mBitsPerSample;
        mSavedSampleRate = mSampleRate;
    }
    const WaveInfo info = ReadWaveHeader(fileName, WaveUse::Play);
    // The component's own format holds mono or stereo and a 16-bit rate.
    if (info.Channels > 2 || info.SampleRate > 0xFFFF) {
        throw TellamoError("\"" + fileName + "\" has " + std::to_string(info.Channels) +
                           " channels at " + std::to_string(info.SampleRate) +
                           " Hz, which the audio component cannot play");
    }
    const int sourceFd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (sourceFd < 0) {
        throw TellamoError("Cannot open \"" + fileName + "\": " + SystemErrorText(errno));
    }
    const UniqueFd closeSource(sourceFd);

    // Before each change of format, a playback still running must end: its buffers are the
    // ones the change replaces.
    const auto waitForEnd = [this] {
        WaitProcessing([this] { return !mFormatSaved || !PlaybackRunning(); });
    };
    const TChannels channels = info.Stereo() ? TChannels::Stereo : TChannels::Mono;
    if (channels != mChannels) {
        waitForEnd();
        SetChannels(channels);
    }
    if (info.SampleRate != mSampleRate) {
        waitForEnd();
        SetSampleRate(static_cast<std::uint16_t>(info.SampleRate));
    }
    const TBPS bits = info.SixteenBit() ? TBPS::_16 : TBPS::_8;
    if (bits != mBitsPerSample) {
        waitForEnd();
        SetBitsPerSample(bits);
    }
    const std::uint32_t dataSize = info.DataSize;
    const std::uint32_t count = mBitsPerSample == TBPS::_16 ? dataSize / 2 : dataSize;
    samples = static_cast<std::int32_t>(std::min<std::uint32_t>(count, INT32_MAX));
    mFormatSaved = true;

    bool started = false;
    if (mPlayFd < 0) {
        if (!OpenDevice()) {
            mFormatSaved = false;
            return false;
        }
        // A link planted at the play file's name is removed, never written through.
        int fd = -1;
        if (::unlink(mPlayFilePath.c_str()) == 0 || errno == ENOENT) {
            fd = ::open(mPlayFilePath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        0644);
        }
        if (fd < 0) {
            const int error = errno;
            CloseDeviceQuietly();
            mFormatSaved = false;
            throw TellamoError("Cannot create \"" + mPlayFilePath +
                               "\": " + SystemErrorText(error));
        }
        mPlayFd = fd;
        mDataExhausted.store(false);
        mLoops = loops;
        mReadPosition = 0;
        started = true;
    }
    try {
        CopySamples(sourceFd, info.DataStart, dataSize, fileName);
    } catch (...) {
        if (started) {
            ::close(mPlayFd);
            mPlayFd = -1;
            CloseDeviceQuietly();
            mFormatSaved = false;
        }
        throw;
    }
    if (mReadPosition == 0) {
        // The free slots: the ring less the chunks still in the device (a playback whose data
        // had run out may still be draining).
        const int toFeed = SlotCount - mOutstanding.load();
        for (int i = 0; i < toFeed; ++i) {
            FeedBuffer();
        }
    }
    return true;
}

bool TPlayer::OpenDevice() {
    if (mDeviceOpen) {
        return true;
    }
    mQueueIndex.store(0, std::memory_order_release);
    mQueuedCount.store(0, std::memory_order_release);
    mDoneIndex.store(1, std::memory_order_release);
    mOutstanding.store(0, std::memory_order_release);
    mEndPosted.store(false, std::memory_order_release);
    mDataExhausted.store(false);
    mCloseFailed = false;
    WaveResult r =
        Owner().Port().OpenOutput(mHandle, Owner().AudioDeviceID(), SettingsFormat(), this);
    if (r == WaveOk && !mHaveBuffers) {
        Owner().Port().Close(mHandle);
        r = WaveErrorNoBuffers;
    }
    if (r != WaveOk) {
        Owner().ErrorMessage = WithSystemText("Could not open the output device for playing: ", r);
        return false;
    }
    mDeviceOpen = true;
    InitHeaders();
    return true;
}

void TPlayer::CloseDeviceQuietly() {
    if (!mDeviceOpen) {
        return;
    }
    WavePort& port = Owner().Port();
    port.Reset(mHandle);
    for (Slot& slot : mSlots) {
        port.UnprepareHeader(mHandle, &slot.Header);
    }
    if (port.Close(mHandle) == WaveOk) {
        mDeviceOpen = false;
        Owner().Poster().Cancel(this);
    }
}

void TPlayer::CloseStream() {
    if (mPlayFd < 0) {
        return;
    }
    ::close(mPlayFd);
    mPlayFd = -1;
    mDataExhausted.store(true);
    // With nothing outstanding no return will ask for the close: ask here, so that a playback
    // without any data ends like every other.
    if (mOutstanding.load() == 0 && !mEndPosted.exchange(true)) {
        Owner().Poster().Post(this, MM_WOM_CLOSE, 0);
    }
}

void TPlayer::FeedBuffer() {
    if (mPlayFd < 0) {
        return;
    }
    mEndPosted.store(false, std::memory_order_release);
    const std::int32_t slotIndex = mQueueIndex.load(std::memory_order_relaxed);
    Slot& slot = mSlots[static_cast<std::size_t>(slotIndex)];
    const auto readAt = [&](std::int64_t position) {
        ssize_t n;
        do {
            n = ::pread(mPlayFd, slot.Data.data(), mBufferSize, static_cast<off_t>(position));
        } while (n < 0 && errno == EINTR);
        return n < 0 ? 0 : static_cast<std::int64_t>(n);
    };
    std::int64_t position = mReadPosition;
    std::int64_t n = readAt(position);
    if (n == 0 && mLoops > 0) {
        --mLoops;
        position = 0;
        n = readAt(position);
    }
    mReadPosition = position + n;
    if (n == 0) {
        CloseStream();
        return;
    }
    slot.Header.BufferLength = static_cast<std::uint32_t>(n);
    slot.Header.Flags = 0;
    slot.Header.Loops = 0;
    WavePort& port = Owner().Port();
    WaveResult r = port.PrepareHeader(mHandle, &slot.Header);
    if (r == WaveOk) {
        mOutstanding.fetch_add(1, std::memory_order_acq_rel);
        r = port.WriteOutputBuffer(mHandle, &slot.Header);
        if (r != WaveOk) {
            mOutstanding.fetch_sub(1, std::memory_order_acq_rel);
        }
    }
    if (r != WaveOk) {
        Owner().ErrorMessage = " " + port.ErrorText(r);
        // The chunk is lost; with nothing else in the device no return would ask for the next
        // one, so ask for it here and the playback goes on.
        if (mOutstanding.load(std::memory_order_acquire) == 0) {
            Owner().Poster().Post(this, MM_WOM_DONE, 0);
        }
        return;
    }
    mQueueIndex.store((slotIndex + 1) % SlotCount, std::memory_order_release);
    mQueuedCount.fetch_add(1, std::memory_order_acq_rel);
}

void TPlayer::CloseDevice() {
    if (!mDeviceOpen) {
        Owner().ErrorMessage = "Player already closed";
        return;
    }
    // A chunk still in the device (a file appended after the end was requested) ends the
    // playback with its own return.
    if (mOutstanding.load() > 0) {
        mEndPosted.store(false);
        return;
    }
    WavePort& port = Owner().Port();
    for (Slot& slot : mSlots) {
        const WaveResult r = port.UnprepareHeader(mHandle, &slot.Header);
        if (r != WaveOk) {
            Owner().ErrorMessage = WithSystemText("Error unpreparing header for playing: ", r);
            mCloseFailed = true;
            return;
        }
    }
    const WaveResult r = port.Close(mHandle);
    if (r != WaveOk) {
        Owner().ErrorMessage = WithSystemText("Error closing output device: ", r);
        mCloseFailed = true;
        return;
    }
    mDeviceOpen = false;
    if (mFormatSaved && mPlayFd < 0) {
        SetChannels(mSavedChannels);
        SetSampleRate(mSavedSampleRate);
        SetBitsPerSample(mSavedBitsPerSample);
        mFormatSaved = false;
    }
    if (Owner().OnPlayed) {
        Owner().OnPlayed(this);
    }
}

void TPlayer::Stop() {
    if (!mDeviceOpen) {
        Owner().ErrorMessage = "Player already closed";
        return;
    }
    if (mPlayFd >= 0) {
        ::close(mPlayFd);
        mPlayFd = -1;
        mDataExhausted.store(true);
        mQueueIndex.store(mDoneIndex.load(std::memory_order_acquire), std::memory_order_release);
        Owner().ErrorMessage.clear();
    }
    if (!mEndPosted.load(std::memory_order_acquire)) {
        if (Owner().Port().Reset(mHandle) != WaveOk) {
            Owner().ErrorMessage = "Error in waveOutReset";
            return;
        }
        // Every chunk is back now. With none outstanding no return asked for the close, so
        // ask for it here; otherwise the wait below would never end.
        if (!mEndPosted.exchange(true, std::memory_order_acq_rel)) {
            Owner().Poster().Post(this, MM_WOM_CLOSE, 0);
        }
    }
    WaitProcessing([this] { return !DeviceActive() || mCloseFailed || !mDeviceOpen; });
}

void TPlayer::WaveOpened() {
    mDeviceActive.store(true, std::memory_order_release);
}

void TPlayer::WaveClosed() {
    mDeviceActive.store(false, std::memory_order_release);
}

void TPlayer::WaveBufferDone(WaveHeader*) {
    if (!mDeviceActive.load(std::memory_order_acquire)) {
        return;
    }
    // The last chunk is the one that leaves nothing outstanding once the play file has run
    // out. Counting chunks, rather than comparing ring indices, keeps a window thread that
    // falls behind (every chunk back before one feed request was handled) from ending the
    // playback early. Sequentially consistent: FeedBuffer sets mDataExhausted and then reads
    // mOutstanding, so at least one side sees the end.
    const std::int32_t remaining = mOutstanding.fetch_sub(1) - 1;
    if (remaining == 0 && mDataExhausted.load()) {
        if (!mEndPosted.exchange(true)) {
            Owner().Poster().Post(this, MM_WOM_CLOSE, 0);
        }
        return;
    }
    TAudio& owner = Owner();
    if (owner.OnBufferPlayed) {
        owner.OnBufferPlayed(this);
    }
    const std::int32_t done = mDoneIndex.load(std::memory_order_acquire);
    mDoneIndex.store((done + 1) % SlotCount, std::memory_order_release);
    mQueuedCount.fetch_sub(1, std::memory_order_acq_rel);
    owner.Poster().Post(this, MM_WOM_DONE, 0);
}

void TPlayer::HandlePost(std::uint32_t message, std::intptr_t) {
    if (message == MM_WOM_DONE) {
        if (mDeviceOpen) {
            FeedBuffer();
        }
    } else if (message == MM_WOM_CLOSE) {
        CloseDevice();
    }
}

} // namespace tellamo
