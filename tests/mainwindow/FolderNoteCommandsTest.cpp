#include <algorithm>

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "MainWindowFixture.h"
#include "audio/WavFormat.h"
#include "audio/WindowPoster.h"
#include "catalogue/Catalogue.h"
#include "common/ByteIO.h"
#include "common/FileSystem.h"
#include "dialogs/TDescriptionForm.h"
#include "mainwindow/FolderTreeView.h"
#include "mainwindow/Messages.h"
#include "mainwindow/NoteListModel.h"
#include "mainwindow/TellamoMainForm.h"
#include "support/FakeWavePort.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

class Commands : public MainWindowFixture {
protected:
    NoteRecord* Note(FolderNode* folder, const std::string& name, const char* description) {
        WriteFileBytes(Folder() + name + ".wav", "RIFF");
        NoteRecord* note = mCat.AddFoundNote(folder, name, 0, 8000, 8);
        mCat.CompleteNote(1, 1000);
        note->Description = description;
        return note;
    }
};

TEST_F(Commands, BothModelsPassQtsModelTester) {
    QAbstractItemModelTester folders(&mCat.Folders(),
                                     QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester notes(mForm.CataloguePart().NoteList(),
                                   QAbstractItemModelTester::FailureReportingMode::Fatal);
    FolderNode* work = mCat.AddFolder(mCat.NotesNode(), "Work");
    Note(work, "000001", "a");
    Note(mCat.NotesNode(), "000002", "b");
    mCat.MoveFolderToRecycleBin(work);
    mCat.SelectFolder(work);
    mCat.DeleteFolderForGood(work);
    mCat.SelectFolder(mCat.NotesNode());
    mForm.CataloguePart().TitleClick(NoteListModel::DescriptionColumn);
    SUCCEED();
}

TEST_F(Commands, AddingAFolderUnderNotesSavesItAndTheTypedName) {
    mForm.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&mForm));
    mForm.Actions().AddFolderAction->trigger();
    FolderNode* added = mCat.SelectedFolder();
    ASSERT_EQ(added->Parent, mCat.NotesNode());
    EXPECT_EQ(added->Name, "Folder");
    EXPECT_NE(Saved().find("\tFolder000014\r\n"), std::string::npos);
    auto* editor = NamedChild<QTreeView>(mForm, "TreeView").findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr) << "the new folder's name is edited in place";
    editor->setText("Projects");
    editor->setFocus();
    QApplication::processEvents();
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(added->Name, "Projects");
    EXPECT_NE(Saved().find("\tProjects000014\r\n"), std::string::npos);

    // Adding is not offered inside the Recycle Bin.
    mCat.SelectFolder(mCat.RecycleBinNode());
    mForm.ActionListUpdate();
    EXPECT_FALSE(mForm.Actions().AddFolderAction->isEnabled());
}

TEST_F(Commands, ANameBeginningWithABlankIsRefused) {
    FolderNode* work = mCat.AddFolder(mCat.NotesNode(), "Work");
    EXPECT_FALSE(mCat.Folders().setData(mCat.Folders().IndexOf(work), " Work"));
    EXPECT_EQ(mMessages, QStringList{"A folder name cannot begin with a space or a tab."});
    EXPECT_EQ(work->Name, "Work");
    EXPECT_FALSE(mCat.Folders().setData(mCat.Folders().IndexOf(mCat.NotesNode()), "Mine"))
        << "roots keep their names";
}

TEST_F(Commands, DeletingAFolderMovesItToTheBinThenAsks) {
    FolderNode* folder = mCat.AddFolder(mCat.NotesNode(), "Folder");
    FolderNode* sub = mCat.AddFolder(folder, "Sub");
    Note(sub, "000001", "in the sub-folder");
    mCat.SelectFolder(folder);
    mForm.CataloguePart().DeleteFolderActionExecute();
    EXPECT_TRUE(mMessages.isEmpty());
    EXPECT_EQ(folder->Parent, mCat.RecycleBinNode());
    EXPECT_EQ(Reloaded()->RecycleBinNode()->Children.front()->Name, "Folder");

    mForm.CataloguePart().DeleteFolderActionExecute();
    EXPECT_EQ(mMessages, QStringList{"Delete Folder with all contents?"});
    EXPECT_TRUE(mCat.RecycleBinNode()->Children.empty());
    EXPECT_TRUE(mCat.Notes().All().empty());
    EXPECT_FALSE(FileExists(Folder() + "000001.wav"));
    EXPECT_EQ(mCat.SelectedFolder(), mCat.RecycleBinNode());
    EXPECT_EQ(Reloaded()->Folders().Count(), 2);
}

TEST_F(Commands, ClearingTheBinAsksAndSavesEvenWhenEmpty) {
    mAnswer = false;
    mForm.CataloguePart().ClearTrashActionExecute();
    EXPECT_FALSE(FileExists(Folder() + "Tellamo.dat")) << "No changes nothing";
    mAnswer = true;
    mForm.CataloguePart().ClearTrashActionExecute();
    EXPECT_EQ(mMessages, (QStringList{"Clear Recycle Bin?", "Clear Recycle Bin?"}));
    EXPECT_EQ(Saved().size(), 45u);
}

TEST_F(Commands, DeletingNotesMovesThemToTheBinThenDeletesThemForGood) {
    NoteRecord* memo = Note(mCat.NotesNode(), "000001", "Memo");
    mCat.Notes().SetCurrent(memo);
    mForm.CataloguePart()
        .DeleteNoteActionExecute(); // nothing selected: the current note goes, unasked
    EXPECT_TRUE(mMessages.isEmpty());
    EXPECT_EQ(memo->ParentPointer, mCat.RecycleBinNode());
    EXPECT_EQ(Reloaded()->Notes().All()[0]->FolderID, Catalogue::RecycleBinFolderId);

    mCat.SelectFolder(mCat.RecycleBinNode());
    mCat.Notes().SetCurrent(memo);
    mAnswer = false;
    mForm.CataloguePart().DeleteNoteActionExecute();
    EXPECT_EQ(mMessages, QStringList{"Delete Memo?"});
    EXPECT_EQ(mCat.Notes().All().size(), 1u);
    mAnswer = true;
    mForm.CataloguePart().DeleteNoteActionExecute();
    EXPECT_TRUE(mCat.Notes().All().empty());
    EXPECT_FALSE(FileExists(Folder() + "000001.wav"));

    for (const char* name : {"000002", "000003", "000004"}) {
        Note(mCat.RecycleBinNode(), name, "x");
    }
    mMessages.clear();
    for (const auto& note : mCat.Notes().All()) {
        mCat.Notes().SetSelected(note.get(), true);
    }
    mForm.CataloguePart().DeleteNoteActionExecute();
    EXPECT_EQ(mMessages, QStringList{"Delete 3 notes?"});
    EXPECT_TRUE(Reloaded()->Notes().All().empty());
}

TEST_F(Commands, RenamingANoteEditsItsDescription) {
    NoteRecord* note = Note(mCat.NotesNode(), "000001", "Old");
    mCat.Notes().SetCurrent(note);
    QTimer::singleShot(0, &mDescription, [this] {
        EXPECT_EQ(mDescription.DescriptionEdit->text(), "Old");
        mDescription.DescriptionEdit->setText("New text");
        mDescription.accept();
    });
    mForm.Actions().RenameNoteAction->trigger();
    EXPECT_EQ(note->Description, "New text");
    EXPECT_EQ(Reloaded()->Notes().All()[0]->Description, "New text");
}

TEST_F(Commands, TitleClicksSortAndTheFillerStaysLast) {
    for (int click : {NoteListModel::StartColumn, NoteListModel::DurationColumn,
                      NoteListModel::StartColumn, NoteListModel::FillerColumn}) {
        mForm.CataloguePart().TitleClick(click);
    }
    EXPECT_EQ(mForm.CataloguePart().SortFields(), "Start;Duration;Start;");
    QHeaderView* header = NamedChild<QTableView>(mForm, "RxDBGrid").horizontalHeader();
    header->moveSection(NoteListModel::FillerColumn, 0);
    EXPECT_EQ(header->logicalIndex(NoteListModel::FillerColumn), NoteListModel::FillerColumn);
    header->moveSection(1, NoteListModel::FillerColumn);
    EXPECT_EQ(header->logicalIndex(NoteListModel::FillerColumn), NoteListModel::FillerColumn);
    header->moveSection(2, 0);
    EXPECT_EQ(header->logicalIndex(0), NoteListModel::DurationColumn) << "other moves stay";
}

TEST_F(Commands, DroppingAFolderOnItsOwnDescendantChangesNothingButSaves) {
    FolderNode* a = mCat.AddFolder(mCat.NotesNode(), "A");
    FolderNode* b = mCat.AddFolder(a, "B");
    FolderNode* c = mCat.AddFolder(mCat.NotesNode(), "C");
    EXPECT_FALSE(mForm.CataloguePart().TreeViewDragOver(DragSource::Folder, a, a));
    EXPECT_FALSE(mForm.CataloguePart().TreeViewDragOver(DragSource::Folder, mCat.NotesNode(), c))
        << "roots are never dragged";
    EXPECT_TRUE(mForm.CataloguePart().TreeViewDragOver(DragSource::Folder, a, c));
    mForm.CataloguePart().TreeViewDragDrop(DragSource::Folder, a, b, true);
    EXPECT_EQ(a->Parent, mCat.NotesNode());
    EXPECT_NE(Saved().find("\tA000014\r\n\t\tB000015\r\n"), std::string::npos)
        << "saved all the same";
    mForm.CataloguePart().TreeViewDragDrop(DragSource::Folder, c, a, false);
    EXPECT_EQ(c->Parent, mCat.NotesNode()) << "to the right of the label nothing moves";
    mForm.CataloguePart().TreeViewDragDrop(DragSource::Folder, c, a, true);
    EXPECT_EQ(a->Children.front().get(), c) << "the first child of the target";
    EXPECT_EQ(Reloaded()->Folders().Roots()[0]->Children[0]->Children[0]->Name, "C");
}

TEST_F(Commands, ThreeSelectedRowsDroppedOnAFolderAllMove) {
    FolderNode* target = mCat.AddFolder(mCat.NotesNode(), "Target");
    mCat.SelectFolder(mCat.NotesNode());
    std::vector<NoteRecord*> notes;
    for (const char* name : {"000001", "000002", "000003", "000004"}) {
        notes.push_back(Note(mCat.NotesNode(), name, "x"));
    }
    mForm.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&mForm));
    // Ctrl-clicks on three rows, as the user selects them.
    for (int row : {0, 1, 3}) {
        const QRect cell = NamedChild<QTableView>(mForm, "RxDBGrid")
                               .visualRect(mForm.CataloguePart().NoteList()->index(row, 0));
        QTest::mouseClick(NamedChild<QTableView>(mForm, "RxDBGrid").viewport(), Qt::LeftButton,
                          Qt::ControlModifier, cell.center());
    }
    ASSERT_EQ(mCat.Notes().Selection().size(), 3u);
    // The drop on the folder's label, as the tree's view hands it on (the toolkit delivers drop
    // events only during a real drag).
    NamedChild<QTreeView>(mForm, "TreeView").expandAll();
    const QRect label =
        NamedChild<QTreeView>(mForm, "TreeView").visualRect(mCat.Folders().IndexOf(target));
    bool onLabel = false;
    EXPECT_EQ(NamedChild<FolderTreeView>(mForm, "TreeView").FolderAt(label.center(), &onLabel),
              target);
    EXPECT_TRUE(onLabel);
    NamedChild<FolderTreeView>(mForm, "TreeView")
        .FolderAt(QPoint(label.right() + 5, label.center().y()), &onLabel);
    EXPECT_FALSE(onLabel) << "right of the label";
    ASSERT_TRUE(
        NamedChild<FolderTreeView>(mForm, "TreeView").DragOver(DragSource::Notes, nullptr, target));
    NamedChild<FolderTreeView>(mForm, "TreeView")
        .DragDrop(DragSource::Notes, nullptr, target, true);
    EXPECT_EQ(notes[0]->ParentPointer, target);
    EXPECT_EQ(notes[1]->ParentPointer, target);
    EXPECT_EQ(notes[2]->ParentPointer, mCat.NotesNode());
    EXPECT_EQ(notes[3]->ParentPointer, target);
    EXPECT_TRUE(mCat.Notes().Selection().empty());
    int moved = 0;
    const auto reloaded = Reloaded();
    for (const auto& note : reloaded->Notes().All()) {
        moved += note->FolderID == target->Id;
    }
    EXPECT_EQ(moved, 3);

    // With no row selected, the current row moves.
    mCat.Notes().SetCurrent(notes[2]);
    mForm.CataloguePart().TreeViewDragDrop(DragSource::Notes, nullptr, mCat.RecycleBinNode(), true);
    EXPECT_EQ(notes[2]->ParentPointer, mCat.RecycleBinNode());
}

TEST_F(Commands, KeysOfTheNoteList) {
    NoteRecord* note = Note(mCat.NotesNode(), "000001", "Keyed");
    mCat.Notes().SetCurrent(note);
    mForm.ActionListUpdate();
    // F2 opens the description for editing; what is typed there becomes the note's description.
    // The answer is given once the dialog runs; a dialog that never opened leaves it unused, and
    // it goes with this block instead of answering some later dialog.
    {
        QTimer answer;
        answer.setSingleShot(true);
        QObject::connect(&answer, &QTimer::timeout, &mDescription, [this] {
            EXPECT_TRUE(mDescription.isVisible());
            EXPECT_EQ(mDescription.windowTitle(), "Edit Description");
            EXPECT_EQ(mDescription.DescriptionEdit->text(), "Keyed");
            mDescription.DescriptionEdit->setText("Renamed");
            mDescription.accept();
        });
        answer.start(0);
        QTest::keyClick(&NamedChild<QTableView>(mForm, "RxDBGrid"), Qt::Key_F2);
        EXPECT_FALSE(answer.isActive()) << "F2 opened no dialog";
    }
    EXPECT_EQ(note->Description, "Renamed") << "F2 did not open the note's description";
    QTest::keyClick(&NamedChild<QTableView>(mForm, "RxDBGrid"), Qt::Key_Delete);
    EXPECT_EQ(note->ParentPointer, mCat.RecycleBinNode())
        << "Delete moves the note to the Recycle Bin";
    // A double click right after a click on a title never starts playback.
    mCat.SelectFolder(mCat.RecycleBinNode());
    mCat.Notes().SetCurrent(note);
    mForm.ActionListUpdate();
    ASSERT_TRUE(mForm.Actions().PlayAction->isEnabled());
    mForm.CataloguePart().TitleClick(NoteListModel::DescriptionColumn);
    emit NamedChild<QTableView>(mForm, "RxDBGrid")
        .doubleClicked(mForm.CataloguePart().NoteList()->index(0, 0));
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle);
    EXPECT_TRUE(mMessages.isEmpty()) << "no attempt to play (this note's sound is not a WAV)";
    QTest::keyClick(&NamedChild<QTableView>(mForm, "RxDBGrid"),
                    Qt::Key_Return); // Enter plays: here it tries and says why not
    EXPECT_EQ(mMessages.size(), 1);
}

TEST_F(Commands, ParentFolderGoesToTheNotesOwnFolder) {
    FolderNode* work = mCat.AddFolder(mCat.NotesNode(), "Work");
    FolderNode* deep = mCat.AddFolder(work, "Deep");
    NoteRecord* note = Note(deep, "000001", "x");
    mCat.SelectFolder(work);
    mForm.Actions().AffiliateAction->trigger();
    ASSERT_EQ(mCat.Notes().Current(), note);
    mForm.CataloguePart().ParentFolderActionExecute();
    EXPECT_EQ(mCat.SelectedFolder(), deep);
}

TEST_F(Commands, RestoreNotesBringsFilesBackAndSaysWhatItPassedOver) {
    // Ten seconds of 16-bit stereo sound in two notes with a file cut to 20 bytes between them,
    // a WAV whose name no note can have, and the e-mail copy the program made of a note.
    auto header = MakeWaveHeader(2, 11025, 16);
    PutU32(&header[4], 441'000 + 36);
    PutU32(&header[40], 441'000);
    const std::string tenSeconds =
        std::string(reinterpret_cast<const char*>(header.data()), header.size()) +
        std::string(441'000, '\0');
    WriteFileBytes(Folder() + "100000.wav", tenSeconds);
    WriteFileBytes(Folder() + "100001.wav", tenSeconds.substr(0, 20));
    WriteFileBytes(Folder() + "100002.wav", tenSeconds);
    WriteFileBytes(Folder() + "100000p.wav", tenSeconds);
    WriteFileBytes(Folder() + "abc.wav", "RIFF");
    mForm.Actions().RestoreNotesAction->trigger();

    // One closing message, information rather than an error: the rest came back.
    ASSERT_EQ(mMessages.size(), 1);
    EXPECT_EQ(mMessageKinds[0], MessageKind::Notice);
    EXPECT_TRUE(mMessages[0].startsWith("1 WAV files were not restored as notes"))
        << mMessages[0].toStdString();
    EXPECT_NE(mMessages[0].indexOf("1 WAV files were not restored, because they cannot be read:\n"),
              -1)
        << mMessages[0].toStdString();
    EXPECT_NE(mMessages[0].indexOf("100001.wav"), -1) << mMessages[0].toStdString();
    EXPECT_EQ(mMessages[0].indexOf("100000p.wav"), -1) << mMessages[0].toStdString();
    FolderNode* found = mCat.SelectedFolder();
    ASSERT_EQ(found->Name, "Found");
    EXPECT_EQ(found->Parent, mCat.NotesNode());
    EXPECT_EQ(FolderTree::NodeAt(NamedChild<QTreeView>(mForm, "TreeView").currentIndex()), found);
    ASSERT_EQ(mForm.CataloguePart().NoteList()->rowCount(), 2);
    EXPECT_EQ(
        mForm.CataloguePart().NoteList()->index(0, NoteListModel::DurationColumn).data().toString(),
        "0:00:10");
    auto saved = Reloaded();
    ASSERT_EQ(saved->Notes().All().size(), 2u);
    EXPECT_EQ(saved->Notes().All()[0]->FileName, "100000");
    EXPECT_EQ(saved->Notes().All()[1]->FileName, "100002");
    EXPECT_EQ(saved->Notes().All()[0]->BitRate, 16);
    EXPECT_EQ(saved->Notes().All()[0]->ParentPointer->Name, "Found");

    // With nothing but the program's own copy left over, nothing is said.
    QFile::remove(QString::fromStdString(Folder() + "100001.wav"));
    QFile::remove(QString::fromStdString(Folder() + "abc.wav"));
    mMessages.clear();
    mForm.Actions().RestoreNotesAction->trigger();
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
}

// The user picks an older backup from the list (with its note count), confirms, and gets that
// catalogue back in the tree and the list; the one replaced stays among the backups.
TEST_F(Commands, ACatalogueBackupChosenFromTheListReplacesTheCatalogue) {
    mForm.Actions().RestoreBackupAction->trigger();
    ASSERT_EQ(mMessages.size(), 1);
    EXPECT_EQ(mMessages[0], "There is no backup of the catalogue yet.");
    mMessages.clear();

    Note(mCat.NotesNode(), "000001", "Kept");
    mForm.SaveCatalogue();
    const std::string backups = Folder() + "Backups/";
    const std::string today =
        "Tellamo-" + QDate::currentDate().toString("yyyy-MM-dd").toStdString() + ".dat";
    WriteFileBytes(backups + "Tellamo-2026-01-31.dat", ReadFileBytes(backups + today));
    mCat.AddFolder(mCat.NotesNode(), "Added later");
    Note(mCat.SelectedFolder(), "000002", "Later");
    mForm.SaveCatalogue();

    QStringList offered;
    auto* answer = new QTimer(&mForm);
    QObject::connect(answer, &QTimer::timeout, answer, [&offered, answer] {
        if (auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
            answer->stop();
            offered = dialog->comboBoxItems();
            dialog->setTextValue(offered.value(1));
            dialog->accept();
        }
    });
    answer->start(10);
    mForm.Actions().RestoreBackupAction->trigger();
    delete answer;

    ASSERT_EQ(offered.size(), 2) << offered.join("\n").toStdString();
    EXPECT_TRUE(offered[0].contains("2 notes")) << offered[0].toStdString();
    EXPECT_TRUE(offered[1].endsWith("1 note")) << offered[1].toStdString();
    ASSERT_EQ(mMessages.size(), 2) << mMessages.join("\n").toStdString();
    EXPECT_TRUE(mMessages[0].startsWith("Replace the catalogue with the backup of"));
    EXPECT_TRUE(mMessages[1].startsWith("The catalogue was restored."))
        << mMessages[1].toStdString();
    EXPECT_EQ(mCat.Folders().Count(), 2);
    EXPECT_EQ(mForm.CataloguePart().NoteList()->rowCount(), 1);
    EXPECT_EQ(Reloaded()->Notes().All().size(), 1u);
    const auto names = FilesIn(backups);
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                            [](const std::string& name) {
                                return name.starts_with("Tellamo-before-restore-");
                            }),
              1);
}

} // namespace
} // namespace tellamo::test
