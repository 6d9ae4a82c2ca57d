#include "app/HotKeyChoice.h"

#include <QGuiApplication>

#include "common/Translate.h"
#include "desktop/HotKeyService.h"
#include "desktop/PortalHotKeyService.h"
#include "desktop/X11HotKeyService.h"

namespace tellamo {

bool IsWaylandSession() {
    return QGuiApplication::platformName().startsWith(QStringLiteral("wayland")) ||
           qEnvironmentVariable("XDG_SESSION_TYPE") == QStringLiteral("wayland");
}

std::unique_ptr<HotKeyService> ChooseHotKeyService(bool wayland, QDBusConnection sessionBus) {
    std::unique_ptr<HotKeyService> service;
    if (wayland) {
        service = PortalHotKeyService::Create(std::move(sessionBus));
    } else {
        service = X11HotKeyService::Create();
    }
    if (!service) {
        service = std::make_unique<NoHotKeyService>(
            TranslateText("System-wide hotkeys are not available on this desktop."));
    }
    return service;
}

} // namespace tellamo
