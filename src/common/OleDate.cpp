#include "common/OleDate.h"

#include <algorithm>
#include <cmath>

#include <QDate>
#include <QDateTime>
#include <QTime>

#include "common/Rounding.h"

namespace tellamo {

namespace {
// OLE dates for 1 January 100 and 31 December 9999, the range that OLE Automation defines.
constexpr double MinOleDay = -657434.0;
constexpr double MaxOleDay = 2958465.0;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) {
        --q;
    }
    return q;
}

qint64 EpochJulianDay() {
    return QDate(1899, 12, 30).toJulianDay();
}
} // namespace

double ToOleDate(LocalTimeMs ms) {
    const std::int64_t days = FloorDiv(ms, MsPerDay);
    const double fraction =
        static_cast<double>(ms - days * MsPerDay) / static_cast<double>(MsPerDay);
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

LocalTimeMs FromOleDate(double date) {
    if (!std::isfinite(date)) {
        return 0;
    }
    constexpr LocalTimeMs first = static_cast<LocalTimeMs>(MinOleDay) * MsPerDay;
    constexpr LocalTimeMs last = static_cast<LocalTimeMs>(MaxOleDay) * MsPerDay + MsPerDay - 1;
    if (date <= MinOleDay) {
        return first;
    }
    if (date >= MaxOleDay + 1) {
        return last;
    }
    const double days = std::trunc(date);
    const double fraction = std::fabs(date - days);
    const LocalTimeMs ms = static_cast<LocalTimeMs>(days) * MsPerDay +
                           RoundHalfEven(fraction * static_cast<double>(MsPerDay));
    return std::clamp(ms, first, last);
}

std::int32_t WrapDuration(std::int64_t ms) {
    std::int64_t r = ms % MsPerDay;
    if (r < 0) {
        r += MsPerDay;
    }
    return static_cast<std::int32_t>(r);
}

double DurationToDays(std::int32_t ms) {
    return static_cast<double>(ms) / static_cast<double>(MsPerDay);
}

std::int32_t DurationFromDays(double days) {
    if (!std::isfinite(days)) {
        return 0;
    }
    const double wholeDays = std::trunc(days);
    return WrapDuration(RoundHalfEven(std::fabs(days - wholeDays) * static_cast<double>(MsPerDay)));
}

LocalTimeMs LocalTimeFromDateTime(const QDateTime& dateTime) {
    const qint64 days = dateTime.date().toJulianDay() - EpochJulianDay();
    return days * MsPerDay + dateTime.time().msecsSinceStartOfDay();
}

QDateTime DateTimeFromLocalTime(LocalTimeMs ms) {
    const std::int64_t days = FloorDiv(ms, MsPerDay);
    const int msOfDay = static_cast<int>(ms - days * MsPerDay);
    return QDateTime(QDate::fromJulianDay(EpochJulianDay() + days),
                     QTime::fromMSecsSinceStartOfDay(msOfDay));
}

LocalTimeMs CurrentLocalTime() {
    return LocalTimeFromDateTime(QDateTime::currentDateTime());
}

} // namespace tellamo
