#include "desktop/ShortCut.h"

#include <array>

namespace tellamo {

namespace {
struct NamedKey {
    std::uint8_t VirtualKey;
    Qt::Key QtKey;
    std::uint32_t KeySym;
    const char* Name;
    const char* KeySymName; // the X keysym's name, as desktop shortcut triggers spell keys
};

// The keys with a name besides letters, digits and function keys.
constexpr std::array<NamedKey, 15> NamedKeys{{
    {0x08, Qt::Key_Backspace, 0xff08, "BkSp", "BackSpace"},
    {0x09, Qt::Key_Tab, 0xff09, "Tab", "Tab"},
    {0x0D, Qt::Key_Return, 0xff0d, "Enter", "Return"},
    {0x1B, Qt::Key_Escape, 0xff1b, "Esc", "Escape"},
    {0x20, Qt::Key_Space, 0x0020, "Space", "space"},
    {0x21, Qt::Key_PageUp, 0xff55, "PgUp", "Prior"},
    {0x22, Qt::Key_PageDown, 0xff56, "PgDn", "Next"},
    {0x23, Qt::Key_End, 0xff57, "End", "End"},
    {0x24, Qt::Key_Home, 0xff50, "Home", "Home"},
    {0x25, Qt::Key_Left, 0xff51, "Left", "Left"},
    {0x26, Qt::Key_Up, 0xff52, "Up", "Up"},
    {0x27, Qt::Key_Right, 0xff53, "Right", "Right"},
    {0x28, Qt::Key_Down, 0xff54, "Down", "Down"},
    {0x2D, Qt::Key_Insert, 0xff63, "Ins", "Insert"},
    {0x2E, Qt::Key_Delete, 0xffff, "Del", "Delete"},
}};

constexpr std::uint8_t VkF1 = 0x70;
constexpr std::uint8_t VkF24 = 0x87;

bool IsLetter(std::uint8_t key) {
    return key >= 'A' && key <= 'Z';
}
bool IsDigit(std::uint8_t key) {
    return key >= '0' && key <= '9';
}
bool IsFunctionKey(std::uint8_t key) {
    return key >= VkF1 && key <= VkF24;
}

// The key's name in the menu form ("R", "PgUp"), or its X keysym's name ("r", "Prior");
// empty for a key without a name.
QString KeyName(std::uint8_t key, bool keySymName) {
    if (IsLetter(key)) {
        return QChar(keySymName ? key - 'A' + 'a' : key);
    }
    if (IsDigit(key)) {
        return QChar(key);
    }
    if (IsFunctionKey(key)) {
        return QStringLiteral("F%1").arg(key - VkF1 + 1);
    }
    for (const NamedKey& named : NamedKeys) {
        if (named.VirtualKey == key) {
            return QString::fromLatin1(keySymName ? named.KeySymName : named.Name);
        }
    }
    return {};
}

struct ModifierText {
    ShortCut Bit;
    const char* Text;
};

// The modifiers' texts, in the order and spelling the reader expects, before the key's name;
// empty for a key without a name.
QString WithModifiers(ShortCut shortCut, const QString& name,
                      const std::array<ModifierText, 3>& modifiers) {
    if (name.isEmpty()) {
        return {};
    }
    QString text;
    for (const ModifierText& modifier : modifiers) {
        if (shortCut & modifier.Bit) {
            text += QLatin1String(modifier.Text);
        }
    }
    return text + name;
}
} // namespace

SplitKey SplitShortCut(ShortCut shortCut) {
    SplitKey split;
    split.Key = static_cast<std::uint8_t>(shortCut & 0xFF);
    if (shortCut & AltBit) {
        split.Modifiers |= ModAlt;
    }
    if (shortCut & CtrlBit) {
        split.Modifiers |= ModControl;
    }
    if (shortCut & ShiftBit) {
        split.Modifiers |= ModShift;
    }
    return split;
}

ShortCut JoinShortCut(std::uint8_t key, std::uint32_t modifiers) {
    ShortCut shortCut = key;
    if (modifiers & ModShift) {
        shortCut |= ShiftBit;
    }
    if (modifiers & ModControl) {
        shortCut |= CtrlBit;
    }
    if (modifiers & ModAlt) {
        shortCut |= AltBit;
    }
    return shortCut;
}

QString ShortCutToText(ShortCut shortCut) {
    return WithModifiers(shortCut, KeyName(static_cast<std::uint8_t>(shortCut & 0xFF), false),
                         {{{ShiftBit, "Shift+"}, {CtrlBit, "Ctrl+"}, {AltBit, "Alt+"}}});
}

ShortCut ShortCutFromKey(QKeyCombination combination) {
    const int qtKey = combination.key();
    std::uint8_t key = 0;
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
        key = static_cast<std::uint8_t>('A' + (qtKey - Qt::Key_A));
    } else if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
        key = static_cast<std::uint8_t>('0' + (qtKey - Qt::Key_0));
    } else if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        key = static_cast<std::uint8_t>(VkF1 + (qtKey - Qt::Key_F1));
    } else if (qtKey == Qt::Key_Enter) {
        key = 0x0D; // the keypad's Enter is the same key to the system
    } else if (qtKey == Qt::Key_Backtab) {
        key = 0x09;
    } else {
        for (const NamedKey& named : NamedKeys) {
            if (named.QtKey == qtKey) {
                key = named.VirtualKey;
            }
        }
    }
    if (key == 0) {
        return 0;
    }
    std::uint32_t modifiers = 0;
    const Qt::KeyboardModifiers held = combination.keyboardModifiers();
    if (held & Qt::ShiftModifier || qtKey == Qt::Key_Backtab) {
        modifiers |= ModShift;
    }
    if (held & Qt::ControlModifier) {
        modifiers |= ModControl;
    }
    if (held & Qt::AltModifier) {
        modifiers |= ModAlt;
    }
    return JoinShortCut(key, modifiers);
}

std::uint32_t KeySymOfVirtualKey(std::uint8_t key) {
    if (IsLetter(key)) {
        return static_cast<std::uint32_t>(key - 'A' + 'a');
    }
    if (IsDigit(key)) {
        return key;
    }
    if (IsFunctionKey(key)) {
        return 0xffbe + static_cast<std::uint32_t>(key - VkF1);
    }
    for (const NamedKey& named : NamedKeys) {
        if (named.VirtualKey == key) {
            return named.KeySym;
        }
    }
    return 0;
}

QString PortalTrigger(ShortCut shortCut) {
    return WithModifiers(shortCut, KeyName(static_cast<std::uint8_t>(shortCut & 0xFF), true),
                         {{{CtrlBit, "CTRL+"}, {AltBit, "ALT+"}, {ShiftBit, "SHIFT+"}}});
}

} // namespace tellamo
