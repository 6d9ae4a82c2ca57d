#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include "desktop/HotKeyService.h"

class QDBusMessage;

namespace tellamo {

// System-wide hotkeys through the desktop portal's GlobalShortcuts (Wayland, where a program
// cannot grab keys itself). The portal keeps one session of shortcuts per program, each under a
// name that stays the same between runs (the hotkey's purpose: "record", "stop"), offered with
// the user's combination as the preferred trigger; the desktop may let the user confirm or
// change the keys. Its Activated signal reports the name, which is reported here as the
// combination registered under it.
//
// Registrations are answered at once; the portal is told asynchronously, all changes of one
// moment together: the session is replaced by a new one holding the shortcuts registered then.
// A combination already registered here is refused, as a second grab of it would be. Window
// thread only.
class PortalHotKeyService : public QObject, public HotKeyService {
    Q_OBJECT
public:
    // The service over the portal on that bus, or null when the portal offers no GlobalShortcuts
    // (asks for the interface's version, waiting at most a moment).
    static std::unique_ptr<PortalHotKeyService> Create(QDBusConnection bus);
    explicit PortalHotKeyService(QDBusConnection bus, QObject* parent = nullptr);
    // Closes the session, which releases every shortcut.
    ~PortalHotKeyService() override;

    bool Register(std::uint16_t id, std::uint8_t key, std::uint32_t modifiers) override;
    bool Unregister(std::uint16_t id) override;

private slots:
    // The slots take whole messages and read their arguments themselves.
    void RequestResponse(const QDBusMessage& message);
    void ShortcutActivated(const QDBusMessage& message);

private:
    struct Shortcut {
        std::uint16_t Id;
        std::uint8_t Key;
        std::uint32_t Modifiers;
        HotKeyPurpose Purpose;
    };
    enum class Stage { Idle, CreatingSession, Binding };

    void ScheduleBind();
    void Bind();
    void BindShortcuts();
    // Calls a portal method that answers through a Request object, waiting for that answer.
    void Ask(const QString& method, const QList<QVariant>& arguments, Stage stage);
    // Connects or disconnects the Response of the pending request.
    void ListenForResponse(bool listen);
    void CloseSession();
    void Note(const QString& text);

    QDBusConnection mBus;
    std::vector<Shortcut> mShortcuts;
    QString mSessionHandle;
    QString mPendingRequest; // the request whose Response is awaited
    Stage mBusy = Stage::Idle;
    bool mBindScheduled = false;
    bool mChanged = false; // the shortcuts changed while the portal was busy
    int mTokens = 0;
};

} // namespace tellamo
