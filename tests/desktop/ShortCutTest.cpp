#include "desktop/ShortCut.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "desktop/THotKeyEdit.h"

namespace tellamo::test {
namespace {

TEST(ShortCut, MenuFormOfTheStoredCode) {
    const struct {
        ShortCut Code;
        const char* Text;
    } cases[] = {
        {0x6052, "Shift+Ctrl+R"}, // Ctrl+Shift+R as stored
        {0x4053, "Ctrl+S"},
        {0x8000 | 0x2000 | 0x4000 | '7', "Shift+Ctrl+Alt+7"},
        {0x0070, "F1"},
        {0x4087, "Ctrl+F24"},
        {0x2008, "Shift+BkSp"},
        {0x0009, "Tab"},
        {0x000D, "Enter"},
        {0x001B, "Esc"},
        {0x0020, "Space"},
        {0x0021, "PgUp"},
        {0x0022, "PgDn"},
        {0x0023, "End"},
        {0x0024, "Home"},
        {0x0025, "Left"},
        {0x0026, "Up"},
        {0x0027, "Right"},
        {0x0028, "Down"},
        {0x002D, "Ins"},
        {0x802E, "Alt+Del"},
        {0x60BA, ""}, // a key without a name: nothing, prefixes included
        {0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShortCutToText(c.Code), QString::fromLatin1(c.Text)) << std::hex << c.Code;
    }
}

// The triggers offered to the desktop portal spell modifiers and keys as desktop shortcut
// settings do: keysym names, letters in lower case.
TEST(ShortCut, PortalTriggerOfTheStoredCode) {
    const struct {
        ShortCut Code;
        const char* Trigger;
    } cases[] = {
        {0x6052, "CTRL+SHIFT+r"},
        {0x6053, "CTRL+SHIFT+s"},
        {0x8000 | 0x2000 | 0x4000 | '7', "CTRL+ALT+SHIFT+7"},
        {0x8074, "ALT+F5"},
        {0x4087, "CTRL+F24"},
        {0x2008, "SHIFT+BackSpace"},
        {0x000D, "Return"},
        {0x001B, "Escape"},
        {0x0020, "space"},
        {0x0021, "Prior"},
        {0x0022, "Next"},
        {0x002D, "Insert"},
        {0x802E, "ALT+Delete"},
        {0x60BA, ""},
        {0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PortalTrigger(c.Code).toStdString(), c.Trigger) << std::hex << c.Code;
    }
}

TEST(ShortCut, SplitAndJoinUseTheSystemsModifierFlags) {
    const SplitKey split = SplitShortCut(0x6052);
    EXPECT_EQ(split.Key, 0x52);
    EXPECT_EQ(split.Modifiers, ModControl | ModShift);
    EXPECT_EQ(SplitShortCut(0x8041).Modifiers, ModAlt);
    EXPECT_EQ(JoinShortCut(0x52, ModShift | ModControl), 0x6052);
    EXPECT_EQ(JoinShortCut(0x41, ModAlt), 0x8041);
}

TEST(ShortCut, KeysOfTheToolkitAndOfX) {
    EXPECT_EQ(ShortCutFromKey(QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_R)),
              24658);
    EXPECT_EQ(ShortCutFromKey(QKeyCombination(Qt::AltModifier, Qt::Key_F5)), 0x8074);
    EXPECT_EQ(ShortCutFromKey(QKeyCombination(Qt::NoModifier, Qt::Key_PageDown)), 0x0022);
    EXPECT_EQ(ShortCutFromKey(QKeyCombination(Qt::ControlModifier, Qt::Key_Control)), 0)
        << "a modifier alone";
    EXPECT_EQ(ShortCutFromKey(QKeyCombination(Qt::NoModifier, Qt::Key_Eacute)), 0);
    EXPECT_EQ(KeySymOfVirtualKey('R'), 0x72u) << "the keyboard map lists the lower-case keysym";
    EXPECT_EQ(KeySymOfVirtualKey('5'), 0x35u);
    EXPECT_EQ(KeySymOfVirtualKey(0x70), 0xffbeu);
    EXPECT_EQ(KeySymOfVirtualKey(0x2E), 0xffffu);
    EXPECT_EQ(KeySymOfVirtualKey(0xBA), 0u);
}

TEST(HotKeyEdit, TakesTheCombinationPressedAndShowsItsMenuForm) {
    THotKeyEdit edit;
    edit.show();
    QSignalSpy changes(&edit, &THotKeyEdit::HotKeyChanged);
    QTest::keyClick(&edit, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(edit.HotKey(), 0x6052);
    EXPECT_EQ(edit.text(), "Shift+Ctrl+R");
    QTest::keyClick(&edit, Qt::Key_Eacute, Qt::ControlModifier);
    EXPECT_EQ(edit.HotKey(), 0x6052) << "a key without a code leaves the value";
    QTest::keyClick(&edit, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), "Ctrl+Tab");
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.HotKey(), 0);
    EXPECT_EQ(edit.text(), "");
    EXPECT_EQ(changes.count(), 3);
    edit.SetHotKey(0x4053);
    EXPECT_EQ(edit.text(), "Ctrl+S");
}

} // namespace
} // namespace tellamo::test
