#pragma once

#include <memory>

#include <QDBusConnection>

namespace tellamo {

class HotKeyService;

// Whether the program runs on a Wayland session: its windows go to a Wayland compositor, or the
// session says so (an X11 program on Wayland cannot grab keys outside its own windows either).
bool IsWaylandSession();

// The desktop's system-wide hotkeys: on Wayland the desktop portal's GlobalShortcuts on that
// session bus when the portal offers them, elsewhere X11 key grabs; without either a service
// that refuses every key and says why on the HotKeys page.
std::unique_ptr<HotKeyService> ChooseHotKeyService(bool wayland, QDBusConnection sessionBus);

} // namespace tellamo
