#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tellamo {

class FileSystem;

// The layout of a note's sound file: RIFF WAVE, uncompressed PCM, one fixed 44-byte header as
// written, sizes patched when the recording is completed. Readers fix only a few offsets and
// search for the data chunk, so they also accept headers with extra chunks or a longer format
// chunk, as long as the "data" tag begins at offset 36..288.

constexpr std::size_t WaveHeaderSize = 44;
constexpr std::size_t DataTagFirstOffset = 36;
constexpr std::size_t DataSearchWindow = 256; // the tag can begin at offset 288 at the latest
// Bytes a reader needs at most: the window from offset 36 and the 4-byte size after the tag.
constexpr std::size_t WaveHeaderReadLimit = DataTagFirstOffset + DataSearchWindow + 4;

// The 44-byte header with both size fields 0, as written when a recording file is created.
std::array<unsigned char, WaveHeaderSize>
MakeWaveHeader(std::uint16_t channels, std::uint16_t sampleRate, std::uint16_t bitsPerSample);

// Sets the RIFF size (fileSize - 8, offset 4) and the data size (fileSize - 44, offset 40) of an
// open recording file, whose current size is taken as the completed size. Throws TellamoError.
void CompleteWaveFile(int fd);

// What the reading rule yields.
struct WaveInfo {
    std::uint16_t Channels = 0;   // offset 22: 2 is stereo
    std::uint32_t SampleRate = 0; // offset 24, all 32 bits (the recorder's high half is 0)
    std::uint16_t BlockAlign = 0; // offset 32: bytes of one frame, all channels
    std::uint16_t BitsField = 0;  // offset 34 as stored
    std::uint32_t DataStart = 0;  // offset of the first sample byte
    std::uint32_t DataSize = 0;   // the data chunk's declared size in bytes
    std::uint64_t FileSize = 0;   // bytes in the file, to compare with DataStart + DataSize

    bool Stereo() const { return Channels == 2; }
    // The player's rule: more than 8 bits per sample means 16-bit samples.
    bool SixteenBit() const { return BitsField > 8; }
    // The graph reader's rule: only the low byte of the field is examined.
    bool SixteenBitByLowByte() const { return (BitsField & 0xFF) > 8; }
    // The number of samples the catalogue counts: bytes, halved for 16-bit data (channels not
    // taken into account).
    std::uint32_t SampleCount() const { return SixteenBit() ? DataSize / 2 : DataSize; }
    // The data bytes the file really holds, in whole frames: a data size that claims more than
    // the file holds (a copy cut short, a damaged header) is played and converted up to the
    // file's end, never past it.
    std::uint32_t HeldDataSize() const;
};

// Parses the first bytes of a file (at most WaveHeaderReadLimit are looked at) by the reading
// rule alone: no field is judged. Throws TellamoError when the bytes end before the fields or
// when no "data" tag begins within the search window; fileName is only used in the message.
WaveInfo ParseWaveHeader(std::string_view firstBytes, std::uint64_t fileSize,
                         const std::string& fileName);

// What a reader does with the samples: Play (the players, restore, the converter) needs 8- or
// 16-bit samples; Graph draws whatever width the reading rule makes of the field.
enum class WaveUse { Play, Graph };

// The one check every reader of a sound file makes before it trusts the header: refuses what no
// recorder writes (no channels, more than 8, a rate outside 1000..384000 Hz, for Play a width
// other than 8 or 16 bits, a block align other than channels x the reading rule's bytes per
// sample) with a TellamoError that names the file and the field. A file of such a header would
// otherwise open a device at 1 Hz, divide by zero or spend minutes on noise.
void CheckWaveFormat(const WaveInfo& info, const std::string& fileName, WaveUse use);

// Opens the file, reads, parses and checks its header for the given use. Throws TellamoError
// with the system's words when the file cannot be opened or read.
WaveInfo ReadWaveHeader(const std::string& path, WaveUse use = WaveUse::Play);

// Brings the two sizes of an open file's header up to fileSize (RIFF size at offset 4, the data
// chunk's size in the 4 bytes before dataStart), clamped as CompleteWaveFile clamps them; the
// file itself is not touched beyond those 8 bytes. Returns 0 or the errno of the failed write.
int WriteWaveSizes(FileSystem& fs, int fd, std::uint64_t fileSize,
                   std::uint32_t dataStart = WaveHeaderSize);

} // namespace tellamo
