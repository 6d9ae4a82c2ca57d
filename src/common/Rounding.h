#pragma once

#include <cmath>
#include <cstdint>

namespace tellamo {

// Every real-to-integer rounding in the program goes to the nearest integer with halves to the
// even neighbour (2.5 -> 2, 3.5 -> 4). Non-finite values give 0; values beyond the 64-bit range
// are clamped, so that damaged input can never make a conversion undefined.
inline std::int64_t RoundHalfEven(double value) {
    if (!std::isfinite(value)) {
        return 0;
    }
    if (value >= 9.2e18) {
        return INT64_MAX;
    }
    if (value <= -9.2e18) {
        return INT64_MIN;
    }
    return static_cast<std::int64_t>(std::nearbyint(value)); // default FE_TONEAREST: ties to even
}

inline std::int32_t RoundHalfEven32(double value) {
    const std::int64_t r = RoundHalfEven(value);
    if (r > INT32_MAX) {
        return INT32_MAX;
    }
    if (r < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<std::int32_t>(r);
}

} // namespace tellamo
