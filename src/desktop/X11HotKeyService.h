#pragma once

#include <memory>
#include <vector>

#include <QAbstractNativeEventFilter>

#include "desktop/HotKeyService.h"

struct xcb_connection_t;

namespace tellamo {

// System-wide hotkeys on an X11 display: each combination is grabbed on the root window, also
// with NumLock and CapsLock on (a grab matches the modifier state exactly), and the key presses
// are taken from the application's X connection by a native event filter. A combination that
// another client has grabbed is refused by the server (BadAccess), which makes Register fail.
class X11HotKeyService : public HotKeyService, public QAbstractNativeEventFilter {
public:
    // The service of the application's X display, or null when the application does not run
    // on X11 (Wayland, offscreen).
    static std::unique_ptr<X11HotKeyService> Create();
    ~X11HotKeyService() override;

    bool Register(std::uint16_t id, std::uint8_t key, std::uint32_t modifiers) override;
    bool Unregister(std::uint16_t id) override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    X11HotKeyService(xcb_connection_t* connection, std::uint32_t root);
    struct Grab {
        std::uint16_t Id;
        std::uint8_t KeyCode; // the X key code
        std::uint16_t XMods;  // the X modifier mask without the lock bits
        std::uint8_t Key;     // as registered
        std::uint32_t Modifiers;
    };
    std::uint8_t KeyCodeOf(std::uint32_t keySym) const;
    void Ungrab(std::uint8_t keyCode, std::uint16_t xMods);

    xcb_connection_t* mConnection;
    std::uint32_t mRoot;
    std::vector<Grab> mGrabs;
};

} // namespace tellamo
