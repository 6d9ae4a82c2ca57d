#pragma once

#include <cstdint>

#include <QKeyCombination>
#include <QString>

namespace tellamo {

// A key combination as the settings file stores it: the key's virtual-key code in the low byte,
// 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt; 0 is no shortcut. Ctrl+Shift+R is 0x6052.
using ShortCut = std::uint16_t;

constexpr ShortCut ShiftBit = 0x2000;
constexpr ShortCut CtrlBit = 0x4000;
constexpr ShortCut AltBit = 0x8000;

// The modifier flags a hotkey service is asked for and reports.
constexpr std::uint32_t ModAlt = 1;
constexpr std::uint32_t ModControl = 2;
constexpr std::uint32_t ModShift = 4;

struct SplitKey {
    std::uint8_t Key = 0;        // virtual-key code
    std::uint32_t Modifiers = 0; // ModAlt | ModControl | ModShift
};
SplitKey SplitShortCut(ShortCut shortCut);
ShortCut JoinShortCut(std::uint8_t key, std::uint32_t modifiers);

// The menu form: "Shift+", "Ctrl+", "Alt+" in this order, then the key's name ("R", "F5",
// "PgUp"); a key without a name gives an empty text, prefixes included.
QString ShortCutToText(ShortCut shortCut);

// A key pressed in the toolkit as a shortcut; 0 when the key has no virtual-key code here (a
// modifier alone, a key of another layout).
ShortCut ShortCutFromKey(QKeyCombination combination);

// The X keysym of a virtual-key code (0 when there is none); letters give their lower-case
// keysym, as the keyboard map lists them first.
std::uint32_t KeySymOfVirtualKey(std::uint8_t key);

// The trigger a desktop portal is offered for a shortcut: "CTRL+", "ALT+", "SHIFT+" for the
// modifiers present, then the key's X keysym name ("CTRL+SHIFT+r", "ALT+F5", "SHIFT+Prior");
// empty for a key without a name.
QString PortalTrigger(ShortCut shortCut);

} // namespace tellamo
