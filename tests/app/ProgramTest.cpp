#include <filesystem>

#include <gtest/gtest.h>

#include <QAction>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QEventLoop>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QSlider>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include "app/TDM.h"
#include "app/TellamoProgram.h"
#include "audio/Audio.h"
#include "audio/WavFormat.h"
#include "audio/WindowPoster.h"
#include "catalogue/Catalogue.h"
#include "common/ByteIO.h"
#include "common/FileSystem.h"
#include "desktop/MprisService.h"
#include "desktop/THotKeyEdit.h"
#include "dialogs/TOptionsForm.h"
#include "mainwindow/Messages.h"
#include "mainwindow/TellamoMainForm.h"
#include "support/CountingFileSystem.h"
#include "support/FakeWavePort.h"
#include "support/NamedChild.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

// Lets the message loop reach its idle moments (where the action update and FirstIdle run):
// QTest's waits poll without ever blocking, so they never see one.
void RunUntilIdle() {
    QEventLoop loop;
    QTimer::singleShot(30, &loop, &QEventLoop::quit);
    loop.exec();
}

// Builds the program in-process over a private documents folder and records every message box.
class Program : public ::testing::Test {
protected:
    Program() {
        SetMessageHandler([this](MessageKind, const QString& text, const QString& caption) {
            mMessages << caption + ": " + text;
            return true;
        });
    }
    ~Program() override { SetMessageHandler({}); }

    std::string Folder() const { return mDocuments.Path() + "/My Voice Notes/"; }
    std::unique_ptr<TellamoProgram> Start() {
        auto program = std::make_unique<TellamoProgram>(QString::fromStdString(mDocuments.Path()),
                                                        RealFileSystem(), mPort, mPoster,
                                                        mDocuments.File("PLAY.TMP"));
        EXPECT_TRUE(program->Start());
        return program;
    }
    QStringList Entries() const {
        return QDir(QString::fromStdString(Folder())).entryList(QDir::Files, QDir::Name);
    }

    TempDir mDocuments;
    FakeWavePort mPort;
    EventFdPoster mPoster;
    QStringList mMessages;
};

TEST_F(Program, FirstStartMakesTheFolderAndWritesTheCatalogueOnlyAtExit) {
    auto program = Start();
    EXPECT_EQ(Entries(), QStringList{"ReadMe.txt"});
    Catalogue& cat = program->DM().Cat();
    EXPECT_EQ(cat.Folders().Count(), 2);
    EXPECT_EQ(cat.SelectedFolder(), cat.NotesNode());
    program->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&program->MainForm()));
    RunUntilIdle();
    EXPECT_TRUE(program->FirstIdleDone());
    EXPECT_EQ(Entries(), QStringList{"ReadMe.txt"})
        << "nothing is saved before a change or the exit";
    program->MainForm().close();
    EXPECT_EQ(ReadFileBytes(Folder() + "Tellamo.dat").size(), 45u);
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join('\n').toStdString();
}

TEST_F(Program, ADamagedIndexFileIsShownAndTheProgramRuns) {
    QDir().mkpath(QString::fromStdString(Folder()));
    WriteFileBytes(Folder() + "Tellamo.dat", std::string("\x01\x05\x00\x00\x00garbage", 12));
    auto program = Start();
    ASSERT_EQ(mMessages.size(), 1);
    EXPECT_TRUE(mMessages[0].startsWith("Tellamo: The index file ends too early"))
        << mMessages[0].toStdString();
    EXPECT_TRUE(mMessages[0].contains("Tellamo-damaged-")) << mMessages[0].toStdString();
    Catalogue& cat = program->DM().Cat();
    ASSERT_NE(cat.NotesNode(), nullptr);
    ASSERT_NE(cat.RecycleBinNode(), nullptr);
    program->Show();
    program->MainForm().close();
    // Closing saved a usable catalogue beside the kept damaged file.
    EXPECT_EQ(ReadFileBytes(Folder() + "Tellamo.dat").size(), 45u);
    EXPECT_EQ(Entries().filter("Tellamo-damaged-").size(), 1);
}

// A save cut short on a file system without hard links, or a Tellamo.dat deleted by hand,
// leaves the previous generation as the only copy of the catalogue: it is loaded, said so, and
// kept through the exit's save.
TEST_F(Program, AMissingIndexFileBesideThePreviousGenerationLoadsIt) {
    {
        auto program = Start();
        Catalogue& cat = program->DM().Cat();
        cat.AddFolder(cat.NotesNode(), "Work");
        program->Show();
        program->MainForm().close();
    }
    const std::string saved = ReadFileBytes(Folder() + "Tellamo.dat");
    ASSERT_TRUE(QFile::rename(QString::fromStdString(Folder() + "Tellamo.dat"),
                              QString::fromStdString(Folder() + "Tellamo.old")));
    auto program = Start();
    ASSERT_EQ(mMessages.size(), 1);
    EXPECT_TRUE(mMessages[0].contains("Tellamo.dat\" is missing.")) << mMessages[0].toStdString();
    EXPECT_TRUE(mMessages[0].contains("The previous catalogue, saved on"))
        << mMessages[0].toStdString();
    Catalogue& cat = program->DM().Cat();
    EXPECT_EQ(cat.Folders().Count(), 3) << "Notes, Work and the Recycle Bin";
    program->Show();
    program->MainForm().close();
    EXPECT_EQ(ReadFileBytes(Folder() + "Tellamo.dat"), saved);
    EXPECT_EQ(ReadFileBytes(Folder() + "Tellamo.old"), saved);
    EXPECT_TRUE(Entries().filter("Tellamo-damaged-").isEmpty());
}

// Recordings with no catalogue at all (deleted by hand, or a folder copied without it): once the
// window is up, the start offers to restore them, counting only what the restore would take (a
// link named like a note is no recording); declined or done, it is not asked again.
TEST_F(Program, RecordingsWithoutAnyCatalogueAreOfferedForRestoreOnce) {
    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "restored" : "declined");
        std::filesystem::remove_all(Folder());
        QDir().mkpath(QString::fromStdString(Folder()));
        const auto header = MakeWaveHeader(1, 8000, 8);
        for (const char* name : {"000001.wav", "000002.wav", "000003.wav"}) {
            std::string wav(reinterpret_cast<const char*>(header.data()), header.size());
            wav += std::string(800, '\x80');
            PutU32(reinterpret_cast<unsigned char*>(wav.data() + 40), 800);
            WriteFileBytes(Folder() + name, wav);
        }
        std::filesystem::create_symlink(Folder() + "000001.wav", Folder() + "000004.wav");
        mMessages.clear();
        SetMessageHandler([&](MessageKind kind, const QString& text, const QString& caption) {
            mMessages << caption + ": " + text;
            return kind != MessageKind::Confirmation || yes;
        });
        {
            auto program = Start();
            EXPECT_TRUE(mMessages.isEmpty()) << "nothing is asked before the window is shown";
            program->Show();
            ASSERT_FALSE(mMessages.isEmpty());
            EXPECT_TRUE(mMessages[0].contains("holds 3 recordings")) << mMessages[0].toStdString();
            EXPECT_EQ(program->DM().Cat().Notes().All().size(), yes ? 3u : 0u);
            program->MainForm().close();
        }
        mMessages.clear();
        auto again = Start();
        again->Show();
        EXPECT_TRUE(mMessages.filter("No catalogue").isEmpty())
            << mMessages.join('\n').toStdString();
        again->MainForm().close();
    }
}

TEST_F(Program, NotesThatShareAFileNameAreKeptAndShownOnceAtStartUp) {
    // Three records, two of them named 042977; all in Notes.
    std::string notes = std::string("\x01\x03\x00\x00\x00", 5);
    for (const char* name : {"042977", "042977", "100000"}) {
        notes += std::string(16, '\0') + "note" + std::string(1, '\0') + name +
                 std::string(1, '\0') +
                 std::string("\x00\x00\x00\x00\x11\x2B\x08\x00\x01\x00\x00\x00", 12);
    }
    QDir().mkpath(QString::fromStdString(Folder()));
    WriteFileBytes(Folder() + "Tellamo.dat",
                   notes + std::string("\x0E\x00\x00\x00\x00\x00\x00\x00", 8) +
                       "Notes000000\r\nRecycle Bin000013\r\n");
    auto program = Start();
    ASSERT_EQ(mMessages.size(), 1) << mMessages.join('\n').toStdString();
    EXPECT_EQ(mMessages[0].toStdString(),
              "Error: Some notes of the catalogue share their sound file with another note: "
              "042977. They are "
              "all kept, and deleting one of them keeps the file while another still uses it.");
    EXPECT_EQ(program->DM().Cat().Notes().All().size(), 3u);
}

TEST_F(Program, AReadMeThatCannotBeWrittenIsShownAndStartUpGoesOn) {
    // A dangling link in its place: even root cannot write the read-me through it.
    QDir().mkpath(QString::fromStdString(Folder()));
    QFile::link(QString::fromStdString(mDocuments.Path() + "/missing/ReadMe.txt"),
                QString::fromStdString(Folder() + "ReadMe.txt"));
    auto program = Start();
    ASSERT_EQ(mMessages.size(), 1);
    EXPECT_TRUE(mMessages[0].contains("ReadMe.txt")) << mMessages[0].toStdString();
    EXPECT_EQ(program->DM().Cat().Folders().Count(), 2);
}

TEST_F(Program, AStorageFolderThatCannotBeMadeEndsTheProgram) {
    WriteFileBytes(mDocuments.Path() + "/blocker", "file");
    TellamoProgram program(QString::fromStdString(mDocuments.Path() + "/blocker"), RealFileSystem(),
                           mPort, mPoster, mDocuments.File("PLAY.TMP"));
    EXPECT_FALSE(program.Start());
    EXPECT_EQ(mMessages, QStringList{"Error: Can't create folder for storing Voice Notes"});
}

// The media controls are offered on the bus the program is given; without one, or with the name
// held by another copy, the program starts as ever with none, and says nothing of it.
TEST_F(Program, TheMediaControlsAreOfferedOnlyWhereTheNameIsFree) {
    EXPECT_EQ(Start()->Mpris(), nullptr) << "no bus";

    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address=1")});
    ASSERT_TRUE(daemon.waitForStarted(10000));
    while (!daemon.canReadLine() && daemon.waitForReadyRead(10000)) {
    }
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    ASSERT_FALSE(address.isEmpty());
    const QString name = QStringLiteral("org.mpris.MediaPlayer2.tellamo");
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("first"));
        QDBusConnection watcher = QDBusConnection::connectToBus(address, QStringLiteral("watcher"));
        auto first = std::make_unique<TellamoProgram>(QString::fromStdString(mDocuments.Path()),
                                                      RealFileSystem(), mPort, mPoster,
                                                      mDocuments.File("PLAY.TMP"));
        first->SetMediaBus(bus);
        ASSERT_TRUE(first->Start());
        ASSERT_NE(first->Mpris(), nullptr);
        EXPECT_TRUE(first->Mpris()->Started());
        EXPECT_TRUE(watcher.interface()->isServiceRegistered(name).value());

        TempDir otherDocuments;
        FakeWavePort otherPort;
        EventFdPoster otherPoster;
        QDBusConnection otherBus = QDBusConnection::connectToBus(address, QStringLiteral("second"));
        TellamoProgram second(QString::fromStdString(otherDocuments.Path()), RealFileSystem(),
                              otherPort, otherPoster, otherDocuments.File("PLAY.TMP"));
        second.SetMediaBus(otherBus);
        EXPECT_TRUE(second.Start());
        EXPECT_EQ(second.Mpris(), nullptr) << "the name is the first copy's";

        first.reset();
        EXPECT_FALSE(watcher.interface()->isServiceRegistered(name).value())
            << "the name is given back with the program";
    }
    for (const char* connection : {"first", "watcher", "second"}) {
        QDBusConnection::disconnectFromBus(QString::fromLatin1(connection));
    }
    daemon.terminate();
    daemon.waitForFinished(10000);
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
}

TEST_F(Program, TheWindowHasItsActionsAndLayout) {
    auto program = Start();
    TTellamoMainForm& form = program->MainForm();
    program->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    RunUntilIdle();
    EXPECT_TRUE(program->FirstIdleDone());
    const QList<QAction*> actions = form.Actions().All();
    EXPECT_EQ(actions.size(), 61); // with Move to Folder and Filter Text
    QStringList checked;
    for (QAction* action : actions) {
        EXPECT_EQ(form.findChild<QAction*>(action->objectName()), action);
        if (action->isChecked()) {
            checked << action->objectName();
        }
    }
    EXPECT_EQ(checked,
              (QStringList{"DictaphoneToolBarAction", "DescriptionColumnAction",
                           "StartColumnAction", "DurationColumnAction", "GraphPanelAction",
                           "TranscriptPaneAction", "BiDirectionalAction", "AskDescriptionAction",
                           "AskFormatAction", "RecycleRecordAction"}));
    EXPECT_EQ(form.Actions().SilenceAction->toolTip(),
              "Voice Operated System\nStop record when silence");
    EXPECT_EQ(form.Actions().RecordAction->property("category").toString(), "Note");
    // First run: the Dictaphone toolbar and the graph panel, no Folder or Note menu, three columns.
    EXPECT_TRUE(NamedChild<QToolBar>(form, "DictaphoneToolBar").isVisible());
    EXPECT_FALSE(NamedChild<QToolBar>(form, "FilterToolBar").isVisible());
    EXPECT_TRUE(NamedChild<QFrame>(form, "GraphPanel").isVisible());
    EXPECT_FALSE(NamedChild<QMenu>(form, "FolderMenu").menuAction()->isVisible());
    EXPECT_FALSE(NamedChild<QMenu>(form, "NoteMenu").menuAction()->isVisible());
    EXPECT_FALSE(NamedChild<QToolBar>(form, "DictaphoneToolBar").isFloatable());
    EXPECT_TRUE(NamedChild<QToolBar>(form, "DictaphoneToolBar").isMovable());
    // Idle with no note: Record and the folder commands, not Play, Pause, Stop or the position.
    EXPECT_TRUE(form.Actions().RecordAction->isEnabled());
    EXPECT_FALSE(form.Actions().PlayAction->isEnabled());
    EXPECT_FALSE(form.Actions().StopAction->isEnabled());
    EXPECT_FALSE(form.Actions().PlayPauseAction->isEnabled());
    EXPECT_FALSE(form.Actions().SkipBackAction->isEnabled());
    EXPECT_FALSE(NamedChild<QSlider>(form, "PositionRxSlider").isEnabled());
    EXPECT_TRUE(form.Actions().AddFolderAction->isEnabled());
    EXPECT_FALSE(form.Actions().DeleteFolderAction->isEnabled()) << "Notes is a root";
    EXPECT_FALSE(form.Actions().SaveAsFileAction->isEnabled());
    // Toggling a view action takes effect at the next idle moment.
    form.Actions().MenuFolderAction->trigger();
    form.Actions().FilterToolBarAction->trigger();
    RunUntilIdle();
    EXPECT_TRUE(NamedChild<QMenu>(form, "FolderMenu").menuAction()->isVisible());
    EXPECT_TRUE(NamedChild<QToolBar>(form, "FilterToolBar").isVisible());
    EXPECT_EQ(NamedChild<QLabel>(form, "TimeLabel").text(), "0:00:00|0:00:00");
    EXPECT_EQ(NamedChild<QSlider>(form, "VolumeRxSlider").maximum(), 100);
    EXPECT_EQ(NamedChild<QSlider>(form, "SilenceRxSlider").maximum(), 30);
}

TEST_F(Program, AffiliatedNotesStoredAsOnAreShownFromTheStart) {
    {
        // Notes > Work (selected, one note) > Sub (two notes).
        QDir().mkpath(QString::fromStdString(Folder()));
        Catalogue cat(
            Storage(QString::fromStdString(mDocuments.Path()), "My Voice Notes", "ReadMe.txt"),
            "Notes", "Recycle Bin", RealFileSystem());
        cat.NewCatalogue();
        FolderNode* work = cat.AddFolder(cat.NotesNode(), "Work");
        FolderNode* sub = cat.AddFolder(work, "Sub");
        // Complete notes whose files are elsewhere: a note saved without its duration and
        // without its file would be named at the start as one whose recording never came.
        for (const auto& [folder, name] :
             {std::pair{work, "100001"}, std::pair{sub, "100002"}, std::pair{sub, "100003"}}) {
            cat.CompleteNote(cat.AddFoundNote(folder, name, 0, 8000, 8), 1, 1000);
        }
        cat.SelectFolder(work);
        ASSERT_EQ(cat.SaveCatalogue(), QString());
        WriteFileBytes(Folder() + "tellamo.INI",
                       "[TTellamoMainForm]\r\nAffiliateAction_Checked=True\r\n");
    }
    auto program = Start();
    TTellamoMainForm& form = program->MainForm();
    program->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    RunUntilIdle();
    ASSERT_TRUE(program->FirstIdleDone());
    EXPECT_TRUE(form.Actions().AffiliateAction->isChecked());
    EXPECT_EQ(program->DM().Cat().SelectedFolder()->Name, "Work");
    EXPECT_EQ(NamedChild<QTableView>(form, "RxDBGrid").model()->rowCount(), 3)
        << "the folder's own note and its sub-folder's two";
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join('\n').toStdString();
}

TEST_F(Program, ExitSavesAndASecondCopysRequestRestoresTheWindow) {
    auto program = Start();
    TTellamoMainForm& form = program->MainForm();
    program->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    Catalogue& cat = program->DM().Cat();
    cat.AddFolder(cat.NotesNode(), "Kept at exit");
    form.showMinimized();
    QTRY_VERIFY(form.isMinimized());
    program->BringToFront();
    QTRY_VERIFY(!form.isMinimized());
    form.Actions().ExitAction->trigger();
    EXPECT_FALSE(form.isVisible());
    EXPECT_NE(ReadFileBytes(Folder() + "Tellamo.dat").find("Kept at exit000014"),
              std::string::npos);
}

// Nothing the start-up does through the file system grows with the number of notes: with
// 100,000 complete notes whose sound files are all gone it makes as many calls as with ten.
TEST_F(Program, StartUpTouchesNoFilePerNote) {
    const auto callsToStart = [&](int notes) {
        TempDir documents;
        {
            Catalogue cat(
                Storage(QString::fromStdString(documents.Path()), "My Voice Notes", "ReadMe.txt"),
                "Notes", "Recycle Bin", RealFileSystem());
            cat.Files().EnsureStorageFolder([](const QString&, const QString&) {});
            cat.NewCatalogue();
            for (int i = 0; i < notes; ++i) {
                cat.AddFoundNote(cat.NotesNode(), std::to_string(100'000 + i),
                                 3'288'522'600'000LL + i * 60'000LL, 11025, 16);
                cat.CompleteNote(100, 1000 + i);
            }
            EXPECT_EQ(cat.SaveCatalogue(), QString());
        }
        CountingFileSystem disk;
        TellamoProgram program(QString::fromStdString(documents.Path()), disk, mPort, mPoster,
                               documents.File("PLAY.TMP"));
        EXPECT_TRUE(program.Start());
        EXPECT_EQ(program.DM().Cat().Notes().All().size(), static_cast<std::size_t>(notes));
        program.Show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&program.MainForm()));
        RunUntilIdle();
        const int calls = disk.Calls;
        program.MainForm().hide();
        return calls;
    };
    EXPECT_EQ(callsToStart(100'000), callsToStart(10));
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
}

// The options' hotkey fields know the window's keys, its menus' and its player's alike.
TEST_F(Program, AHotkeyFieldWarnsOfTheWindowsOwnKeys) {
    auto program = Start();
    TOptionsForm& options = program->Options();
    options.RecordHotKey->setEnabled(true);
    for (const auto& [key, modifiers] : {std::pair{Qt::Key_R, Qt::ControlModifier},
                                         std::pair{Qt::Key_Right, Qt::ControlModifier}}) {
        options.RecordHotKey->SetHotKey(0);
        QTest::keyClick(options.RecordHotKey, key, modifiers);
        ASSERT_NE(options.RecordHotKey->HotKey(), 0u);
        EXPECT_TRUE(options.HotKeyClashLabel->isVisibleTo(&options))
            << ShortCutToText(options.RecordHotKey->HotKey()).toStdString();
    }
    QTest::keyClick(options.RecordHotKey, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(options.HotKeyClashLabel->isVisibleTo(&options));
}

} // namespace
} // namespace tellamo::test
