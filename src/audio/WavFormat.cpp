#include "audio/WavFormat.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/ByteIO.h"
#include "common/Errors.h"
#include "common/FileSystem.h"
#include "common/Files.h"

namespace tellamo {

std::array<unsigned char, WaveHeaderSize>
MakeWaveHeader(std::uint16_t channels, std::uint16_t sampleRate, std::uint16_t bitsPerSample) {
    std::array<unsigned char, WaveHeaderSize> h{};
    const std::uint16_t blockAlign = static_cast<std::uint16_t>(channels * (bitsPerSample / 8));
    std::memcpy(&h[0], "RIFF", 4);
    std::memcpy(&h[8], "WAVE", 4);
    std::memcpy(&h[12], "fmt ", 4);
    PutU32(&h[16], 16);
    PutU16(&h[20], 1);
    PutU16(&h[22], channels);
    PutU16(&h[24], sampleRate); // the high half of the 32-bit rate stays 0
    PutU32(&h[28], static_cast<std::uint32_t>(sampleRate) * blockAlign);
    PutU16(&h[32], blockAlign);
    PutU16(&h[34], bitsPerSample);
    std::memcpy(&h[36], "data", 4);
    return h;
}

namespace {
[[noreturn]] void FailErrno(const std::string& what) {
    throw TellamoError(what + ": " + SystemErrorText(errno));
}

void WriteAt(int fd, std::uint32_t value, off_t offset) {
    unsigned char bytes[4];
    PutU32(bytes, value);
    if (::pwrite(fd, bytes, 4, offset) != 4) {
        FailErrno("Cannot complete the WAV file");
    }
}
} // namespace

void CompleteWaveFile(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        FailErrno("Cannot complete the WAV file");
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    // The recorder never lets a file pass 4 GiB - 1; clamp anyway so that a header can never
    // claim less than the file holds by wrapping round.
    const std::uint32_t clamped =
        size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(size);
    WriteAt(fd, clamped >= 8 ? clamped - 8 : 0, 4);
    WriteAt(fd, clamped >= WaveHeaderSize ? clamped - WaveHeaderSize : 0, 40);
}

WaveInfo ParseWaveHeader(std::string_view firstBytes, std::uint64_t fileSize,
                         const std::string& fileName) {
    const std::string shortText = "\"" + fileName + "\" is too short to be a WAV file";
    ByteReader r(firstBytes.substr(0, WaveHeaderReadLimit), shortText);
    WaveInfo info;
    info.FileSize = fileSize;
    r.Take(22);
    info.Channels = r.U16();
    info.SampleRate = r.U32();
    r.Take(4); // offset 28: the byte rate, derived from the other fields
    info.BlockAlign = r.U16();
    info.BitsField = r.U16();

    // The tag is searched byte by byte in a window of 256 bytes from offset 36.
    const std::string_view window = r.Take(std::min<std::size_t>(DataSearchWindow, r.Remaining()));
    const std::size_t tag = window.find("data");
    if (tag == std::string_view::npos) {
        if (window.size() < DataSearchWindow && firstBytes.size() < WaveHeaderReadLimit) {
            throw TellamoError(shortText);
        }
        throw TellamoError("\"" + fileName + "\" has no sound data where a WAV file keeps it");
    }
    const std::size_t sizeOffset = DataTagFirstOffset + tag + 4;
    ByteReader sizeReader(firstBytes.substr(std::min(sizeOffset, firstBytes.size())), shortText);
    info.DataSize = sizeReader.U32();
    info.DataStart = static_cast<std::uint32_t>(sizeOffset + 4);
    return info;
}

std::uint32_t WaveInfo::HeldDataSize() const {
    const std::uint64_t held = FileSize > DataStart ? FileSize - DataStart : 0;
    const std::uint32_t bytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(DataSize, held));
    return BlockAlign > 0 ? bytes - bytes % BlockAlign : bytes;
}

void CheckWaveFormat(const WaveInfo& info, const std::string& fileName, WaveUse use) {
    constexpr std::uint16_t MaxChannels = 8;
    constexpr std::uint32_t MinRate = 1000;
    constexpr std::uint32_t MaxRate = 384000;
    const auto fail = [&](const std::string& reason) {
        throw TellamoError("\"" + fileName + "\" is not a sound file that can be read: " + reason);
    };
    if (info.Channels == 0) {
        fail("it declares no channels");
    }
    if (info.Channels > MaxChannels) {
        fail("it declares " + std::to_string(info.Channels) + " channels (at most " +
             std::to_string(MaxChannels) + ")");
    }
    if (info.SampleRate < MinRate || info.SampleRate > MaxRate) {
        fail("it declares a sample rate of " + std::to_string(info.SampleRate) + " Hz (" +
             std::to_string(MinRate) + " to " + std::to_string(MaxRate) + " Hz)");
    }
    if (use == WaveUse::Play && info.BitsField != 8 && info.BitsField != 16) {
        fail("it declares samples of " + std::to_string(info.BitsField) + " bits (8 or 16)");
    }
    const unsigned frameBytes = info.Channels * (info.SixteenBit() ? 2u : 1u);
    if (info.BlockAlign != frameBytes) {
        fail("it declares frames of " + std::to_string(info.BlockAlign) + " bytes where " +
             std::to_string(info.Channels) + (info.Channels == 1 ? " channel" : " channels") +
             " of " + std::to_string(info.SixteenBit() ? 16 : 8) + "-bit samples take " +
             std::to_string(frameBytes));
    }
}

WaveInfo ReadWaveHeader(const std::string& path, WaveUse use) {
    const FilePrefix prefix = ReadFilePrefix(path, WaveHeaderReadLimit);
    WaveInfo info = ParseWaveHeader(prefix.Bytes, prefix.FileSize, path);
    CheckWaveFormat(info, path, use);
    return info;
}

int WriteWaveSizes(FileSystem& fs, int fd, std::uint64_t fileSize, std::uint32_t dataStart) {
    const std::uint32_t clamped =
        fileSize > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(fileSize);
    unsigned char riff[4];
    unsigned char data[4];
    PutU32(riff, clamped >= 8 ? clamped - 8 : 0);
    PutU32(data, clamped >= dataStart ? clamped - dataStart : 0);
    if (const int error = WriteAllAt(fs, fd, reinterpret_cast<const char*>(riff), 4, 4)) {
        return error;
    }
    return WriteAllAt(fs, fd, reinterpret_cast<const char*>(data), 4, dataStart - 4);
}

} // namespace tellamo
