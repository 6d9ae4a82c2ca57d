#include "codec/TrueSpeechFrame.h"

#include <random>
#include <set>

#include <gtest/gtest.h>

namespace tellamo::truespeech {
namespace {

Frame RandomFrame(std::mt19937& rng) {
    auto bits = [&](int width) { return static_cast<std::uint32_t>(rng()) & ((1u << width) - 1); };
    Frame f;
    for (int m = 0; m < 8; ++m) {
        f.Lpc[m] = static_cast<std::uint8_t>(bits(LpcBits[m]));
    }
    f.Interpolate = static_cast<std::uint8_t>(bits(1));
    f.BaseLag = {static_cast<std::uint8_t>(bits(8)), static_cast<std::uint8_t>(bits(8))};
    for (int s = 0; s < 4; ++s) {
        f.Pitch[s] = static_cast<std::uint8_t>(bits(7));
        f.Signs[s] = static_cast<std::uint16_t>(bits(14));
        f.Positions[s] = bits(27);
        f.Gain[s] = static_cast<std::uint8_t>(bits(4));
    }
    return f;
}

TEST(TrueSpeechFrame, PackThenParseGivesEveryFieldBack) {
    std::mt19937 rng(20261209);
    for (int i = 0; i < 2000; ++i) {
        const Frame f = RandomFrame(rng);
        const FrameBytesArray bytes = PackFrame(f);
        EXPECT_EQ(ParseFrame(bytes.data()), f) << "frame " << i;
        EXPECT_EQ(PackFrame(ParseFrame(bytes.data())), bytes);
    }
}

// One field at its all-ones value, everything else zero: catches a field that spills into a
// neighbour or lands in the wrong word.
TEST(TrueSpeechFrame, EachFieldLandsOnItsOwnBits) {
    struct Case {
        const char* Name;
        void (*Set)(Frame&);
        int Word;
        std::uint32_t Mask;
    };
    const Case cases[] = {
        {"L7", [](Frame& f) { f.Lpc[7] = 7; }, 0, 0xE0000000u},
        {"L4", [](Frame& f) { f.Lpc[4] = 15; }, 0, 0x00780000u},
        {"L1", [](Frame& f) { f.Lpc[1] = 31; }, 0, 0x000007C0u},
        {"L0", [](Frame& f) { f.Lpc[0] = 31; }, 0, 0x0000003Eu},
        {"I", [](Frame& f) { f.Interpolate = 1; }, 0, 0x00000001u},
        {"B0 high", [](Frame& f) { f.BaseLag[0] = 0xF0; }, 1, 0xF0000000u},
        {"B0 bit 2", [](Frame& f) { f.BaseLag[0] = 4; }, 6, 0x80000000u},
        {"P3", [](Frame& f) { f.Pitch[3] = 127; }, 1, 0x0FE00000u},
        {"P0", [](Frame& f) { f.Pitch[0] = 127; }, 1, 0x0000007Fu},
        {"B1 low", [](Frame& f) { f.BaseLag[1] = 0x0F; }, 2, 0xF0000000u},
        {"B1 high", [](Frame& f) { f.BaseLag[1] = 0xF0; }, 3, 0xF0000000u},
        {"A1", [](Frame& f) { f.Signs[1] = 0x3FFF; }, 2, 0x0FFFC000u},
        {"A2", [](Frame& f) { f.Signs[2] = 0x3FFF; }, 3, 0x00003FFFu},
        {"Q1", [](Frame& f) { f.Positions[1] = 0x7FFFFFF; }, 5, 0x7FFFFFF0u},
        {"G3", [](Frame& f) { f.Gain[3] = 15; }, 7, 0x0000000Fu},
    };
    for (const Case& c : cases) {
        Frame f;
        c.Set(f);
        const FrameBytesArray b = PackFrame(f);
        for (int w = 0; w < 8; ++w) {
            const std::uint32_t word = b[4 * w] | (b[4 * w + 1] << 8) | (b[4 * w + 2] << 16) |
                                       (static_cast<std::uint32_t>(b[4 * w + 3]) << 24);
            EXPECT_EQ(word, w == c.Word ? c.Mask : 0u) << c.Name << " word " << w;
        }
    }
}

template <int K> void CheckAllSets(int expectedCount) {
    std::set<std::uint32_t> codes;
    int offsets[K];
    for (int i = 0; i < K; ++i) {
        offsets[i] = i;
    }
    for (;;) {
        const std::uint32_t code = EncodePositions(offsets, K);
        ASSERT_LT(code, static_cast<std::uint32_t>(expectedCount));
        codes.insert(code);
        int back[K];
        ASSERT_EQ(DecodePositions(code, K, back), K);
        for (int i = 0; i < K; ++i) {
            ASSERT_EQ(back[i], offsets[i]) << "code " << code;
        }
        // Next combination in lexicographic order.
        int i = K - 1;
        while (i >= 0 && offsets[i] == 30 - K + i) {
            --i;
        }
        if (i < 0) {
            break;
        }
        ++offsets[i];
        for (int j = i + 1; j < K; ++j) {
            offsets[j] = offsets[j - 1] + 1;
        }
    }
    EXPECT_EQ(codes.size(), static_cast<std::size_t>(expectedCount));
}

TEST(TrueSpeechFrame, PositionCodesEnumerateEvery3Of30And4Of30Set) {
    CheckAllSets<3>(FirstHalfCodes);
    CheckAllSets<4>(SecondHalfCodes);
}

TEST(TrueSpeechFrame, OutOfRangePositionCodesPlaceFewerPulses) {
    int offsets[4];
    EXPECT_LT(DecodePositions(FirstHalfCodes, 3, offsets), 3);
    EXPECT_LT(DecodePositions(SecondHalfCodes, 4, offsets), 4);
    EXPECT_EQ(DecodePositions(4095, 3, offsets), 0);
}

TEST(TrueSpeechFrame, SafetyCheckRejectsLongLagsAndBadPositionCodes) {
    Frame f;
    EXPECT_TRUE(FrameIsSafe(f));
    Frame lag = f;
    lag.BaseLag[1] = 127;
    lag.Pitch[2] = 25; // 127 + 18 + 1 = 146
    EXPECT_FALSE(FrameIsSafe(lag));
    lag.Pitch[2] = NoPitch;
    lag.Pitch[3] = 24; // offset 0: lag 145
    EXPECT_TRUE(FrameIsSafe(lag));
    Frame first = f;
    first.Positions[0] = static_cast<std::uint32_t>(FirstHalfCodes) << 15;
    EXPECT_FALSE(FrameIsSafe(first));
    Frame second = f;
    second.Positions[3] = SecondHalfCodes;
    EXPECT_FALSE(FrameIsSafe(second));
}

} // namespace
} // namespace tellamo::truespeech
