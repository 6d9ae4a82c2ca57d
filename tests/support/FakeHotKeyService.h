#pragma once

#include <map>
#include <set>

#include <QStringList>

#include "desktop/HotKeyService.h"

namespace tellamo {

// A hotkey service for tests: keeps the registrations, refuses the combinations it is told are
// taken, logs every call ("register 1:2:82 49152", "unregister 49152") and presses keys on demand.
class FakeHotKeyService : public HotKeyService {
public:
    bool Register(std::uint16_t id, std::uint8_t key, std::uint32_t modifiers) override;
    bool Unregister(std::uint16_t id) override;
    bool Available() const override { return IsAvailable; }
    QString UnavailableReason() const override {
        return IsAvailable ? QString() : QStringLiteral("No hotkeys here.");
    }

    // Presses a combination as the system would: reported when some id holds it.
    void Press(std::uint8_t key, std::uint32_t modifiers);

    struct Grab {
        std::uint8_t Key;
        std::uint32_t Modifiers;
    };
    std::map<std::uint16_t, Grab> Registered;
    // Combinations held by another program, as (key, modifiers).
    std::set<std::pair<std::uint8_t, std::uint32_t>> Taken;
    QStringList Log;
    bool IsAvailable = true;
};

} // namespace tellamo
