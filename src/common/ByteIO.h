#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tellamo {

// Little-endian reading of a byte buffer held in memory, shared by every binary format of the
// program (index file, WAV headers, bitmaps). A read past the end never touches memory beyond the
// buffer: it throws TellamoError with the text given at construction, so that each format can
// name its own damage.
class ByteReader {
public:
    ByteReader(std::string_view bytes, std::string endOfDataText)
        : mBytes(bytes), mEndOfDataText(std::move(endOfDataText)) {}

    // Inline: the index file reads a lifetime of notes field by field, and a call per field
    // would cost more than the field.
    std::uint8_t U8() { return static_cast<std::uint8_t>(Take(1)[0]); }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Unsigned<2>()); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(Unsigned<4>()); }
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
    std::uint64_t U64() { return Unsigned<8>(); }
    double F64() { return std::bit_cast<double>(U64()); }
    // The bytes up to, not including, the next 0 byte; the 0 byte is consumed.
    std::string_view ZString() {
        const void* end = AtEnd() ? nullptr : std::memchr(mBytes.data() + mPos, 0, Remaining());
        if (!end) {
            Fail();
        }
        const std::size_t length = static_cast<const char*>(end) - (mBytes.data() + mPos);
        const std::string_view text(mBytes.data() + mPos, length);
        mPos += length + 1;
        return text;
    }
    std::string_view Take(std::size_t count) {
        if (count > Remaining()) {
            Fail();
        }
        const std::string_view part(mBytes.data() + mPos, count);
        mPos += count;
        return part;
    }
    std::string_view Rest();

    std::size_t Position() const { return mPos; }
    std::size_t Remaining() const { return mBytes.size() - mPos; }
    bool AtEnd() const { return mPos == mBytes.size(); }

private:
    template <std::size_t Width> std::uint64_t Unsigned() {
        const char* p = Take(Width).data();
        if constexpr (std::endian::native == std::endian::little) {
            std::uint64_t v = 0;
            std::memcpy(&v, p, Width);
            return v;
        } else {
            std::uint64_t v = 0;
            for (std::size_t i = 0; i < Width; ++i) {
                v |= static_cast<std::uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
            }
            return v;
        }
    }
    [[noreturn]] void Fail() const;

    std::string_view mBytes;
    std::size_t mPos = 0;
    std::string mEndOfDataText;
};

// Little-endian writing into a growing byte string.
class ByteWriter {
public:
    explicit ByteWriter(std::string& out) : mOut(out) {}

    void U8(std::uint8_t v) { mOut.push_back(static_cast<char>(v)); }
    void U16(std::uint16_t v) { Unsigned(v, 2); }
    void U32(std::uint32_t v) { Unsigned(v, 4); }
    void I32(std::int32_t v) { Unsigned(static_cast<std::uint32_t>(v), 4); }
    void U64(std::uint64_t v) { Unsigned(v, 8); }
    void F64(double v);
    void Bytes(std::string_view bytes) { mOut.append(bytes); }
    // The text's bytes and one 0 byte.
    void ZString(std::string_view text) {
        mOut.append(text);
        mOut.push_back('\0');
    }

private:
    void Unsigned(std::uint64_t v, int width) {
        for (int i = 0; i < width; ++i) {
            mOut.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        }
    }
    std::string& mOut;
};

// Little-endian stores into fixed buffers (headers patched in place).
inline void PutU16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void PutU32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}
inline std::uint16_t GetU16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

} // namespace tellamo
