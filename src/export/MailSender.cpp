#include "export/MailSender.h"

#include <QProcess>
#include <QStandardPaths>

namespace tellamo {

QStringList SplitCommaList(const QString& text) {
    QStringList entries;
    if (text.isEmpty()) {
        return entries;
    }
    for (const QString& piece : text.split(QLatin1Char(','))) {
        if (!piece.isEmpty()) {
            entries << piece;
        }
    }
    return entries;
}

QStringList XdgEmailSender::Arguments(const QStringList& recipients, const QString& subject,
                                      const QString& body, const QStringList& attachments) {
    QStringList args{QStringLiteral("--subject"), subject};
    if (!body.isEmpty()) {
        args << QStringLiteral("--body") << body;
    }
    for (const QString& file : attachments) {
        if (!file.isEmpty()) {
            args << QStringLiteral("--attach") << file;
        }
    }
    for (const QString& address : recipients) {
        // xdg-email would read an address beginning with "-" as one of its options.
        if (!address.isEmpty() && !address.startsWith(QLatin1Char('-'))) {
            args << address;
        }
    }
    return args;
}

int XdgEmailSender::SendMail(const QStringList& recipients, const QString& subject,
                             const QString& body, const QStringList& attachments) {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    if (program.isEmpty()) {
        return 1;
    }
    // Detached: the mail program's window may stay open for as long as the user writes, and the
    // program's window must not wait for it.
    return QProcess::startDetached(program, Arguments(recipients, subject, body, attachments)) ? 0
                                                                                               : 1;
}

} // namespace tellamo
