#pragma once

#include <QString>
#include <cstdint>

namespace tellamo {

// NoiseLevel(percent, sixteenBit) is declared with the graph's settings (GraphSettings.h).

// Samples in a byte count: halved for 16-bit data.
std::int32_t SampleCount(std::uint32_t bytes, bool sixteenBit);

// A time as the time label shows it: hours without a leading zero, two-digit minutes and
// seconds, cut to its last seven characters (0:01:05; ten hours and more lose their first digit).
QString ShortTime(std::int64_t milliseconds);

} // namespace tellamo
