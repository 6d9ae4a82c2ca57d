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

TMediaPlayer::TMediaPlayer(WavePort& port, WindowPoster& poster) : Port(port), Poster(poster) {}

TMediaPlayer::~TMediaPlayer() {
    Close();
    Poster.Cancel(this);
}

void TMediaPlayer::RequireOpen() const {
    if (State == Mode::NotOpen) {
        NoDevice();
    }
}

void TMediaPlayer::Open(const std::string& fileName) {
    Close();
    Info = ReadWaveHeader(fileName, WaveUse::Play);
    // Only what the file really holds is played, whatever its header claims.
    Info.DataSize = Info.HeldDataSize();
    PcmFormat format;
    format.Channels = Info.Channels;
    format.BitsPerSample = Info.BitsField;
    format.SamplesPerSec = Info.SampleRate;
    format.BlockAlign = Info.BlockAlign;
    format.AvgBytesPerSec = format.SamplesPerSec * format.BlockAlign;
    BlockAlign = format.BlockAlign;
    BytesPerSecond = format.AvgBytesPerSec;

    FileFd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (FileFd < 0) {
        throw TellamoError("Cannot open \"" + fileName + "\": " + SystemErrorText(errno));
    }
    const WaveResult result = Port.OpenOutput(Handle, WaveMapper, format, this);
    if (result != WaveOk) {
        ::close(FileFd);
        FileFd = -1;
        const std::string text = Port.ErrorText(result);
        throw TellamoError(text.empty() ? "The sound device cannot play \"" + fileName + "\""
                                        : text);
    }
    // A tenth of a second per buffer, whole frames.
    const std::uint32_t chunk =
        std::max<std::uint32_t>(BlockAlign, BytesPerSecond / 10 / BlockAlign * BlockAlign);
    for (int i = 0; i < Slots; ++i) {
        Buffers[i].assign(chunk, 0);
        Headers[i] = WaveHeader{};
        Headers[i].Data = Buffers[i].data();
        Headers[i].BufferLength = chunk;
        Headers[i].User = static_cast<std::uintptr_t>(i);
        Port.PrepareHeader(Handle, &Headers[i]);
    }
    State = Mode::Stopped;
    HeldPosition = 0;
}

void TMediaPlayer::Close() {
    if (State == Mode::NotOpen) {
        return;
    }
    HaltDevice();
    for (WaveHeader& header : Headers) {
        Port.UnprepareHeader(Handle, &header);
    }
    Port.Close(Handle);
    Poster.Cancel(this);
    ::close(FileFd);
    FileFd = -1;
    State = Mode::NotOpen;
}

std::uint64_t TMediaPlayer::BytesToMs(std::uint64_t bytes) const {
    return bytes * 1000 / BytesPerSecond;
}

std::uint32_t TMediaPlayer::Length() const {
    RequireOpen();
    return static_cast<std::uint32_t>(BytesToMs(Info.DataSize));
}

std::uint32_t TMediaPlayer::Position() {
    RequireOpen();
    std::uint64_t bytes = HeldPosition;
    if (State == Mode::Playing) {
        const std::uint64_t played = Port.PlayedBytes(Handle);
        bytes = StartByte + (played > PlayedBase ? played - PlayedBase : 0);
    }
    return static_cast<std::uint32_t>(BytesToMs(std::min<std::uint64_t>(bytes, Info.DataSize)));
}

void TMediaPlayer::StartDevice() {
    Generation.fetch_add(1, std::memory_order_acq_rel);
    PlayedBase = Port.PlayedBytes(Handle);
    StartByte = HeldPosition;
    NextByte = HeldPosition;
    InFlight = 0;
    State = Mode::Playing;
    for (int i = 0; i < Slots; ++i) {
        Feed(i);
    }
    EndIfAllPlayed();
}

void TMediaPlayer::EndIfAllPlayed() {
    // The device's played-byte count can stay short of the data size for good (a server's
    // latency that never drains, a last partial frame): the end is the last buffer coming back.
    if (State == Mode::Playing && InFlight == 0 && NextByte >= Info.DataSize) {
        Generation.fetch_add(1, std::memory_order_acq_rel);
        HeldPosition = Info.DataSize;
        State = Mode::Stopped;
    }
}

void TMediaPlayer::HaltDevice() {
    if (State == Mode::Playing) {
        const std::uint64_t played = Port.PlayedBytes(Handle);
        HeldPosition = std::min<std::uint64_t>(
            StartByte + (played > PlayedBase ? played - PlayedBase : 0), Info.DataSize);
        HeldPosition -= HeldPosition % BlockAlign;
    }
    // Buffers returned by the reset carry an old generation and are not fed again.
    Generation.fetch_add(1, std::memory_order_acq_rel);
    Port.Reset(Handle);
}

void TMediaPlayer::Feed(int slot) {
    if (State != Mode::Playing || NextByte >= Info.DataSize) {
        return;
    }
    WaveHeader& header = Headers[static_cast<std::size_t>(slot)];
    const std::uint64_t want =
        std::min<std::uint64_t>(Buffers[slot].size(), Info.DataSize - NextByte);
    const ssize_t got =
        ::pread(FileFd, Buffers[slot].data(), want, static_cast<off_t>(Info.DataStart + NextByte));
    if (got <= 0) {
        NextByte = Info.DataSize; // the file ends early: what is left plays as the end
        return;
    }
    NextByte += static_cast<std::uint64_t>(got);
    header.BufferLength = static_cast<std::uint32_t>(got);
    header.Flags &= WaveHeaderPrepared;
    if (Port.WriteOutputBuffer(Handle, &header) == WaveOk) {
        ++InFlight;
    } else {
        NextByte = Info.DataSize; // a device that takes no more ends the note with what it has
    }
}

void TMediaPlayer::Play() {
    RequireOpen();
    if (State == Mode::Playing) {
        if (Position() < Length()) {
            return;
        }
        HaltDevice(); // played to the end: this play starts again
    }
    if (HeldPosition >= Info.DataSize) {
        HeldPosition = 0;
    }
    StartDevice();
}

void TMediaPlayer::PauseToggle() {
    RequireOpen();
    if (State == Mode::Playing) {
        HaltDevice();
        State = Mode::Paused;
    } else if (State == Mode::Paused) {
        StartDevice();
    }
}

void TMediaPlayer::Stop() {
    RequireOpen();
    HaltDevice();
    State = Mode::Stopped;
}

void TMediaPlayer::Seek(std::uint32_t milliseconds) {
    RequireOpen();
    HaltDevice();
    std::uint64_t bytes = static_cast<std::uint64_t>(milliseconds) * BytesPerSecond / 1000;
    bytes = std::min<std::uint64_t>(bytes, Info.DataSize);
    HeldPosition = bytes - bytes % BlockAlign;
    State = Mode::Stopped;
}

void TMediaPlayer::WaveBufferDone(WaveHeader* header) {
    const std::intptr_t param =
        static_cast<std::intptr_t>(Generation.load(std::memory_order_acquire)) << 8 |
        static_cast<std::intptr_t>(header->User);
    Poster.Post(this, FeedMessage, param);
}

void TMediaPlayer::HandlePost(std::uint32_t message, std::intptr_t param) {
    if (message != FeedMessage || State != Mode::Playing) {
        return;
    }
    if (static_cast<std::uint32_t>(param >> 8) != Generation.load(std::memory_order_acquire)) {
        return;
    }
    --InFlight;
    Feed(static_cast<int>(param & 0xFF));
    EndIfAllPlayed();
}

} // namespace tellamo
