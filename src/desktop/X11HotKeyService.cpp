#include "desktop/X11HotKeyService.h"

#include <algorithm>
#include <cstdlib>

#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QGuiApplication>

#include "desktop/ShortCut.h"

namespace tellamo {

namespace {
// The lock modifiers a grab must also be made with: CapsLock, NumLock (Mod2 on every common
// keyboard map) and both.
constexpr std::uint16_t LockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                          XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr std::uint16_t RelevantMods = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

std::uint16_t XModsOf(std::uint32_t modifiers) {
    std::uint16_t mods = 0;
    if (modifiers & ModShift) {
        mods |= XCB_MOD_MASK_SHIFT;
    }
    if (modifiers & ModControl) {
        mods |= XCB_MOD_MASK_CONTROL;
    }
    if (modifiers & ModAlt) {
        mods |= XCB_MOD_MASK_1;
    }
    return mods;
}
} // namespace

std::unique_ptr<X11HotKeyService> X11HotKeyService::Create() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    // On the offscreen platform the interface exists but has no connection.
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection || xcb_connection_has_error(connection)) {
        return nullptr;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen) {
        return nullptr;
    }
    std::unique_ptr<X11HotKeyService> service(new X11HotKeyService(connection, screen->root));
    QCoreApplication::instance()->installNativeEventFilter(service.get());
    return service;
}

X11HotKeyService::X11HotKeyService(xcb_connection_t* connection, std::uint32_t root)
    : mConnection(connection), mRoot(root) {}

X11HotKeyService::~X11HotKeyService() {
    if (QCoreApplication::instance()) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
    for (const Grab& grab : mGrabs) {
        Ungrab(grab.KeyCode, grab.XMods);
    }
    xcb_flush(mConnection);
}

std::uint8_t X11HotKeyService::KeyCodeOf(std::uint32_t keySym) const {
    const xcb_setup_t* setup = xcb_get_setup(mConnection);
    const std::uint8_t first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(
        mConnection, xcb_get_keyboard_mapping(mConnection, first, static_cast<std::uint8_t>(count)),
        nullptr);
    if (!reply) {
        return 0;
    }
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
    const int perCode = reply->keysyms_per_keycode;
    std::uint8_t found = 0;
    // The first column (the unshifted symbol) wins over later ones.
    for (int column = 0; column < perCode && !found; ++column) {
        for (int code = 0; code < count; ++code) {
            if (syms[code * perCode + column] == keySym) {
                found = static_cast<std::uint8_t>(first + code);
                break;
            }
        }
    }
    std::free(reply);
    return found;
}

void X11HotKeyService::Ungrab(std::uint8_t keyCode, std::uint16_t xMods) {
    for (const std::uint16_t lock : LockVariants) {
        xcb_ungrab_key(mConnection, keyCode, mRoot, static_cast<std::uint16_t>(xMods | lock));
    }
}

bool X11HotKeyService::Register(std::uint16_t id, std::uint8_t key, std::uint32_t modifiers) {
    const std::uint8_t keyCode = KeyCodeOf(KeySymOfVirtualKey(key));
    if (keyCode == 0 ||
        std::any_of(mGrabs.begin(), mGrabs.end(), [id](const Grab& g) { return g.Id == id; })) {
        return false;
    }
    const std::uint16_t xMods = XModsOf(modifiers);
    // Our own earlier grab of the same combination is not refused by the server: refuse it here.
    if (std::any_of(mGrabs.begin(), mGrabs.end(),
                    [&](const Grab& g) { return g.KeyCode == keyCode && g.XMods == xMods; })) {
        return false;
    }
    bool refused = false;
    for (const std::uint16_t lock : LockVariants) {
        const xcb_void_cookie_t cookie =
            xcb_grab_key_checked(mConnection, 1, mRoot, static_cast<std::uint16_t>(xMods | lock),
                                 keyCode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (xcb_generic_error_t* error = xcb_request_check(mConnection, cookie)) {
            refused = true; // BadAccess: another client holds the combination
            std::free(error);
        }
    }
    if (refused) {
        Ungrab(keyCode, xMods);
        xcb_flush(mConnection);
        return false;
    }
    mGrabs.push_back({id, keyCode, xMods, key, modifiers});
    return true;
}

bool X11HotKeyService::Unregister(std::uint16_t id) {
    auto found =
        std::find_if(mGrabs.begin(), mGrabs.end(), [id](const Grab& g) { return g.Id == id; });
    if (found == mGrabs.end()) {
        return false;
    }
    Ungrab(found->KeyCode, found->XMods);
    xcb_flush(mConnection);
    mGrabs.erase(found);
    return true;
}

bool X11HotKeyService::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) {
        return false;
    }
    const auto* key = static_cast<const xcb_key_press_event_t*>(message);
    const std::uint16_t mods = key->state & RelevantMods;
    for (const Grab& grab : mGrabs) {
        if (grab.KeyCode == key->detail && grab.XMods == mods && key->event == mRoot) {
            if (type == XCB_KEY_PRESS && Pressed) {
                Pressed(grab.Id, grab.Key, grab.Modifiers);
            }
            return true;
        }
    }
    return false;
}

} // namespace tellamo
