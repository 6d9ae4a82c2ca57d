#include "catalogue/NoteTexts.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

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

} // namespace tellamo
