#include "audio/WavFormat.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "common/ByteIO.h"
#include "common/Errors.h"
#include "support/TempDir.h"

namespace tellamo {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::string Header(std::uint16_t channels, std::uint16_t rate, std::uint16_t bits) {
    const auto h = MakeWaveHeader(channels, rate, bits);
    return std::string(reinterpret_cast<const char*>(h.data()), h.size());
}

std::uint32_t U32At(const std::string& s, std::size_t at) {
    return GetU32(reinterpret_cast<const unsigned char*>(s.data() + at));
}

TEST(WavFormat, WritesTheFixedHeader) {
    const std::string h = Header(1, 11025, 16);
    ASSERT_EQ(h.size(), 44u);
    EXPECT_EQ(h.substr(0, 4), "RIFF");
    EXPECT_EQ(U32At(h, 4), 0u);
    EXPECT_EQ(h.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(U32At(h, 16), 16u);
    EXPECT_EQ(h.substr(20, 4), std::string("\x01\x00\x01\x00", 4));
    EXPECT_EQ(U32At(h, 24), 11025u);
    EXPECT_EQ(U32At(h, 28), 22050u);
    EXPECT_EQ(h.substr(32, 4), std::string("\x02\x00\x10\x00", 4));
    EXPECT_EQ(h.substr(36, 4), "data");
    EXPECT_EQ(U32At(h, 40), 0u);
    EXPECT_EQ(U32At(Header(2, 22050, 16), 28), 88200u);
}

TEST(WavFormat, CompletingPatchesBothSizes) {
    TempDir dir;
    for (std::size_t dataBytes : {0u, 1u, 1000u}) {
        const std::string path = dir.File("a.wav");
        WriteFileBytes(path, Header(1, 8000, 8) + std::string(dataBytes, '\x80'));
        const int fd = ::open(path.c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        CompleteWaveFile(fd);
        ::close(fd);
        const std::string bytes = ReadFileBytes(path);
        EXPECT_EQ(U32At(bytes, 4), 36 + dataBytes);
        EXPECT_EQ(U32At(bytes, 40), dataBytes);
        const WaveInfo info = ReadWaveHeader(path);
        EXPECT_EQ(info.DataSize, dataBytes);
        EXPECT_EQ(info.DataStart, 44u);
        EXPECT_EQ(info.FileSize, 44 + dataBytes);
    }
}

// Builds a header whose data tag begins at tagOffset (filler chunks in between).
std::string HeaderWithTagAt(std::size_t tagOffset, std::uint16_t bits, std::uint32_t dataSize) {
    std::string h = Header(2, 22050, bits).substr(0, 36);
    h += std::string(tagOffset - 36, 'x');
    h += "data";
    ByteWriter(h).U32(dataSize);
    return h;
}

TEST(WavFormat, ReadingRuleCases) {
    const struct {
        std::size_t tagAt;
        std::uint16_t bits;
        bool sixteen;
        bool sixteenByLowByte;
    } cases[] = {
        {36, 16, true, true},
        {38, 16, true, true}, // format chunk of 18 bytes
        {80, 8, false, false},
        {288, 9, true, true}, // a fact or LIST chunk before data
        {100, 0, false, false},
        {100, 256, true, false}, // only the graph reader ignores the high byte
    };
    for (const auto& c : cases) {
        const std::string bytes = HeaderWithTagAt(c.tagAt, c.bits, 1000) + std::string(64, '\0');
        const WaveInfo info = ParseWaveHeader(bytes, bytes.size(), "x.wav");
        EXPECT_EQ(info.DataStart, c.tagAt + 8) << c.tagAt;
        EXPECT_EQ(info.DataSize, 1000u);
        EXPECT_EQ(info.SixteenBit(), c.sixteen) << c.bits;
        EXPECT_EQ(info.SixteenBitByLowByte(), c.sixteenByLowByte) << c.bits;
        EXPECT_TRUE(info.Stereo());
        EXPECT_EQ(info.SampleRate, 22050);
        EXPECT_EQ(info.SampleCount(), c.sixteen ? 500u : 1000u);
    }
}

TEST(WavFormat, DamagedHeadersAreClearErrors) {
    const std::string tooLate = HeaderWithTagAt(289, 16, 10) + std::string(64, '\0');
    const std::string cut = HeaderWithTagAt(36, 16, 10).substr(0, 42);
    const struct {
        std::string bytes;
        const char* message;
    } cases[] = {
        {tooLate, "\"x.wav\" has no sound data where a WAV file keeps it"},
        {"", "\"x.wav\" is too short to be a WAV file"},
        {Header(1, 8000, 8).substr(0, 30), "\"x.wav\" is too short to be a WAV file"},
        {cut, "\"x.wav\" is too short to be a WAV file"},
        {Header(1, 8000, 8).substr(0, 36) + "dat", "\"x.wav\" is too short to be a WAV file"},
    };
    for (const auto& c : cases) {
        try {
            ParseWaveHeader(c.bytes, c.bytes.size(), "x.wav");
            ADD_FAILURE() << "no error for " << c.bytes.size() << " bytes";
        } catch (const TellamoError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

// A 44-byte header with every format field as given (MakeWaveHeader writes only what a recorder
// can), followed by `held` sample bytes; the data size field says `dataSize`.
std::string RawHeader(std::uint16_t channels, std::uint32_t rate, std::uint16_t blockAlign,
                      std::uint16_t bits, std::uint32_t dataSize, std::size_t held) {
    std::string h = Header(1, 8000, 8);
    auto* p = reinterpret_cast<unsigned char*>(h.data());
    PutU16(p + 22, channels);
    PutU32(p + 24, rate);
    PutU32(p + 28, rate * blockAlign);
    PutU16(p + 32, blockAlign);
    PutU16(p + 34, bits);
    PutU32(p + 40, dataSize);
    return h + std::string(held, '\x80');
}

// What no recorder writes is refused by every reader with the file's name and the field; what
// recorders do write (1 to 8 channels, 1000 to 384000 Hz in all 32 bits, 8 or 16 bits in whole
// frames) passes.
TEST(WavFormat, TheHeaderCheckRefusesImpossibleFormats) {
    const std::string prefix = "\"x.wav\" is not a sound file that can be read: ";
    const struct {
        const char* name;
        std::string bytes;
        WaveUse use;
        const char* reason; // nullptr: accepted
    } cases[] = {
        {"mono 8-bit", RawHeader(1, 8000, 1, 8, 10, 10), WaveUse::Play, nullptr},
        {"stereo 16-bit", RawHeader(2, 44100, 4, 16, 40, 40), WaveUse::Play, nullptr},
        {"8 channels", RawHeader(8, 48000, 16, 16, 0, 0), WaveUse::Play, nullptr},
        {"lowest rate", RawHeader(1, 1000, 1, 8, 0, 0), WaveUse::Play, nullptr},
        {"highest rate", RawHeader(2, 384000, 4, 16, 0, 0), WaveUse::Play, nullptr},
        {"12 bits drawn as 16", RawHeader(1, 8000, 2, 12, 0, 0), WaveUse::Graph, nullptr},
        {"no channels", RawHeader(0, 0, 0, 0, 0xFFFFFFF0u, 10000), WaveUse::Play,
         "it declares no channels"},
        {"no channels, graph", RawHeader(0, 8000, 1, 8, 10, 10), WaveUse::Graph,
         "it declares no channels"},
        {"9 channels", RawHeader(9, 8000, 9, 8, 0, 0), WaveUse::Play,
         "it declares 9 channels (at most 8)"},
        {"65535 channels", RawHeader(65535, 8000, 65535, 8, 0, 0), WaveUse::Graph,
         "it declares 65535 channels (at most 8)"},
        {"0 Hz", RawHeader(1, 0, 1, 8, 0, 0), WaveUse::Play,
         "it declares a sample rate of 0 Hz (1000 to 384000 Hz)"},
        {"999 Hz", RawHeader(1, 999, 1, 8, 0, 0), WaveUse::Graph,
         "it declares a sample rate of 999 Hz (1000 to 384000 Hz)"},
        {"384001 Hz", RawHeader(1, 384001, 1, 8, 0, 0), WaveUse::Play,
         "it declares a sample rate of 384001 Hz (1000 to 384000 Hz)"},
        {"1000000 Hz, not its low half", RawHeader(1, 1000000, 1, 8, 0, 0), WaveUse::Play,
         "it declares a sample rate of 1000000 Hz (1000 to 384000 Hz)"},
        {"0 bits played", RawHeader(1, 8000, 1, 0, 0, 0), WaveUse::Play,
         "it declares samples of 0 bits (8 or 16)"},
        {"12 bits played", RawHeader(1, 8000, 2, 12, 0, 0), WaveUse::Play,
         "it declares samples of 12 bits (8 or 16)"},
        {"24 bits", RawHeader(1, 8000, 3, 24, 0, 0), WaveUse::Play,
         "it declares samples of 24 bits (8 or 16)"},
        {"24 bits, graph", RawHeader(1, 8000, 3, 24, 0, 0), WaveUse::Graph,
         "it declares frames of 3 bytes where 1 channel of 16-bit samples take 2"},
        {"block align 0", RawHeader(1, 8000, 0, 16, 0, 0), WaveUse::Play,
         "it declares frames of 0 bytes where 1 channel of 16-bit samples take 2"},
        {"block align of mono in stereo", RawHeader(2, 8000, 2, 16, 0, 0), WaveUse::Graph,
         "it declares frames of 2 bytes where 2 channels of 16-bit samples take 4"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("x.wav");
        WriteFileBytes(path, c.bytes);
        try {
            const WaveInfo info = ParseWaveHeader(c.bytes, c.bytes.size(), "x.wav");
            CheckWaveFormat(info, "x.wav", c.use);
            EXPECT_EQ(c.reason, nullptr) << "accepted";
        } catch (const TellamoError& e) {
            EXPECT_EQ(e.what(), prefix + (c.reason ? c.reason : "(accepted)"));
        }
        // Reading the file makes the same check.
        try {
            ReadWaveHeader(path, c.use);
            EXPECT_EQ(c.reason, nullptr);
        } catch (const TellamoError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason ? c.reason : "(accepted)"),
                      std::string::npos)
                << e.what();
        }
    }
}

TEST(WavFormat, RatesAboveSixteenBitsAreReadWhole) {
    const std::string bytes = RawHeader(2, 96000, 4, 16, 0, 0);
    const WaveInfo info = ParseWaveHeader(bytes, bytes.size(), "x.wav");
    EXPECT_EQ(info.SampleRate, 96000u);
    EXPECT_EQ(info.BlockAlign, 4u);
    EXPECT_EQ(ParseWaveHeader(RawHeader(1, 65536, 1, 8, 0, 0), 44, "x.wav").SampleRate, 65536u);
}

// The data the file really holds, in whole frames, whatever the data size claims.
TEST(WavFormat, HeldDataStopsAtTheFilesEnd) {
    const struct {
        std::uint16_t channels, blockAlign, bits;
        std::uint32_t dataSize;
        std::size_t held;
        std::uint32_t expected;
    } cases[] = {
        {1, 1, 8, 0xFFFFFFF0u, 10000, 10000},  // a data size beyond the end
        {2, 4, 16, 0xFFFFFFF0u, 10003, 10000}, // and a partial frame at the end
        {1, 2, 16, 1000, 5000, 1000},          // other bytes after the data are not data
        {1, 2, 16, 1001, 5000, 1000},          // a data size of a partial frame
        {1, 1, 8, 0, 5000, 0},                 // a recording never completed claims nothing
        {2, 4, 16, 100, 0, 0},
    };
    for (const auto& c : cases) {
        const std::string bytes =
            RawHeader(c.channels, 8000, c.blockAlign, c.bits, c.dataSize, c.held);
        const WaveInfo info = ParseWaveHeader(bytes, bytes.size(), "x.wav");
        EXPECT_EQ(info.DataSize, c.dataSize);
        EXPECT_EQ(info.HeldDataSize(), c.expected) << c.dataSize << " " << c.held;
    }
}

TEST(WavFormat, UnopenableFilesNameTheSystemsReason) {
    TempDir dir;
    EXPECT_THROW(ReadWaveHeader(dir.File("missing.wav")), TellamoError);
    try {
        ReadWaveHeader(dir.Path());
        FAIL();
    } catch (const TellamoError& e) {
        EXPECT_NE(std::string(e.what()).find("Is a directory"), std::string::npos);
    }
}

} // namespace
} // namespace tellamo
