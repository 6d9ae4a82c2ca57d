#include "common/ByteIO.h"

#include <bit>

#include "common/Errors.h"

namespace tellamo {

double ByteReader::F64() {
    return std::bit_cast<double>(U64());
}

std::string_view ByteReader::ZString() {
    const std::size_t end = mBytes.find('\0', mPos);
    if (end == std::string_view::npos) {
        Fail();
    }
    std::string_view text = mBytes.substr(mPos, end - mPos);
    mPos = end + 1;
    return text;
}

std::string_view ByteReader::Take(std::size_t count) {
    if (count > Remaining()) {
        Fail();
    }
    std::string_view part = mBytes.substr(mPos, count);
    mPos += count;
    return part;
}

std::string_view ByteReader::Rest() {
    std::string_view part = mBytes.substr(mPos);
    mPos = mBytes.size();
    return part;
}

std::uint64_t ByteReader::Unsigned(std::size_t width) {
    const std::string_view b = Take(width);
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < width; ++i) {
        v |= static_cast<std::uint64_t>(static_cast<unsigned char>(b[i])) << (8 * i);
    }
    return v;
}

void ByteReader::Fail() const {
    throw TellamoError(mEndOfDataText);
}

void ByteWriter::F64(double v) {
    U64(std::bit_cast<std::uint64_t>(v));
}

} // namespace tellamo
