#pragma once

#include <cstdint>
#include <optional>

#include <QString>

#include "common/OleDate.h"

namespace tellamo {

// The texts of a note's fields as the user reads them, in the locale's formats (QLocale(), the
// system's unless a test sets another). Durations always read hours without a leading zero and
// two-digit minutes and seconds (0:01:05).

// The locale's long time format without its time-zone part ("HH:mm:ss" from "HH:mm:ss t").
QString LongTimeFormat();
// The locale's short date format with the full year ("dd.MM.yyyy" from "dd.MM.yy").
QString ShortDateFormat();
// Start in the short date format and the long time format ("25.12.2005 14:30:05").
QString StartText(LocalTimeMs start);
// The list's shortened start: the locale's short date and the hours and minutes ("25.12.05 14:30"
// in German, "12/25/05 2:30 PM" in American English). Cutting the full text by character
// positions, as a day.month.year locale would allow, gives nonsense in others.
QString ShortStartText(LocalTimeMs start);
// A time span as h:mm:ss; empty text for an empty duration.
QString DurationText(std::optional<std::int32_t> durationMs);

struct NoteRecord;
// The note's real length in milliseconds. The index file keeps a duration as a fraction of a day,
// so a note longer than 24 hours comes back as its time of day; the whole days are told by the
// size of its WAV file (kept in the record, so no file is read), at the program's mono format.
std::int64_t NoteLengthMs(const NoteRecord& note);
// NoteLengthMs as h:mm:ss (hours past 24 as they are); empty text for a note without a duration.
QString NoteDurationText(const NoteRecord& note);

} // namespace tellamo
