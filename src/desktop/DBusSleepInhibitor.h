#pragma once

#include <cstdint>
#include <memory>

#include <QDBusConnection>
#include <QObject>

#include "dictaphone/SleepInhibitor.h"

namespace tellamo {

class UniqueFd;

// The suspend hold over D-Bus: the desktop portal's Inhibit (suspend flag) on the session bus,
// released by closing the request it returns; where no portal answers, logind's
// Inhibit("sleep", ..., "block") on the system bus, released by closing the descriptor it
// returns. Both are asynchronous, so a slow or absent service never holds up the window; when
// neither bus answers, one line on the standard error output says so and recordings go on.
// Should the program end without a release, the bus connection (or the descriptor) closes with
// the process, which gives the hold back too. Window thread only.
class DBusSleepInhibitor : public QObject, public SleepInhibitor {
    Q_OBJECT
public:
    // Over the user's session bus and the system bus.
    static std::unique_ptr<DBusSleepInhibitor> Create();
    // Over the given connections (tests use private buses).
    DBusSleepInhibitor(QDBusConnection session, QDBusConnection system, QObject* parent = nullptr);
    // Gives a hold back.
    ~DBusSleepInhibitor() override;

    void Inhibit(const QString& reason) override;
    void Release() override;

private:
    void AskPortal(std::uint64_t ask);
    void AskLogind(std::uint64_t ask, const QString& portalError);
    void ClosePortalRequest(const QString& handle);
    void NoteUnavailable(const QString& why);
    bool Current(std::uint64_t ask) const { return mWanted && ask == mAsked; }

    QDBusConnection mSession;
    QDBusConnection mSystem;
    QString mReason;
    bool mWanted = false;
    // Every Inhibit is one ask; an answer to an ask that is no longer current (released
    // meanwhile) is given back at once.
    std::uint64_t mAsked = 0;
    QString mPortalHandle;
    std::unique_ptr<UniqueFd> mLogindFd;
    bool mNoted = false;
};

} // namespace tellamo
