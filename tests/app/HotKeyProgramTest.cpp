#include <gtest/gtest.h>

#include <QAction>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include "HotKeyProgramFixture.h"
#include "app/TDM.h"
#include "app/TellamoProgram.h"
#include "audio/WindowPoster.h"
#include "catalogue/Catalogue.h"
#include "common/FileSystem.h"
#include "common/IniFile.h"
#include "desktop/THotKeyEdit.h"
#include "dialogs/TOptionsForm.h"
#include "mainwindow/Messages.h"
#include "mainwindow/TellamoMainForm.h"
#include "support/FakeHotKeyService.h"
#include "support/FakeWavePort.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

constexpr std::uint32_t CtrlShift = ModControl | ModShift;

void RunUntilIdle() {
    QEventLoop loop;
    QTimer::singleShot(30, &loop, &QEventLoop::quit);
    loop.exec();
}

// The whole program in-process with a fake hotkey service; the record and stop hotkeys are
// Ctrl+Shift+R and Ctrl+Shift+S, switched on, registered at the first idle moment.
class HotKeyProgram : public HotKeyProgramFixture {
protected:
    HotKeyProgram() { StartProgram(mService); }
    ~HotKeyProgram() override { mProgram.reset(); } // before the service it holds
    void ShowWithHotKeys() {
        HotKeyProgramFixture::ShowWithHotKeys();
        RunUntilIdle();
        ASSERT_TRUE(mProgram->FirstIdleDone());
    }

    FakeHotKeyService mService;
};

TEST_F(HotKeyProgram, RecordAndStopKeysRunTheirActionsWhileEnabled) {
    ShowWithHotKeys();
    ASSERT_EQ(mService.Registered.size(), 2u) << mService.Log.join('\n').toStdString();
    mService.Press('R', CtrlShift);
    ASSERT_EQ(Form().Mode(), TDictaphoneMode::mdRecording) << mMessages.join('\n').toStdString();
    EXPECT_TRUE(Form().Actions().StopAction->isEnabled()) << "the action update ran at once";
    EXPECT_FALSE(Form().Actions().RecordAction->isEnabled());
    mService.Press('R', CtrlShift);
    EXPECT_EQ(Notes(), 1) << "Record is disabled while recording";
    mService.Press('S', CtrlShift);
    EXPECT_EQ(Form().Mode(), TDictaphoneMode::mdIdle);
    EXPECT_TRUE(Form().Actions().RecordAction->isEnabled());
    EXPECT_FALSE(Form().Actions().StopAction->isEnabled());
    mService.Press('S', CtrlShift);
    EXPECT_EQ(Form().Mode(), TDictaphoneMode::mdIdle) << "Stop is disabled while idle";
    EXPECT_EQ(Notes(), 1);
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join('\n').toStdString();
}

TEST_F(HotKeyProgram, AKeyWhoseBoxWasUncheckedSinceDoesNothing) {
    ShowWithHotKeys();
    Form().Actions().RecordHotkeyAction->setChecked(false); // the dialog has not closed yet
    mService.Press('R', CtrlShift);
    EXPECT_EQ(Form().Mode(), TDictaphoneMode::mdIdle);
    EXPECT_EQ(Notes(), 0);
}

TEST_F(HotKeyProgram, OneKeyForBothRecordsWhenIdleAndStopsWhileRecording) {
    ShowWithHotKeys();
    mProgram->Options().StopHotKey->SetHotKey(0x6052); // kept so by the user after the conflict
    mService.Press('R', CtrlShift);
    ASSERT_EQ(Form().Mode(), TDictaphoneMode::mdRecording);
    mService.Press('R', CtrlShift);
    EXPECT_EQ(Form().Mode(), TDictaphoneMode::mdIdle);
    EXPECT_EQ(Notes(), 1);
}

TEST_F(HotKeyProgram, TheExitReleasesTheKeysAndAFirstRunWritesTheOptionsSection) {
    mProgram->Show();
    RunUntilIdle();
    EXPECT_TRUE(mService.Log.isEmpty()) << "nothing registered while the boxes are off";
    Form().close();
    const std::string ini = mDocuments.Path() + "/My Voice Notes/tellamo.INI";
    mProgram.reset();
    const IniFile settings = IniFile::Load(ini);
    EXPECT_EQ(settings.ReadString("TOptionsForm", "RecordHotKey_HotKey", "missing"), "0");
    EXPECT_EQ(settings.ReadString("TOptionsForm", "StopHotKey_HotKey", "missing"), "0");
    EXPECT_EQ(settings.ReadString("TOptionsForm", "OptionsPageControl_ActivePage", "missing"),
              "HotKeyTabSheet");
    EXPECT_EQ(settings.ReadString("TOptionsForm", "VelocityRxSpinEdit_Value", "missing"), "20");
    EXPECT_EQ(settings.ReadString("TTellamoMainForm", "RecordHotkeyAction_Checked", "missing"),
              "False");
}

TEST_F(HotKeyProgram, RegisteredKeysAreReleasedAtTheEnd) {
    ShowWithHotKeys();
    ASSERT_EQ(mService.Registered.size(), 2u);
    Form().close();
    mProgram.reset();
    EXPECT_TRUE(mService.Registered.empty());
}

} // namespace
} // namespace tellamo::test
