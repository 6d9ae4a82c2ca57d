#pragma once

#include <cstdint>

#include <QString>

namespace tellamo {

// NoiseLevel(percent, sixteenBit) is declared with the graph's settings (GraphSettings.h).

// Samples in a byte count: halved for 16-bit data.
std::int32_t SampleCount(std::uint32_t bytes, bool sixteenBit);

// A time as the time label shows it: hours without a leading zero and with every digit they
// have, two-digit minutes and seconds (0:01:05, 19:13:23, 100:00:00); parts of a second are
// dropped.
QString ShortTime(std::int64_t milliseconds);

} // namespace tellamo
