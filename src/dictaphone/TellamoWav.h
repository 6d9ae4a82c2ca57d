#pragma once

#include <QString>
#include <cstdint>

namespace tellamo {

// The noise level in sample units for a level in per cent: per cent / 100 × 32767 for 16-bit
// data or × 127 for 8-bit data, rounded halves-to-even (10 % gives 3277 and 13).
std::int32_t NoiseLevel(int percent, bool sixteenBit);

// Samples in a byte count: halved for 16-bit data.
std::int32_t SampleCount(std::uint32_t bytes, bool sixteenBit);

// A time as the time label shows it: hours without a leading zero, two-digit minutes and
// seconds, cut to its last seven characters (0:01:05; ten hours and more lose their first digit).
QString ShortTime(std::int64_t milliseconds);

} // namespace tellamo
