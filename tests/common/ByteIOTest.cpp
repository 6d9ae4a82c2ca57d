#include "common/ByteIO.h"

#include <gtest/gtest.h>

#include "common/Errors.h"

namespace tellamo {
namespace {

TEST(ByteIO, WritesAndReadsLittleEndian) {
    std::string buffer;
    ByteWriter w(buffer);
    w.U8(1);
    w.I32(-5);
    w.U16(11025);
    w.F64(0.5);
    w.ZString("Call Bob");
    EXPECT_EQ(buffer.substr(0, 7), std::string("\x01\xFB\xFF\xFF\xFF\x11\x2B", 7));

    ByteReader r(buffer, "short");
    EXPECT_EQ(r.U8(), 1);
    EXPECT_EQ(r.I32(), -5);
    EXPECT_EQ(r.U16(), 11025);
    EXPECT_EQ(r.F64(), 0.5);
    EXPECT_EQ(r.ZString(), "Call Bob");
    EXPECT_TRUE(r.AtEnd());
}

TEST(ByteIO, ReadingPastTheEndThrowsTheFormatsText) {
    const std::string bytes("\x01\x02\x03", 3);
    ByteReader r(bytes, "The file ends too early");
    EXPECT_EQ(r.U16(), 0x0201);
    try {
        r.U32();
        FAIL() << "no error";
    } catch (const TellamoError& e) {
        EXPECT_STREQ(e.what(), "The file ends too early");
    }
    // The failed read consumed nothing.
    EXPECT_EQ(r.Remaining(), 1u);
    ByteReader z(std::string_view("abc"), "no terminator");
    EXPECT_THROW(z.ZString(), TellamoError);
}

} // namespace
} // namespace tellamo
