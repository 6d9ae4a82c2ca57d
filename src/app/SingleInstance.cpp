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
    : QObject(parent), Folder(std::move(folder)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::LockPath() const {
    return Folder + QStringLiteral("/tellamo.lock");
}

QString SingleInstance::SocketPath() const {
    return Folder + QStringLiteral("/tellamo.socket");
}

bool SingleInstance::BecomeFirst() {
    Lock = std::make_unique<QLockFile>(LockPath());
    Lock->setStaleLockTime(0); // only a dead owner makes the lock stale, never its age
    if (!Lock->tryLock(0)) {
        Lock.reset();
        return false;
    }
    // A socket file left by a killed copy would make listen() fail.
    QLocalServer::removeServer(SocketPath());
    Server = new QLocalServer(this);
    Server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!Server->listen(SocketPath())) {
        qWarning("Tellamo cannot listen on %s: %s", qPrintable(SocketPath()),
                 qPrintable(Server->errorString()));
    }
    connect(Server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = Server->nextPendingConnection()) {
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
