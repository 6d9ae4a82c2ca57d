#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

namespace tellamo {

namespace {
const QByteArray ShowRequest = "show\n";
const QByteArray ShownAnswer = "shown\n";
} // namespace

SingleInstance::SingleInstance(QString folder, QObject* parent)
    : QObject(parent), mFolder(std::move(folder)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::LockPath() const {
    return mFolder + QStringLiteral("/tellamo.lock");
}

QString SingleInstance::SocketPath() const {
    return mFolder + QStringLiteral("/tellamo.socket");
}

bool SingleInstance::BecomeFirst() {
    mLock = std::make_unique<QLockFile>(LockPath());
    mLock->setStaleLockTime(0); // only a dead owner makes the lock stale, never its age
    if (!mLock->tryLock(0)) {
        mLock.reset();
        return false;
    }
    // A socket file left by a killed copy would make listen() fail.
    QLocalServer::removeServer(SocketPath());
    mServer = new QLocalServer(this);
    mServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!mServer->listen(SocketPath())) {
        qWarning("Tellamo cannot listen on %s: %s", qPrintable(SocketPath()),
                 qPrintable(mServer->errorString()));
    }
    connect(mServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = mServer->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine()) {
                    return;
                }
                if (socket->readLine() == ShowRequest) {
                    emit ShowRequested();
                    socket->write(ShownAnswer);
                    socket->flush();
                }
                socket->disconnectFromServer();
            });
        }
    });
    return true;
}

bool SingleInstance::AskRunningCopyToShow(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(SocketPath());
        if (socket.waitForConnected(
                static_cast<int>(std::min<qint64>(500, deadline.remainingTime())))) {
            socket.write(ShowRequest);
            socket.flush();
            while (!socket.canReadLine() &&
                   socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            }
            return socket.canReadLine() && socket.readLine() == ShownAnswer;
        }
        // The first copy holds the lock but is still starting: try again shortly.
        QThread::msleep(50);
    }
    return false;
}

} // namespace tellamo
