#pragma once

#include <memory>

#include <QObject>
#include <QString>

class QLocalServer;
class QLockFile;

namespace tellamo {

// One copy of the program per user: the first copy holds a lock file and listens on a local
// socket that only its user can reach; a later copy finds the lock taken and asks the first one,
// through the socket, to come to the front. The lock is taken before any window exists, so two
// copies started at the same moment cannot both become the first; a lock left by a copy that was
// killed is recognised as stale (its process is gone) and taken over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // folder: where the lock and the socket live (the user's runtime folder).
    explicit SingleInstance(QString folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this copy is the first one and now listens for requests.
    bool BecomeFirst();
    // Asks the running copy to show itself, waiting up to timeoutMs for it to be ready (it may
    // still be starting) and to answer. True when it answered.
    bool AskRunningCopyToShow(int timeoutMs = 10000);

signals:
    void ShowRequested();

private:
    QString LockPath() const;
    QString SocketPath() const;

    QString mFolder;
    std::unique_ptr<QLockFile> mLock;
    QLocalServer* mServer = nullptr;
};

} // namespace tellamo
