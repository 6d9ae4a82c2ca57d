#include "common/OleDate.h"

#include <bit>
#include <cstring>

#include <gtest/gtest.h>

#include <QDateTime>

namespace tellamo {
namespace {

std::string Bytes(double v) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
    std::string out;
    for (int i = 0; i < 8; ++i) {
        out += static_cast<char>((bits >> (8 * i)) & 0xFF);
    }
    return out;
}

LocalTimeMs At(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return LocalTimeFromDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms)));
}

TEST(OleDate, MatchesTheStoredBytesOfKnownValues) {
    // 15 March 2004 14:30:00 and a 90-second duration, as an index file stores them.
    EXPECT_EQ(Bytes(ToOleDate(At(2004, 3, 15, 14, 30, 0))),
              std::string("\x55\x55\x55\x55\xB3\x95\xE2\x40", 8));
    EXPECT_EQ(Bytes(DurationToDays(90'000)), std::string("\x11\x11\x11\x11\x11\x11\x51\x3F", 8));
}

TEST(OleDate, RoundTripsToTheMillisecond) {
    const LocalTimeMs samples[] = {0,
                                   At(2004, 3, 15, 14, 30, 0),
                                   At(2026, 12, 9, 23, 59, 59, 999),
                                   At(1899, 12, 29, 6, 0, 0),
                                   At(1850, 1, 1, 0, 0, 0, 1),
                                   At(9999, 12, 31, 23, 59, 59, 999)};
    for (LocalTimeMs ms : samples) {
        EXPECT_EQ(FromOleDate(ToOleDate(ms)), ms) << ms;
    }
    EXPECT_EQ(ToOleDate(At(1899, 12, 29, 6, 0, 0)), -1.25);
    EXPECT_EQ(DateTimeFromLocalTime(At(2004, 3, 15, 14, 30, 0, 5)),
              QDateTime(QDate(2004, 3, 15), QTime(14, 30, 0, 5)));
}

TEST(OleDate, DamagedValuesAreClampedNotTrusted) {
    EXPECT_EQ(FromOleDate(std::nan("")), 0);
    EXPECT_EQ(FromOleDate(1e300), At(9999, 12, 31, 23, 59, 59, 999));
    EXPECT_LT(FromOleDate(-1e300), 0);
    EXPECT_TRUE(DateTimeFromLocalTime(FromOleDate(-1e300)).isValid());
}

TEST(OleDate, DurationsKeepTheRemainderOfADay) {
    EXPECT_EQ(DurationFromDays(DurationToDays(90'000)), 90'000);
    EXPECT_EQ(WrapDuration(25LL * 3600 * 1000), 3600 * 1000);
    EXPECT_EQ(DurationFromDays(25.0 / 24.0), 3600 * 1000);
    EXPECT_EQ(DurationFromDays(std::nan("")), 0);
    EXPECT_EQ(DurationFromDays(-0.5), 12 * 3600 * 1000);
}

} // namespace
} // namespace tellamo
