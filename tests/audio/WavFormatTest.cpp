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
