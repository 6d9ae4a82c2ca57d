#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QStringList>

#include "app/TDM.h"
#include "app/TellamoProgram.h"
#include "audio/WindowPoster.h"
#include "catalogue/Catalogue.h"
#include "common/FileSystem.h"
#include "desktop/THotKeyEdit.h"
#include "dialogs/TOptionsForm.h"
#include "mainwindow/Messages.h"
#include "mainwindow/TellamoMainForm.h"
#include "support/FakeWavePort.h"
#include "support/TempDir.h"

namespace tellamo::test {

// The whole program in-process over a fake sound card and the hotkey service a test gives it.
// Every message box is recorded in Messages.
class HotKeyProgramFixture : public ::testing::Test {
protected:
    HotKeyProgramFixture() {
        SetMessageHandler([this](MessageKind, const QString& text, const QString& caption) {
            mMessages << caption + ": " + text;
            return true;
        });
    }
    ~HotKeyProgramFixture() override {
        mProgram.reset();
        SetMessageHandler({});
    }
    void StartProgram(HotKeyService& service) {
        mProgram = std::make_unique<TellamoProgram>(QString::fromStdString(mDocuments.Path()),
                                                    RealFileSystem(), mPort, mPoster,
                                                    mDocuments.File("PLAY.TMP"));
        mProgram->SetHotKeyService(service);
        EXPECT_TRUE(mProgram->Start());
    }
    // Shows the window with the record and stop hotkeys Ctrl+Shift+R and Ctrl+Shift+S switched
    // on; they are registered at the first idle moment.
    void ShowWithHotKeys() {
        MainActions& a = mProgram->MainForm().Actions();
        a.AskDescriptionAction->setChecked(false);
        mProgram->Options().RecordHotKey->SetHotKey(0x6052);
        mProgram->Options().StopHotKey->SetHotKey(0x6053);
        mProgram->Show();
        // The stored check marks are applied as the window is shown; the boxes are set after.
        a.RecordHotkeyAction->setChecked(true);
        a.StopHotkeyAction->setChecked(true);
    }
    TTellamoMainForm& Form() { return mProgram->MainForm(); }
    int Notes() { return static_cast<int>(mProgram->DM().Cat().Notes().All().size()); }

    TempDir mDocuments;
    FakeWavePort mPort;
    EventFdPoster mPoster;
    QStringList mMessages;
    std::unique_ptr<TellamoProgram> mProgram;
};

} // namespace tellamo::test
