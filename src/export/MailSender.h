#pragma once

#include <QString>
#include <QStringList>

namespace tellamo {

// Offers a new message to the user's mail program for editing: the recipients, the subject, the
// body and the attached files are filled in; the user sends it (or not). The program expects no
// result beyond the code returned; 0 means the mail program was reached.
class MailSender {
public:
    virtual ~MailSender() = default;
    virtual int SendMail(const QStringList& recipients, const QString& subject, const QString& body,
                         const QStringList& attachments) = 0;
};

// The entries of a comma-separated list: empty text is an empty list; the text is split at every
// comma and the pieces are kept untrimmed; empty pieces are dropped, since an empty address or
// attachment path means nothing to a mail program.
QStringList SplitCommaList(const QString& text);

// The desktop's mail program through xdg-email, started with an argument list (never a shell),
// so that any text arrives as one literal argument. Returns 1 without doing anything when
// xdg-email is not on the PATH (looked up at each call) or cannot be started; otherwise xdg-email
// runs on its own and 0 is returned at once.
class XdgEmailSender final : public MailSender {
public:
    int SendMail(const QStringList& recipients, const QString& subject, const QString& body,
                 const QStringList& attachments) override;
    // The arguments given to xdg-email for these values.
    static QStringList Arguments(const QStringList& recipients, const QString& subject,
                                 const QString& body, const QStringList& attachments);
};

} // namespace tellamo
