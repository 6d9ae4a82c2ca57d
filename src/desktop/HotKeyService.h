#pragma once

#include <cstdint>
#include <functional>

#include <QString>

namespace tellamo {

// What a hotkey is for, where the desktop lists each program's hotkeys by name (the portal):
// a name that stays the same between runs ("record") and a description for the user.
struct HotKeyPurpose {
    QString Name;
    QString Description;
};

// The desktop's system-wide hotkeys: a key with modifier flags (ModAlt, ModControl, ModShift)
// registered under an id, reported with that id when pressed while any program has the focus.
// X11 grabs keys on the root window; Wayland asks the desktop portal; tests use a fake. Every
// call and every report happen on the window thread.
class HotKeyService {
public:
    virtual ~HotKeyService() = default;

    // False when the system refuses the combination (another program holds it).
    virtual bool Register(std::uint16_t id, std::uint8_t key, std::uint32_t modifiers) = 0;
    // False when the system did not know the id.
    virtual bool Unregister(std::uint16_t id) = 0;
    // False when this desktop offers no system-wide hotkeys at all; the reason is one line for
    // the user.
    virtual bool Available() const { return true; }
    virtual QString UnavailableReason() const { return {}; }

    // Set by the hotkey manager: a registered hotkey was pressed.
    std::function<void(std::uint16_t id, std::uint8_t key, std::uint32_t modifiers)> Pressed;
    // Set by the program: what a combination about to be registered is for. Services that do
    // not name their hotkeys ignore it; unset, or an empty name, they make a name up.
    std::function<HotKeyPurpose(std::uint8_t key, std::uint32_t modifiers)> Purpose;
};

// A desktop without system-wide hotkeys: every registration is refused.
class NoHotKeyService : public HotKeyService {
public:
    explicit NoHotKeyService(QString reason) : mReason(std::move(reason)) {}
    bool Register(std::uint16_t, std::uint8_t, std::uint32_t) override { return false; }
    bool Unregister(std::uint16_t) override { return false; }
    bool Available() const override { return false; }
    QString UnavailableReason() const override { return mReason; }

private:
    QString mReason;
};

} // namespace tellamo
