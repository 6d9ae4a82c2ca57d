#include "support/FakeHotKeyService.h"

namespace tellamo {

bool FakeHotKeyService::Register(std::uint16_t id, std::uint8_t key, std::uint32_t modifiers) {
    Log << QStringLiteral("register %1:%2 %3").arg(modifiers).arg(key).arg(id);
    if (Taken.count({key, modifiers}) || Registered.count(id)) {
        return false;
    }
    for (const auto& [other, grab] : Registered) {
        if (grab.Key == key && grab.Modifiers == modifiers) {
            return false; // one program's own second registration of a combination fails too
        }
    }
    Registered[id] = {key, modifiers};
    return true;
}

bool FakeHotKeyService::Unregister(std::uint16_t id) {
    Log << QStringLiteral("unregister %1").arg(id);
    return Registered.erase(id) > 0;
}

void FakeHotKeyService::Press(std::uint8_t key, std::uint32_t modifiers) {
    for (const auto& [id, grab] : Registered) {
        if (grab.Key == key && grab.Modifiers == modifiers && Pressed) {
            Pressed(id, key, modifiers);
            return;
        }
    }
}

} // namespace tellamo
