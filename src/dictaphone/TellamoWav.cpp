#include "dictaphone/TellamoWav.h"

#include "common/Rounding.h"

namespace tellamo {

std::int32_t SampleCount(std::uint32_t bytes, bool sixteenBit) {
    return static_cast<std::int32_t>(sixteenBit ? bytes / 2 : bytes);
}

QString ShortTime(std::int64_t milliseconds) {
    if (milliseconds < 0) {
        milliseconds = 0;
    }
    const std::int64_t seconds = milliseconds / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace tellamo
