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
        for (QAction*& action : mActions) {
            action = new QAction("x");
            action->setCheckable(true);
        }
        mRecordHotkey.setCheckable(true);
        mStopHotkey.setCheckable(true);
        mForm = std::make_unique<TOptionsForm>(OptionsBindings{
            mRecording,     mGraph,       &mSilenceSlider,
            &mVolumeSlider, mActions[0],  mActions[1],
            mActions[2],    mActions[3],  mActions[4],
            mActions[5],    mActions[6],  mActions[7],
            mActions[8],    mActions[9],  mActions[10],
            mActions[11],   mActions[12], &mRecordHotkey,
            &mStopHotkey,   nullptr,      QString::fromStdString(mDir.File("tellamo.INI")),
            nullptr});
        mForm->SetHotKeyManager(&mManager);
        mForm->ShowError = [this](const QString& text) { mMessages << text; };
    }
    ~HotKeyOptions() override {
        mForm.reset();
        qDeleteAll(mActions);
    }
    QString Registered() const {
        QStringList keys;
        for (const auto& r : mManager.Registrations()) {
            keys << ShortCutToText(r.Key);
        }
        return keys.join(',');
    }
    // Runs what the user does in the dialog each time it is shown modally again.
    void WhenReopened(std::function<void()> user) {
        QObject::connect(&mPoll, &QTimer::timeout, [this, user] {
            if (mForm->isVisible() && QApplication::activeModalWidget() == mForm.get() &&
                !mHandled) {
                mHandled = true;
                ++mReopened;
                mReopenedPage = mForm->OptionsPageControl->currentWidget()->objectName();
                user();
                mForm->accept();
            } else if (!mForm->isVisible()) {
                mHandled = false;
            }
        });
        mPoll.start(10);
    }

    TempDir mDir;
    RecordingOptions mRecording;
    GraphSettings mGraph;
    QSlider mSilenceSlider{Qt::Horizontal};
    QSlider mVolumeSlider{Qt::Horizontal};
    std::vector<QAction*> mActions = std::vector<QAction*>(13);
    QAction mRecordHotkey{"Record Hotkey"}, mStopHotkey{"Stop Hotkey"};
    FakeHotKeyService mService;
    THotKeyManager mManager{mService};
    std::unique_ptr<TOptionsForm> mForm;
    QStringList mMessages;
    QTimer mPoll;
    bool mHandled = false;
    int mReopened = 0;
    QString mReopenedPage;
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
    QCheckBox* box = mForm->RecordHotKeyCheckBox;
    for (const auto& c : cases) {
        mManager.RemoveAllShortCuts();
        if (c.Registered) {
            mManager.AddShortCut(c.Registered);
        }
        mRecordHotkey.setChecked(c.Checked);
        EXPECT_EQ(mForm->ApplyHotKey(c.Old, c.New, c.Force, box), c.Result) << c.Name;
        EXPECT_EQ(Registered(), c.After) << c.Name;
    }
    EXPECT_TRUE(mMessages.isEmpty());

    mManager.RemoveAllShortCuts();
    mService.Taken.insert({0x52, ModControl | ModShift});
    mRecordHotkey.setChecked(true);
    EXPECT_FALSE(mForm->ApplyHotKey(0, CtrlShiftR, false, box));
    EXPECT_EQ(mMessages, QStringList{Conflict});
}

// A hotkey that is one of the window's own keys is warned about while a field holds it, typed
// or stored; another key clears the warning.
TEST_F(HotKeyOptions, AKeyOfTheWindowAsAHotkeyIsWarnedAbout) {
    constexpr ShortCut CtrlR = 0x4052;
    mForm->SetWindowKeys({CtrlR, 0x2E /* Delete */});
    EXPECT_FALSE(mForm->HotKeyClashLabel->isVisibleTo(mForm.get()));
    mForm->RecordHotKey->setEnabled(true);
    QTest::keyClick(mForm->RecordHotKey, Qt::Key_R, Qt::ControlModifier);
    ASSERT_EQ(mForm->RecordHotKey->HotKey(), CtrlR);
    EXPECT_TRUE(mForm->HotKeyClashLabel->isVisibleTo(mForm.get()));
    EXPECT_TRUE(mForm->HotKeyClashLabel->text().startsWith("Ctrl+R is also one of the window's"))
        << mForm->HotKeyClashLabel->text().toStdString();
    QTest::keyClick(mForm->RecordHotKey, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(mForm->HotKeyClashLabel->isVisibleTo(mForm.get())) << "Shift+Ctrl+R is free";
    mForm->StopHotKey->SetHotKey(CtrlR); // as read from the settings file
    mForm->show();
    EXPECT_TRUE(mForm->HotKeyClashLabel->isVisibleTo(mForm.get()));
    mForm->hide();
}

TEST_F(HotKeyOptions, TheSameCombinationTwiceReopensTheDialogOnTheReactionPage) {
    mRecordHotkey.setChecked(true);
    mStopHotkey.setChecked(true);
    mForm->RecordHotKey->SetHotKey(CtrlShiftR);
    mForm->StopHotKey->SetHotKey(CtrlShiftR);
    WhenReopened([this] { mForm->StopHotKey->SetHotKey(CtrlShiftS); });
    mForm->ApplyHotKeys(true);
    EXPECT_EQ(mMessages, QStringList{Conflict});
    EXPECT_EQ(mReopened, 1);
    EXPECT_EQ(mReopenedPage, "BehaviorTabSheet");
    EXPECT_EQ(Registered(), "Shift+Ctrl+R,Shift+Ctrl+S");
}

TEST_F(HotKeyOptions, ClosingTheReopenedDialogUnchangedKeepsItWithoutASecondMessage) {
    mRecordHotkey.setChecked(true);
    mStopHotkey.setChecked(true);
    mForm->RecordHotKey->SetHotKey(CtrlShiftR);
    mForm->StopHotKey->SetHotKey(CtrlShiftR);
    WhenReopened([] {});
    mForm->ApplyHotKeys(true); // forced, as at start-up: the retry must not be forced again
    EXPECT_EQ(mMessages, QStringList{Conflict});
    EXPECT_EQ(mReopened, 1);
    EXPECT_EQ(Registered(), "Shift+Ctrl+R");
}

TEST_F(HotKeyOptions, AStopHotKeyChangedBeforeTheRecordConflictIsStillApplied) {
    // The user sets a taken record hotkey and changes the stop hotkey in one visit.
    mService.Taken.insert({0x52, ModControl | ModShift});
    mRecordHotkey.setChecked(true);
    mStopHotkey.setChecked(true);
    mForm->StopHotKey->SetHotKey(0x4041);
    mForm->ApplyHotKeys(true);
    ASSERT_EQ(Registered(), "Ctrl+A");
    mForm->show();
    mForm->RecordHotKey->SetHotKey(CtrlShiftR);
    mForm->StopHotKey->SetHotKey(CtrlShiftS);
    mForm->hide();
    WhenReopened([this] { mForm->RecordHotKey->SetHotKey(0x6054); });
    mForm->ApplyHotKeys(false);
    EXPECT_EQ(mMessages, QStringList{Conflict});
    EXPECT_EQ(Registered(), "Shift+Ctrl+T,Shift+Ctrl+S")
        << "Ctrl+A gave way to the new stop hotkey";
}

TEST_F(HotKeyOptions, WithoutSystemHotKeysThePageSaysSoAndTheBoxesAreOff) {
    EXPECT_TRUE(mForm->HotKeyNoteLabel->isHidden());
    EXPECT_TRUE(mForm->RecordHotKeyCheckBox->isEnabled());
    mService.IsAvailable = false;
    mForm->SetHotKeyManager(&mManager);
    EXPECT_FALSE(mForm->HotKeyNoteLabel->isHidden());
    EXPECT_EQ(mForm->HotKeyNoteLabel->text(), "No hotkeys here.");
    EXPECT_FALSE(mForm->RecordHotKeyCheckBox->isEnabled());
    EXPECT_FALSE(mForm->StopHotKeyCheckBox->isEnabled());
}

TEST_F(HotKeyOptions, LaunchAtLoginFollowsItsCheckMarkAtOnce) {
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(mDir.Path()));
    const std::string entry = mDir.File("autostart/tellamo.desktop");
    QAction* autoLaunch = mActions[5]; // bound to the Reaction page's box
    autoLaunch->trigger();
    EXPECT_TRUE(FileExists(entry));
    autoLaunch->trigger();
    EXPECT_FALSE(FileExists(entry));
    autoLaunch->setChecked(true); // restored from the settings file, the entry deleted by the user
    mForm->SyncStartupShortcut();
    EXPECT_TRUE(FileExists(entry));
}

TEST_F(HotKeyOptions, TheSectionIsWrittenWhenTheDialogGoesUnopened) {
    mForm->RecordHotKey->SetHotKey(CtrlShiftR);
    mForm.reset();
    const IniFile ini = IniFile::Load(mDir.File("tellamo.INI"));
    EXPECT_EQ(ini.ReadString("TOptionsForm", "RecordHotKey_HotKey", "missing"), "24658");
    EXPECT_EQ(ini.ReadString("TOptionsForm", "StopHotKey_HotKey", "missing"), "0");
    EXPECT_EQ(ini.ReadString("TOptionsForm", "SampleRateCurrencyEdit_Value", "missing"), "11025");
    EXPECT_EQ(ini.ReadString("TOptionsForm", "Visible", "missing"), "1");
}

} // namespace
} // namespace tellamo::test
