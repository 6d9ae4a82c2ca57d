#pragma once

#include <gtest/gtest.h>

#include <QStringList>

#include "audio/WindowPoster.h"
#include "catalogue/Catalogue.h"
#include "common/FileSystem.h"
#include "dialogs/TDescriptionForm.h"
#include "mainwindow/Messages.h"
#include "mainwindow/TellamoMainForm.h"
#include "support/FakeWavePort.h"
#include "support/NamedChild.h"
#include "support/SimulatedDisk.h"
#include "support/TempDir.h"

namespace tellamo::test {

// The main window over a fake sound card and a fresh storage folder with a new catalogue, written
// through a simulated disk (which passes everything through until a test makes it fail or cuts
// its power). Every message box is recorded in Messages and answered with Answer.
class MainWindowFixture : public ::testing::Test {
protected:
    MainWindowFixture() {
        SetMessageHandler([this](MessageKind kind, const QString& text, const QString&) {
            mMessages << text;
            mMessageKinds.push_back(kind);
            return mAnswer;
        });
        mCat.Files().EnsureStorageFolder([](const QString&, const QString&) {}, mDisk);
        mCat.NewCatalogue();
        mForm.SetDescriptionForm(&mDescription);
    }
    ~MainWindowFixture() override { SetMessageHandler({}); }

    std::string Folder() const { return mDocuments.Path() + "/My Voice Notes/"; }
    std::string Saved() const { return ReadFileBytes(Folder() + "Tellamo.dat"); }
    // The saved catalogue, read back into a catalogue of its own.
    std::unique_ptr<Catalogue> Reloaded() const {
        auto cat = std::make_unique<Catalogue>(
            Storage(QString::fromStdString(mDocuments.Path()), "My Voice Notes", "ReadMe.txt"),
            "Notes", "Recycle Bin", RealFileSystem());
        cat->LoadCatalogue();
        return cat;
    }

    TempDir mDocuments;
    SimulatedDisk mDisk;
    Catalogue mCat{
        Storage(QString::fromStdString(mDocuments.Path()), "My Voice Notes", "ReadMe.txt"), "Notes",
        "Recycle Bin", mDisk};
    FakeWavePort mPort;
    EventFdPoster mPoster;
    TTellamoMainForm mForm{mCat, AudioServices{mPort, mPoster, mDocuments.File("PLAY.TMP")}};
    TDescriptionForm mDescription{mForm.Actions().AskDescriptionAction, &mForm};
    QStringList mMessages;
    std::vector<MessageKind> mMessageKinds; // of each message in Messages
    bool mAnswer = true;
};

} // namespace tellamo::test
