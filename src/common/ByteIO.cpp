#include "common/ByteIO.h"

#include <bit>

#include "common/Errors.h"

namespace tellamo {

std::string_view ByteReader::Rest() {
    std::string_view part = mBytes.substr(mPos);
    mPos = mBytes.size();
    return part;
}

void ByteReader::Fail() const {
    throw TellamoError(mEndOfDataText);
}

void ByteWriter::F64(double v) {
    U64(std::bit_cast<std::uint64_t>(v));
}

} // namespace tellamo
