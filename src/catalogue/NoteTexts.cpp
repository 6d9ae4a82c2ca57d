#include "catalogue/NoteTexts.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

#include "catalogue/NoteRecord.h"

namespace tellamo {

QString LongTimeFormat() {
    QString format = QLocale().timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
    format.replace(zone, QStringLiteral(" "));
    return format.trimmed();
}

QString ShortDateFormat() {
    // Most locales' short formats give two-digit years; the full year is kept, so that a note
    // can be found by its year and no two centuries look alike.
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    format.replace(twoDigitYear, QStringLiteral("yyyy"));
    return format;
}

QString StartText(LocalTimeMs start) {
    const QDateTime when = DateTimeFromLocalTime(start);
    const QLocale locale;
    return locale.toString(when.date(), ShortDateFormat()) + QLatin1Char(' ') +
           locale.toString(when.time(), LongTimeFormat());
}

QString ShortStartText(LocalTimeMs start) {
    // The date as the locale writes it short: a date pattern cut by hand loses the punctuation
    // some languages need ("10.12" where German writes "10.12."). The seconds leave the time.
    QString time = LongTimeFormat();
    static const QRegularExpression seconds(QStringLiteral("[^hHm]?s+[^hHmAaPpt ]*"));
    time.remove(seconds);
    const QDateTime when = DateTimeFromLocalTime(start);
    const QLocale locale;
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), time.trimmed());
}

QString DurationText(std::optional<std::int32_t> durationMs) {
    if (!durationMs) {
        return {};
    }
    const std::int32_t seconds = *durationMs / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

std::int64_t NoteLengthMs(const NoteRecord& note) {
    constexpr std::int64_t Day = 86'400'000;
    const std::int64_t stored = note.Duration.value_or(0);
    const std::int64_t bytesPerSecond =
        static_cast<std::int64_t>(note.SampleRate) * (note.BitRate > 8 ? 2 : 1);
    if (!note.FileSizeKB || *note.FileSizeKB <= 0 || bytesPerSecond == 0) {
        return stored;
    }
    // The size is rounded to a kilobyte: a second of tolerance is far below a day, and far
    // above what the rounding can take away.
    const std::int64_t bySize =
        (static_cast<std::int64_t>(*note.FileSizeKB) * 1024 - 44) * 1000 / bytesPerSecond;
    const std::int64_t days = (bySize - stored + 1000) / Day;
    return days > 0 ? stored + days * Day : stored;
}

QString NoteDurationText(const NoteRecord& note) {
    if (!note.Duration) {
        return {};
    }
    const std::int64_t seconds = NoteLengthMs(note) / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace tellamo
