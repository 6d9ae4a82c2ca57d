#include <cmath>

#include <gtest/gtest.h>

#include "common/Rounding.h"
#include "common/Utf8.h"

namespace tellamo {
namespace {

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    const struct {
        double in;
        std::int64_t out;
    } cases[] = {{0.5, 0},   {1.5, 2},    {2.5, 2},    {3.5, 4},       {-0.5, 0},     {-1.5, -2},
                 {-2.5, -2}, {2.4999, 2}, {2.5001, 3}, {1102.5, 1102}, {327.67, 328}, {12.7, 13}};
    for (const auto& c : cases) {
        EXPECT_EQ(RoundHalfEven(c.in), c.out) << c.in;
    }
}

TEST(RoundHalfEven, NonFiniteAndHugeValuesAreSafe) {
    EXPECT_EQ(RoundHalfEven(std::nan("")), 0);
    EXPECT_EQ(RoundHalfEven(INFINITY), 0);
    EXPECT_EQ(RoundHalfEven(1e300), INT64_MAX);
    EXPECT_EQ(RoundHalfEven32(1e12), INT32_MAX);
    EXPECT_EQ(RoundHalfEven32(-1e12), INT32_MIN);
}

TEST(CutUtf8, NeverCutsInsideACharacter) {
    const std::string e = "\xC3\xA9";            // é, 2 bytes
    const std::string euro = "\xE2\x82\xAC";     // €, 3 bytes
    const std::string clef = "\xF0\x9D\x84\x9E"; // 𝄞, 4 bytes
    const struct {
        std::string in;
        std::size_t max;
        std::string out;
    } cases[] = {
        {"abc", 3, "abc"},
        {"abcd", 3, "abc"},
        {"ab" + e, 3, "ab"},
        {"ab" + e, 4, "ab" + e},
        {"a" + euro, 2, "a"},
        {"a" + euro, 3, "a"},
        {"a" + euro, 4, "a" + euro},
        {"a" + clef, 4, "a"},
        {"a" + clef, 5, "a" + clef},
        {std::string(126, 'x') + e, 127, std::string(126, 'x')},
        // Bytes of another code page (Latin-1 é followed by ASCII) are cut like characters.
        {"caf\xE9 au lait", 4, "caf\xE9"},
        {"\x80\x80\x80\x80\x80", 3, "\x80\x80\x80"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CutUtf8(c.in, c.max), c.out) << c.in << " / " << c.max;
    }
}

} // namespace
} // namespace tellamo
