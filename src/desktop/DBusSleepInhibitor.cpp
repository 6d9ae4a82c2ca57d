#include "desktop/DBusSleepInhibitor.h"

#include <cstdio>

#include <fcntl.h>

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QVariantMap>

#include "common/Files.h"

namespace tellamo {

namespace {
const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
constexpr std::uint32_t PortalSuspendFlag = 4;
// A service that has not answered by then is taken as absent: long enough for a busy desktop,
// short enough that a recording is not left unprotected for long without a note.
constexpr int CallTimeoutMs = 3000;
} // namespace

std::unique_ptr<DBusSleepInhibitor> DBusSleepInhibitor::Create() {
    return std::make_unique<DBusSleepInhibitor>(QDBusConnection::sessionBus(),
                                                QDBusConnection::systemBus());
}

DBusSleepInhibitor::DBusSleepInhibitor(QDBusConnection session, QDBusConnection system,
                                       QObject* parent)
    : QObject(parent), mSession(std::move(session)), mSystem(std::move(system)) {}

DBusSleepInhibitor::~DBusSleepInhibitor() {
    Release();
}

void DBusSleepInhibitor::Inhibit(const QString& reason) {
    if (mWanted) {
        return;
    }
    mWanted = true;
    mReason = reason;
    AskPortal(++mAsked);
}

void DBusSleepInhibitor::Release() {
    mWanted = false;
    if (!mPortalHandle.isEmpty()) {
        ClosePortalRequest(mPortalHandle);
        mPortalHandle.clear();
    }
    mLogindFd.reset();
}

void DBusSleepInhibitor::AskPortal(std::uint64_t ask) {
    if (!mSession.isConnected()) {
        AskLogind(ask, QStringLiteral("no session bus"));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        PortalService, PortalPath, QStringLiteral("org.freedesktop.portal.Inhibit"),
        QStringLiteral("Inhibit"));
    // A named request has a path known before the answer: should the portal answer only after
    // the time-out, its hold can still be given back.
    const QString token = QStringLiteral("tellamo_inhibit_%1").arg(ask);
    QString sender = mSession.baseService().mid(1);
    sender.replace('.', '_');
    const QString expectedHandle =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    call << QString() << PortalSuspendFlag
         << QVariantMap{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("reason"), mReason}};
    auto* watcher = new QDBusPendingCallWatcher(mSession.asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, ask, expectedHandle](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *finished;
                if (reply.isError()) {
                    const QDBusError::ErrorType type = reply.error().type();
                    if (type == QDBusError::NoReply || type == QDBusError::Timeout ||
                        type == QDBusError::TimedOut) {
                        ClosePortalRequest(expectedHandle);
                    }
                    if (Current(ask)) {
                        AskLogind(ask, reply.error().message());
                    }
                    return;
                }
                const QString handle = reply.value().path();
                if (Current(ask)) {
                    mPortalHandle = handle;
                } else {
                    ClosePortalRequest(handle);
                }
            });
}

void DBusSleepInhibitor::AskLogind(std::uint64_t ask, const QString& portalError) {
    if (!mSystem.isConnected()) {
        NoteUnavailable(portalError + QStringLiteral("; no system bus"));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Tellamo") << mReason
         << QStringLiteral("block");
    auto* watcher = new QDBusPendingCallWatcher(mSystem.asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, ask, portalError](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *finished;
                if (reply.isError()) {
                    if (Current(ask)) {
                        NoteUnavailable(portalError + QStringLiteral("; ") +
                                        reply.error().message());
                    }
                    return;
                }
                // The reply's own copy goes with the watcher; ours is closed at the release.
                auto fd = std::make_unique<UniqueFd>(
                    ::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0));
                if (Current(ask) && fd->Get() >= 0) {
                    mLogindFd = std::move(fd);
                }
            });
}

void DBusSleepInhibitor::ClosePortalRequest(const QString& handle) {
    // Nothing waits for the answer: should the program end before the portal has it, the
    // portal closes the requests of a client that leaves the bus.
    const QDBusMessage close = QDBusMessage::createMethodCall(
        PortalService, handle, QStringLiteral("org.freedesktop.portal.Request"),
        QStringLiteral("Close"));
    mSession.send(close);
}

void DBusSleepInhibitor::NoteUnavailable(const QString& why) {
    if (mNoted) {
        return;
    }
    mNoted = true;
    std::fprintf(stderr, "tellamo: the computer may suspend while recording: %s\n",
                 why.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace tellamo
