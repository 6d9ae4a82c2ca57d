#pragma once

#include <cstdint>

class QDateTime;

namespace tellamo {

// A local date and time with millisecond precision, held as milliseconds since 30 December 1899
// 00:00 (local, no time zone), the epoch of OLE Automation dates. The index file stores these as
// OLE dates (doubles: whole days plus the time of day as a fraction).
using LocalTimeMs = std::int64_t;

constexpr std::int64_t MsPerDay = 86'400'000;

// The OLE date of a local time. For days before the epoch the time of day still counts forward
// (-1.25 is 29 December 1899 06:00), as OLE dates define it.
double ToOleDate(LocalTimeMs ms);

// The local time of an OLE date, rounded to the millisecond. Values that are not finite or lie
// outside the years 100..9999 are clamped into that range: a damaged date must not stop a load.
LocalTimeMs FromOleDate(double date);

// A duration stored as a fraction of a day, kept within 0..86,399,999 ms (24 hours or more keep
// only their remainder).
double DurationToDays(std::int32_t ms);
std::int32_t DurationFromDays(double days);
std::int32_t WrapDuration(std::int64_t ms);

LocalTimeMs LocalTimeFromDateTime(const QDateTime& dateTime);
QDateTime DateTimeFromLocalTime(LocalTimeMs ms);
LocalTimeMs CurrentLocalTime();

} // namespace tellamo
