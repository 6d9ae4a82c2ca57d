#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "common/IniFile.h"
#include "desktop/THotKeyEdit.h"
#include "desktop/THotKeyManager.h"
#include "dialogs/TOptionsForm.h"
#include "support/FakeHotKeyService.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

constexpr ShortCut CtrlShiftR = 0x6052;
constexpr ShortCut CtrlShiftS = 0x6053;
const QString Conflict = "\"Shift+Ctrl+R\" have already been registered by another hot key.";

// The dialog over stand-in actions, registering with a fake hotkey service.
class HotKeyOptions : public ::testing::Test {
protected:
    HotKeyOptions() {
        for (QAction*& action : Actions) {
            action = new QAction("x");
            action->setCheckable(true);
        }
        RecordHotkey.setCheckable(true);
        StopHotkey.setCheckable(true);
        Form = std::make_unique<TOptionsForm>(OptionsBindings{
            Recording,     Graph,       &SilenceSlider,
            &VolumeSlider, Actions[0],  Actions[1],
            Actions[2],    Actions[3],  Actions[4],
            Actions[5],    Actions[6],  Actions[7],
            Actions[8],    Actions[9],  Actions[10],
            Actions[11],   Actions[12], &RecordHotkey,
            &StopHotkey,   nullptr,     QString::fromStdString(Dir.File("tellamo.INI")),
            nullptr});
        Form->SetHotKeyManager(&Manager);
        Form->ShowError = [this](const QString& text) { Messages << text; };
    }
    ~HotKeyOptions() override {
        Form.reset();
        qDeleteAll(Actions);
    }
    QString Registered() const {
        QStringList keys;
        for (const auto& r : Manager.Registrations()) {
            keys << ShortCutToText(r.Key);
        }
        return keys.join(',');
    }
    // Runs what the user does in the dialog each time it is shown modally again.
    void WhenReopened(std::function<void()> user) {
        QObject::connect(&Poll, &QTimer::timeout, [this, user] {
            if (Form->isVisible() && QApplication::activeModalWidget() == Form.get() && !Handled) {
                Handled = true;
                ++Reopened;
                ReopenedPage = Form->OptionsPageControl->currentWidget()->objectName();
                user();
                Form->accept();
            } else if (!Form->isVisible()) {
                Handled = false;
            }
        });
        Poll.start(10);
    }

    TempDir Dir;
    RecordingOptions Recording;
    GraphSettings Graph;
    QSlider SilenceSlider{Qt::Horizontal};
    QSlider VolumeSlider{Qt::Horizontal};
    std::vector<QAction*> Actions = std::vector<QAction*>(13);
    QAction RecordHotkey{"Record Hotkey"}, StopHotkey{"Stop Hotkey"};
    FakeHotKeyService Service;
    THotKeyManager Manager{Service};
    std::unique_ptr<TOptionsForm> Form;
    QStringList Messages;
    QTimer Poll;
    bool Handled = false;
    int Reopened = 0;
    QString ReopenedPage;
};

TEST_F(HotKeyOptions, ApplyHotKeyTable) {
    const struct {
        const char* Name;
        ShortCut Registered; // in force before
        ShortCut Old, New;
        bool Force, Checked;
        const char* After; // registered afterwards
        bool Result;
    } cases[] = {
        {"a new shortcut is registered", 0, 0, CtrlShiftR, false, true, "Shift+Ctrl+R", true},
        {"unchanged, not forced: nothing", CtrlShiftR, CtrlShiftR, CtrlShiftR, false, true,
         "Shift+Ctrl+R", true},
        {"unchanged, forced: registered", 0, CtrlShiftR, CtrlShiftR, true, true, "Shift+Ctrl+R",
         true},
        {"changed: the old goes, the new comes", CtrlShiftR, CtrlShiftR, CtrlShiftS, false, true,
         "Shift+Ctrl+S", true},
        {"unchecked: the old goes", CtrlShiftR, CtrlShiftR, CtrlShiftR, true, false, "", true},
        {"set to none: the old goes", CtrlShiftR, CtrlShiftR, 0, false, true, "", true},
        {"none and unchecked: nothing", 0, 0, 0, true, false, "", true},
    };
    QCheckBox* box = Form->RecordHotKeyCheckBox;
    for (const auto& c : cases) {
        Manager.RemoveAllShortCuts();
        if (c.Registered) {
            Manager.AddShortCut(c.Registered);
        }
        RecordHotkey.setChecked(c.Checked);
        EXPECT_EQ(Form->ApplyHotKey(c.Old, c.New, c.Force, box), c.Result) << c.Name;
        EXPECT_EQ(Registered(), c.After) << c.Name;
    }
    EXPECT_TRUE(Messages.isEmpty());

    Manager.RemoveAllShortCuts();
    Service.Taken.insert({0x52, ModControl | ModShift});
    RecordHotkey.setChecked(true);
    EXPECT_FALSE(Form->ApplyHotKey(0, CtrlShiftR, false, box));
    EXPECT_EQ(Messages, QStringList{Conflict});
}

// A hotkey that is one of the window's own keys is warned about while a field holds it, typed
// or stored; another key clears the warning.
TEST_F(HotKeyOptions, AKeyOfTheWindowAsAHotkeyIsWarnedAbout) {
    constexpr ShortCut CtrlR = 0x4052;
    Form->SetWindowKeys({CtrlR, 0x2E /* Delete */});
    EXPECT_FALSE(Form->HotKeyClashLabel->isVisibleTo(Form.get()));
    Form->RecordHotKey->setEnabled(true);
    QTest::keyClick(Form->RecordHotKey, Qt::Key_R, Qt::ControlModifier);
    ASSERT_EQ(Form->RecordHotKey->HotKey(), CtrlR);
    EXPECT_TRUE(Form->HotKeyClashLabel->isVisibleTo(Form.get()));
    EXPECT_TRUE(Form->HotKeyClashLabel->text().startsWith("Ctrl+R is also one of the window's"))
        << Form->HotKeyClashLabel->text().toStdString();
    QTest::keyClick(Form->RecordHotKey, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(Form->HotKeyClashLabel->isVisibleTo(Form.get())) << "Shift+Ctrl+R is free";
    Form->StopHotKey->SetHotKey(CtrlR); // as read from the settings file
    Form->show();
    EXPECT_TRUE(Form->HotKeyClashLabel->isVisibleTo(Form.get()));
    Form->hide();
}

TEST_F(HotKeyOptions, TheSameCombinationTwiceReopensTheDialogOnTheReactionPage) {
    RecordHotkey.setChecked(true);
    StopHotkey.setChecked(true);
    Form->RecordHotKey->SetHotKey(CtrlShiftR);
    Form->StopHotKey->SetHotKey(CtrlShiftR);
    WhenReopened([this] { Form->StopHotKey->SetHotKey(CtrlShiftS); });
    Form->ApplyHotKeys(true);
    EXPECT_EQ(Messages, QStringList{Conflict});
    EXPECT_EQ(Reopened, 1);
    EXPECT_EQ(ReopenedPage, "BehaviorTabSheet");
    EXPECT_EQ(Registered(), "Shift+Ctrl+R,Shift+Ctrl+S");
}

TEST_F(HotKeyOptions, ClosingTheReopenedDialogUnchangedKeepsItWithoutASecondMessage) {
    RecordHotkey.setChecked(true);
    StopHotkey.setChecked(true);
    Form->RecordHotKey->SetHotKey(CtrlShiftR);
    Form->StopHotKey->SetHotKey(CtrlShiftR);
    WhenReopened([] {});
    Form->ApplyHotKeys(true); // forced, as at start-up: the retry must not be forced again
    EXPECT_EQ(Messages, QStringList{Conflict});
    EXPECT_EQ(Reopened, 1);
    EXPECT_EQ(Registered(), "Shift+Ctrl+R");
}

TEST_F(HotKeyOptions, AStopHotKeyChangedBeforeTheRecordConflictIsStillApplied) {
    // The user sets a taken record hotkey and changes the stop hotkey in one visit.
    Service.Taken.insert({0x52, ModControl | ModShift});
    RecordHotkey.setChecked(true);
    StopHotkey.setChecked(true);
    Form->StopHotKey->SetHotKey(0x4041);
    Form->ApplyHotKeys(true);
    ASSERT_EQ(Registered(), "Ctrl+A");
    Form->show();
    Form->RecordHotKey->SetHotKey(CtrlShiftR);
    Form->StopHotKey->SetHotKey(CtrlShiftS);
    Form->hide();
    WhenReopened([this] { Form->RecordHotKey->SetHotKey(0x6054); });
    Form->ApplyHotKeys(false);
    EXPECT_EQ(Messages, QStringList{Conflict});
    EXPECT_EQ(Registered(), "Shift+Ctrl+T,Shift+Ctrl+S")
        << "Ctrl+A gave way to the new stop hotkey";
}

TEST_F(HotKeyOptions, WithoutSystemHotKeysThePageSaysSoAndTheBoxesAreOff) {
    EXPECT_TRUE(Form->HotKeyNoteLabel->isHidden());
    EXPECT_TRUE(Form->RecordHotKeyCheckBox->isEnabled());
    Service.IsAvailable = false;
    Form->SetHotKeyManager(&Manager);
    EXPECT_FALSE(Form->HotKeyNoteLabel->isHidden());
    EXPECT_EQ(Form->HotKeyNoteLabel->text(), "No hotkeys here.");
    EXPECT_FALSE(Form->RecordHotKeyCheckBox->isEnabled());
    EXPECT_FALSE(Form->StopHotKeyCheckBox->isEnabled());
}

TEST_F(HotKeyOptions, LaunchAtLoginFollowsItsCheckMarkAtOnce) {
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(Dir.Path()));
    const std::string entry = Dir.File("autostart/tellamo.desktop");
    QAction* autoLaunch = Actions[5]; // bound to the Reaction page's box
    autoLaunch->trigger();
    EXPECT_TRUE(FileExists(entry));
    autoLaunch->trigger();
    EXPECT_FALSE(FileExists(entry));
    autoLaunch->setChecked(true); // restored from the settings file, the entry deleted by the user
    Form->SyncStartupShortcut();
    EXPECT_TRUE(FileExists(entry));
}

TEST_F(HotKeyOptions, TheSectionIsWrittenWhenTheDialogGoesUnopened) {
    Form->RecordHotKey->SetHotKey(CtrlShiftR);
    Form.reset();
    const IniFile ini = IniFile::Load(Dir.File("tellamo.INI"));
    EXPECT_EQ(ini.ReadString("TOptionsForm", "RecordHotKey_HotKey", "missing"), "24658");
    EXPECT_EQ(ini.ReadString("TOptionsForm", "StopHotKey_HotKey", "missing"), "0");
    EXPECT_EQ(ini.ReadString("TOptionsForm", "SampleRateCurrencyEdit_Value", "missing"), "11025");
    EXPECT_EQ(ini.ReadString("TOptionsForm", "Visible", "missing"), "1");
}

} // namespace
} // namespace tellamo::test
