#include "dictaphone/MediaPlayer.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "common/Errors.h"

namespace tellamo {

namespace {
constexpr std::uint32_t FeedMessage = 1;

[[noreturn]] void NoDevice() {
    throw TellamoError("No MCI device open");
}
} // namespace

MediaPlayer::MediaPlayer(WavePort& port, WindowPoster& poster) : mPort(port), mPoster(poster) {}

MediaPlayer::~MediaPlayer() {
    Close();
    mPoster.Cancel(this);
}

void MediaPlayer::RequireOpen() const {
    if (mState == Mode::NotOpen) {
        NoDevice();
    }
}

void MediaPlayer::Open(const std::string& fileName) {
    Close();
    mInfo = ReadWaveHeader(fileName, WaveUse::Play);
    // Only what the file really holds is played, whatever its header claims.
    mInfo.DataSize = mInfo.HeldDataSize();
    PcmFormat format;
    format.Channels = mInfo.Channels;
    format.BitsPerSample = mInfo.BitsField;
    format.SamplesPerSec = mInfo.SampleRate;
    format.BlockAlign = mInfo.BlockAlign;
    format.AvgBytesPerSec = format.SamplesPerSec * format.BlockAlign;
    mBlockAlign = format.BlockAlign;
    mBytesPerSecond = format.AvgBytesPerSec;

    mFileFd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (mFileFd < 0) {
        throw TellamoError("Cannot open \"" + fileName + "\": " + SystemErrorText(errno));
    }
    const WaveResult result = mPort.OpenOutput(mHandle, WaveMapper, format, this);
    if (result != WaveOk) {
        ::close(mFileFd);
        mFileFd = -1;
        const std::string text = mPort.ErrorText(result);
        throw TellamoError(text.empty() ? "The sound device cannot play \"" + fileName + "\""
                                        : text);
    }
    // A tenth of a second per buffer, whole frames.
    mChunkBytes =
        std::max<std::uint32_t>(mBlockAlign, mBytesPerSecond / 10 / mBlockAlign * mBlockAlign);
    for (int i = 0; i < Slots; ++i) {
        mBuffers[i].assign(mChunkBytes, 0);
        mHeaders[i] = WaveHeader{};
        mHeaders[i].Data = mBuffers[i].data();
        mHeaders[i].BufferLength = mChunkBytes;
        mHeaders[i].User = static_cast<std::uintptr_t>(i);
        mPort.PrepareHeader(mHandle, &mHeaders[i]);
    }
    if (mStretch && !mStretch->SameFormat(mInfo.SampleRate, mInfo.Channels, mInfo.SixteenBit())) {
        mStretch.reset();
    }
    mState = Mode::Stopped;
    mHeldPosition = 0;
    mRewindDue = false;
}

void MediaPlayer::Close() {
    if (mState == Mode::NotOpen) {
        return;
    }
    HaltDevice();
    for (WaveHeader& header : mHeaders) {
        mPort.UnprepareHeader(mHandle, &header);
    }
    mPort.Close(mHandle);
    mPoster.Cancel(this);
    ::close(mFileFd);
    mFileFd = -1;
    mState = Mode::NotOpen;
}

std::uint64_t MediaPlayer::BytesToMs(std::uint64_t bytes) const {
    return bytes * 1000 / mBytesPerSecond;
}

std::uint64_t MediaPlayer::MsToBytes(std::uint64_t milliseconds) const {
    const std::uint64_t bytes =
        std::min<std::uint64_t>(milliseconds * mBytesPerSecond / 1000, mInfo.DataSize);
    return bytes - bytes % mBlockAlign;
}

std::uint32_t MediaPlayer::Length() const {
    RequireOpen();
    return static_cast<std::uint32_t>(BytesToMs(mInfo.DataSize));
}

std::uint64_t MediaPlayer::PositionBytes() {
    if (mState != Mode::Playing) {
        return mHeldPosition;
    }
    // A sound server's delay estimate wobbles, so the device's count can step back a little;
    // the position of one play only moves on.
    const std::uint64_t now = mPort.PlayedBytes(mHandle);
    mPlayedHigh = std::max(mPlayedHigh, now > mPlayedBase ? now - mPlayedBase : 0);
    const std::uint64_t played = mPlayedHigh;
    std::uint64_t noteBytes = played;
    if (Stretching()) {
        // Each played frame stands for speed frames of the note.
        const std::uint64_t frames = played / mBlockAlign;
        const auto tenths = static_cast<std::uint64_t>(mSpeedTenths);
        noteBytes = (frames * tenths + 5) / 10 * mBlockAlign;
    }
    return std::min<std::uint64_t>(mStartByte + noteBytes, mInfo.DataSize);
}

std::uint32_t MediaPlayer::Position() {
    RequireOpen();
    return static_cast<std::uint32_t>(BytesToMs(PositionBytes()));
}

void MediaPlayer::StartDevice() {
    mGeneration.fetch_add(1, std::memory_order_acq_rel);
    mPlayedBase = mPort.PlayedBytes(mHandle);
    mPlayedHigh = 0;
    mStartByte = mHeldPosition;
    mNextByte = mHeldPosition;
    mAllWritten = mNextByte >= mInfo.DataSize;
    mInFlight = 0;
    mRewindDue = false;
    mState = Mode::Playing;
    if (Stretching()) {
        if (!mStretch) {
            mStretch =
                std::make_unique<TimeStretch>(mInfo.SampleRate, mInfo.Channels, mInfo.SixteenBit());
        }
        mStretch->Start(mSpeedTenths / 10.0);
    }
    for (int i = 0; i < Slots; ++i) {
        Feed(i);
    }
    EndIfAllPlayed();
}

void MediaPlayer::EndIfAllPlayed() {
    // The device's played-byte count can stay short of the data size for good (a server's
    // latency that never drains, a last partial frame, a stretch a few frames short): the end
    // is the last buffer coming back.
    if (mState == Mode::Playing && mInFlight == 0 && mAllWritten) {
        mGeneration.fetch_add(1, std::memory_order_acq_rel);
        mHeldPosition = mInfo.DataSize;
        mState = Mode::Stopped;
    }
}

void MediaPlayer::HaltDevice() {
    if (mState == Mode::Playing) {
        mHeldPosition = PositionBytes();
        mHeldPosition -= mHeldPosition % mBlockAlign;
    }
    // Buffers returned by the reset carry an old generation and are not fed again.
    mGeneration.fetch_add(1, std::memory_order_acq_rel);
    mPort.Reset(mHandle);
}

std::size_t MediaPlayer::ReadFrames(unsigned char* data, std::size_t frames) {
    const std::uint64_t want =
        std::min<std::uint64_t>(frames * mBlockAlign, mInfo.DataSize - mNextByte);
    const ssize_t got =
        want == 0 ? 0
                  : ::pread(mFileFd, data, want, static_cast<off_t>(mInfo.DataStart + mNextByte));
    if (got <= 0) {
        mNextByte = mInfo.DataSize; // the file ends early: what is left plays as the end
        return 0;
    }
    const std::size_t whole = static_cast<std::size_t>(got) / mBlockAlign;
    mNextByte += whole * mBlockAlign;
    if (whole == 0) {
        mNextByte = mInfo.DataSize;
    }
    return whole;
}

void MediaPlayer::Feed(int slot) {
    if (mState != Mode::Playing || mAllWritten) {
        return;
    }
    WaveHeader& header = mHeaders[static_cast<std::size_t>(slot)];
    unsigned char* data = mBuffers[static_cast<std::size_t>(slot)].data();
    std::uint64_t bytes = 0;
    if (Stretching()) {
        const std::size_t frames = mChunkBytes / mBlockAlign;
        const std::size_t got = mStretch->Fill(data, frames, *this);
        bytes = got * mBlockAlign;
        mAllWritten = got < frames;
    } else {
        const std::uint64_t want = std::min<std::uint64_t>(mChunkBytes, mInfo.DataSize - mNextByte);
        const ssize_t got =
            ::pread(mFileFd, data, want, static_cast<off_t>(mInfo.DataStart + mNextByte));
        if (got > 0) {
            bytes = static_cast<std::uint64_t>(got);
            mNextByte += bytes;
        } else {
            mNextByte = mInfo.DataSize; // the file ends early: what is left plays as the end
        }
        mAllWritten = mNextByte >= mInfo.DataSize;
    }
    if (bytes == 0) {
        mAllWritten = true;
        return;
    }
    header.BufferLength = static_cast<std::uint32_t>(bytes);
    header.Flags &= WaveHeaderPrepared;
    if (mPort.WriteOutputBuffer(mHandle, &header) == WaveOk) {
        ++mInFlight;
    } else {
        mAllWritten = true; // a device that takes no more ends the note with what it has
    }
}

void MediaPlayer::Play() {
    RequireOpen();
    if (mState == Mode::Playing) {
        if (Position() < Length()) {
            return;
        }
        HaltDevice(); // played to the end: this play starts again
    }
    if (mHeldPosition >= mInfo.DataSize) {
        mHeldPosition = 0;
    }
    StartDevice();
}

void MediaPlayer::PauseToggle() {
    RequireOpen();
    if (mState == Mode::Playing) {
        HaltDevice();
        mState = Mode::Paused;
        mRewindDue = true;
    } else if (mState == Mode::Paused) {
        if (mRewindDue) {
            // Whoever paused to type lost the last words: the resume repeats them.
            const std::uint64_t back = MsToBytes(mRewindOnResumeMs);
            mHeldPosition = mHeldPosition > back ? mHeldPosition - back : 0;
        }
        StartDevice();
    }
}

void MediaPlayer::Stop() {
    RequireOpen();
    HaltDevice();
    mState = Mode::Stopped;
}

void MediaPlayer::Seek(std::uint32_t milliseconds) {
    RequireOpen();
    HaltDevice();
    mHeldPosition = MsToBytes(milliseconds);
    mState = Mode::Stopped;
}

void MediaPlayer::MoveTo(std::uint64_t bytes) {
    bytes = std::min<std::uint64_t>(bytes, mInfo.DataSize);
    // The end itself is a place too, though it may not be a whole frame from the start.
    if (bytes < mInfo.DataSize) {
        bytes -= bytes % mBlockAlign;
    }
    if (mState == Mode::Playing) {
        HaltDevice();
        mHeldPosition = bytes;
        StartDevice();
    } else {
        // A place chosen while paused is where the resume starts.
        mHeldPosition = bytes;
        mRewindDue = false;
    }
}

void MediaPlayer::JumpTo(std::uint32_t milliseconds) {
    RequireOpen();
    MoveTo(static_cast<std::uint64_t>(milliseconds) * mBytesPerSecond / 1000);
}

void MediaPlayer::Skip(bool forward) {
    RequireOpen();
    const std::uint64_t here = PositionBytes();
    const std::uint64_t step = static_cast<std::uint64_t>(mSkipStepMs) * mBytesPerSecond / 1000;
    MoveTo(forward ? here + step : (here > step ? here - step : 0));
}

void MediaPlayer::SkipBack() {
    Skip(false);
}

void MediaPlayer::SkipForward() {
    Skip(true);
}

void MediaPlayer::SetSpeedTenths(int tenths) {
    tenths = std::clamp(tenths, MinSpeedTenths, MaxSpeedTenths);
    if (tenths == mSpeedTenths) {
        return;
    }
    if (mState == Mode::Playing) {
        HaltDevice(); // the position at the old speed
        mSpeedTenths = tenths;
        StartDevice();
    } else {
        mSpeedTenths = tenths;
    }
}

void MediaPlayer::WaveBufferDone(WaveHeader* header) {
    const std::intptr_t param =
        static_cast<std::intptr_t>(mGeneration.load(std::memory_order_acquire)) << 8 |
        static_cast<std::intptr_t>(header->User);
    mPoster.Post(this, FeedMessage, param);
}

void MediaPlayer::HandlePost(std::uint32_t message, std::intptr_t param) {
    if (message != FeedMessage || mState != Mode::Playing) {
        return;
    }
    if (static_cast<std::uint32_t>(param >> 8) != mGeneration.load(std::memory_order_acquire)) {
        return;
    }
    --mInFlight;
    Feed(static_cast<int>(param & 0xFF));
    EndIfAllPlayed();
}

} // namespace tellamo
