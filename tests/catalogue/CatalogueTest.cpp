#include <algorithm>
#include <cstdio>

#include "CatalogueFixture.h"
#include "common/Errors.h"
#include "support/LinkTrap.h"

namespace tellamo::test {
namespace {

class CatalogueOps : public CatalogueFixture {
protected:
    void SetUp() override { mCat->NewCatalogue(); }

    // Creates the note's WAV and graph files, as a recording and its graph leave them.
    NoteRecord* NoteWithFiles(FolderNode* folder, const std::string& name,
                              const QString& description) {
        WriteFileBytes(StoragePath(name + ".wav"), "RIFF");
        WriteFileBytes(StoragePath(name + ".bmp"), "BM");
        return AddNote(folder, name, description);
    }
    bool HasFiles(const std::string& name) const {
        return FileExists(StoragePath(name + ".wav")) || FileExists(StoragePath(name + ".bmp"));
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& note : mCat->Notes().All()) {
            names.push_back(note->FileName);
        }
        return names;
    }
    void SelectOnly(std::initializer_list<NoteRecord*> notes) {
        mCat->Notes().ClearSelection();
        for (NoteRecord* note : notes) {
            mCat->Notes().SetSelected(note, true);
        }
    }
};

TEST_F(CatalogueOps, FolderIdsAreNeverReused) {
    FolderNode* a = mCat->AddFolder(mCat->NotesNode(), "A");
    EXPECT_EQ(a->Id, 14);
    EXPECT_EQ(mCat->SelectedFolder(), a);
    FolderNode* b = mCat->AddFolder(a, "B");
    EXPECT_EQ(b->Id, 15);
    EXPECT_EQ(b->Parent, a);
    mCat->MoveFolderToRecycleBin(a);
    mCat->DeleteFolderForGood(a);
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    Reopen();
    mCat->LoadCatalogue();
    EXPECT_EQ(mCat->AddFolder(mCat->NotesNode(), "C")->Id, 16);
    EXPECT_EQ(mCat->FolderIdOf(nullptr), -1);
}

TEST_F(CatalogueOps, SavingReplacesLinksPlantedAtTheIndexFileNames) {
    // The folder may be shared or restored from an archive: links at the index file's
    // temporary, previous and current names must not lead a save to write outside it.
    for (const LinkTrap::Kind kind : LinkTrap::Kinds) {
        LinkTrap trap;
        for (const char* name : {"Tellamo.new", "Tellamo.old", "Tellamo.dat"}) {
            trap.Plant(StoragePath(name), kind);
        }
        mCat->AddFolder(mCat->NotesNode(), "Kept");
        ASSERT_EQ(mCat->SaveCatalogue(), QString());
        ASSERT_EQ(mCat->SaveCatalogue(), QString());
        EXPECT_TRUE(trap.Untouched()) << static_cast<int>(kind);
        const int folders = mCat->Folders().Count();
        Reopen();
        mCat->LoadCatalogue();
        EXPECT_EQ(mCat->Folders().Count(), folders) << static_cast<int>(kind);
    }
}

TEST_F(CatalogueOps, TheSixDigitLimitIsAClearError) {
    mCat->SetFolderIdCounter(999'999);
    EXPECT_EQ(mCat->AddFolder(mCat->NotesNode(), "Last")->Id, 999'999);
    const int before = mCat->Folders().Count();
    try {
        mCat->AddFolder(mCat->NotesNode(), "One too many");
        FAIL() << "no error";
    } catch (const TellamoError& e) {
        EXPECT_STREQ(e.what(),
                     "No new folder can be made: the catalogue has used up its folder numbers");
    }
    EXPECT_EQ(mCat->Folders().Count(), before);
    EXPECT_EQ(mCat->FolderIdCounter(), 1'000'000);
}

TEST_F(CatalogueOps, MovingAFolderIntoTheBinAndBackKeepsItsNotes) {
    FolderNode* work = mCat->AddFolder(mCat->NotesNode(), "Work");
    FolderNode* sub = mCat->AddFolder(work, "Sub");
    NoteWithFiles(sub, "000001", "memo");
    FolderNode* other = mCat->AddFolder(mCat->RecycleBinNode(), "Other");
    mCat->SelectFolder(work);
    mCat->MoveFolderToRecycleBin(work);
    EXPECT_EQ(mCat->RecycleBinNode()->Children.front().get(), work) << "first child of the bin";
    EXPECT_EQ(mCat->RecycleBinNode()->Children.back().get(), other);
    EXPECT_TRUE(mCat->IsInsideRecycleBin(sub));
    EXPECT_FALSE(mCat->IsInsideRecycleBin(mCat->RecycleBinNode()));
    EXPECT_EQ(mCat->SelectedFolder(), work);
    EXPECT_EQ(mCat->Notes().All()[0]->FolderID, sub->Id);
    EXPECT_TRUE(mCat->MoveFolder(work, mCat->NotesNode()));
    EXPECT_FALSE(mCat->IsInsideRecycleBin(sub));
    EXPECT_TRUE(HasFiles("000001"));
}

TEST_F(CatalogueOps, RootsAndDescendantsAreNeverMoved) {
    FolderNode* a = mCat->AddFolder(mCat->NotesNode(), "A");
    FolderNode* b = mCat->AddFolder(a, "B");
    EXPECT_FALSE(mCat->MoveFolder(a, b));
    EXPECT_FALSE(mCat->MoveFolder(a, a));
    EXPECT_FALSE(mCat->MoveFolder(mCat->NotesNode(), mCat->RecycleBinNode()));
    EXPECT_FALSE(mCat->MoveFolder(mCat->RecycleBinNode(), a));
    EXPECT_EQ(b->Parent, a);
    EXPECT_EQ(a->Parent, mCat->NotesNode());
    mCat->DeleteFolderForGood(mCat->NotesNode());
    mCat->RenameFolder(mCat->RecycleBinNode(), "Trash");
    EXPECT_EQ(mCat->Folders().Roots().size(), 2u);
    EXPECT_EQ(mCat->RecycleBinNode()->Name, "Recycle Bin");
}

TEST_F(CatalogueOps, DeletingAFolderInTheBinTakesAllItsNotesWhateverTheFilter) {
    FolderNode* old = mCat->AddFolder(mCat->RecycleBinNode(), "Old");
    FolderNode* deeper = mCat->AddFolder(old, "Deeper");
    NoteWithFiles(old, "000001", "shown");
    NoteWithFiles(deeper, "000002", "hidden by the text filter");
    NoteWithFiles(mCat->NotesNode(), "000003", "elsewhere");
    mCat->Notes().SetFilter([](const NoteRecord& r) { return r.Description == "shown"; });
    mCat->SelectFolder(old);
    mCat->DeleteFolderForGood(old);
    EXPECT_EQ(Names(), std::vector<std::string>{"000003"});
    EXPECT_FALSE(HasFiles("000001"));
    EXPECT_FALSE(HasFiles("000002"));
    EXPECT_TRUE(HasFiles("000003"));
    EXPECT_EQ(mCat->SelectedFolder(), mCat->RecycleBinNode());
    EXPECT_TRUE(mCat->RecycleBinNode()->Children.empty());
}

TEST_F(CatalogueOps, ClearingTheBinKeepsTheBin) {
    FolderNode* old = mCat->AddFolder(mCat->RecycleBinNode(), "Old");
    NoteWithFiles(old, "000001", "a");
    NoteWithFiles(mCat->RecycleBinNode(), "000002", "b");
    NoteWithFiles(mCat->NotesNode(), "000003", "c");
    mCat->SelectFolder(mCat->NotesNode());
    mCat->ClearRecycleBin();
    EXPECT_EQ(Names(), std::vector<std::string>{"000003"});
    EXPECT_EQ(mCat->SelectedFolder(), mCat->RecycleBinNode());
    EXPECT_TRUE(mCat->RecycleBinNode()->Children.empty());
    EXPECT_EQ(mCat->Folders().Roots().size(), 2u);
    EXPECT_FALSE(HasFiles("000001"));
    EXPECT_TRUE(HasFiles("000003"));
    mCat->ClearRecycleBin(); // an empty bin stays as it is
    EXPECT_EQ(mCat->Folders().Count(), 2);
}

TEST_F(CatalogueOps, NotesMoveToTheBinAndAreDeletedForGoodThere) {
    NoteRecord* a = NoteWithFiles(mCat->NotesNode(), "000001", "a");
    NoteRecord* b = NoteWithFiles(mCat->NotesNode(), "000002", "b");
    NoteWithFiles(mCat->NotesNode(), "000003", "c");
    SelectOnly({a, b});
    mCat->MoveSelectedNotes(mCat->RecycleBinNode());
    EXPECT_TRUE(mCat->Notes().Selection().empty());
    EXPECT_EQ(a->FolderID, Catalogue::RecycleBinFolderId);
    EXPECT_EQ(b->ParentPointer, mCat->RecycleBinNode());
    EXPECT_TRUE(HasFiles("000001"));
    SelectOnly({a, b});
    mCat->DeleteSelectedNotes();
    EXPECT_EQ(Names(), std::vector<std::string>{"000003"});
    EXPECT_FALSE(HasFiles("000001"));
    EXPECT_FALSE(HasFiles("000002"));
    EXPECT_TRUE(mCat->Notes().Selection().empty());
    EXPECT_EQ(mCat->Notes().LastAddedNote(), mCat->Notes().All()[0].get());
}

TEST_F(CatalogueOps, DeletingTheCurrentNoteMovesToTheNextOne) {
    NoteRecord* a = NoteWithFiles(mCat->NotesNode(), "000001", "a");
    NoteRecord* b = NoteWithFiles(mCat->NotesNode(), "000002", "b");
    NoteRecord* c = NoteWithFiles(mCat->NotesNode(), "000003", "c");
    mCat->Notes().SetCurrent(b);
    mCat->DeleteCurrentNote();
    EXPECT_EQ(mCat->Notes().Current(), c);
    mCat->DeleteCurrentNote();
    EXPECT_EQ(mCat->Notes().Current(), a);
    mCat->DeleteCurrentNote();
    EXPECT_EQ(mCat->Notes().Current(), nullptr);
    EXPECT_TRUE(mCat->Notes().IsEmpty());
    EXPECT_EQ(mCat->NoteWavPath(), QString());
    mCat->DeleteCurrentNote(); // nothing to delete is not an error
}

TEST_F(CatalogueOps, ARecordingGoesToItsOwnNoteWhateverTheFilterShows) {
    NoteRecord* shown = AddNote(mCat->NotesNode(), "000001", "shown");
    mCat->Notes().SetFilter([](const NoteRecord& r) { return r.Description == "shown"; });
    mCat->Notes().SetCurrent(shown);
    NoteRecord* recorded = mCat->AddRecordedNote(mCat->NotesNode(), "not matching", 8000, 8);
    EXPECT_EQ(mCat->Notes().LastAddedNote(), recorded);
    EXPECT_EQ(mCat->Notes().Current(), shown) << "a hidden new note does not become current";
    EXPECT_FALSE(recorded->Duration.has_value());
    EXPECT_FALSE(recorded->FileSizeKB.has_value());
    EXPECT_EQ(recorded->FileName.size(), 6u);
    mCat->CompleteNote(781, 25LL * 3600 * 1000 + 100'000); // 25 hours keep one
    EXPECT_EQ(recorded->FileSizeKB, 781);
    EXPECT_EQ(recorded->Duration, 3600 * 1000 + 100'000);
    EXPECT_EQ(shown->Duration, 1000);
    EXPECT_EQ(mCat->Notes().Current(), shown);

    mCat->Notes().SetFilter({});
    NoteRecord* visible = mCat->AddRecordedNote(nullptr, "no folder selected", 8000, 8);
    EXPECT_EQ(mCat->Notes().Current(), visible) << "a shown new note becomes current";
    EXPECT_EQ(visible->ParentPointer, mCat->NotesNode()) << "never filed under no folder";
}

TEST_F(CatalogueOps, FindingNotesByFileName) {
    AddNote(mCat->NotesNode(), "abc123", "x");
    mCat->Notes().SetFilter([](const NoteRecord&) { return false; });
    EXPECT_TRUE(mCat->FindNoteByFileName("ABC123"));
    EXPECT_FALSE(mCat->FindNoteByFileName("abc124"));
}

TEST_F(CatalogueOps, NoteFolderAndPathsFollowTheCurrentNote) {
    FolderNode* work = mCat->AddFolder(mCat->NotesNode(), "Work");
    AddNote(work, "042977", "x");
    EXPECT_EQ(mCat->NoteFolder(), work);
    EXPECT_EQ(mCat->NoteWavPath(), QString::fromStdString(StoragePath("042977.wav")));
    EXPECT_EQ(mCat->NoteGraphPath(), QString::fromStdString(StoragePath("042977.bmp")));
}

TEST_F(CatalogueOps, AHostileIndexFileCannotDeleteOutsideTheFolder) {
    // A record whose FileName climbs out of the folder, read from a crafted index file, then
    // deleted for good: nothing outside the storage folder (nor the catalogue itself) goes.
    WriteFileBytes(mDocuments.Path() + "/victim.wav", "keep me");
    WriteFileBytes(mDocuments.Path() + "/victim.bmp", "keep me");
    for (const std::string& name :
         {std::string("../vic"), std::string(".."), std::string(""), std::string("Tellam")}) {
        AddNote(mCat->RecycleBinNode(), name, "hostile");
    }
    NoteRecord* climbing = mCat->Notes().All()[0].get();
    climbing->FileName = "../victim"; // longer than the stored width, as no loader would allow
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    Reopen();
    mCat->LoadCatalogue();
    ASSERT_EQ(mCat->Notes().All().size(), 4u);
    EXPECT_EQ(mCat->Notes().All()[0]->FileName, "../vic");
    for (const auto& note : mCat->Notes().All()) {
        mCat->Notes().SetSelected(note.get(), true);
    }
    mCat->SelectFolder(mCat->RecycleBinNode());
    mCat->DeleteSelectedNotes();
    EXPECT_TRUE(mCat->Notes().All().empty());
    EXPECT_EQ(ReadFileBytes(mDocuments.Path() + "/victim.wav"), "keep me");
    EXPECT_EQ(ReadFileBytes(mDocuments.Path() + "/victim.bmp"), "keep me");
    EXPECT_TRUE(FileExists(IndexPath()));
}

// Two records with one file name (from a damaged catalogue or a restore): the load says so once,
// and the files stay until the last record that names them is deleted.
TEST_F(CatalogueOps, NotesThatShareAFileKeepItUntilTheLastOneGoes) {
    NoteWithFiles(mCat->NotesNode(), "042977", "kept");
    NoteWithFiles(mCat->RecycleBinNode(), "042977", "binned twin");
    NoteWithFiles(mCat->RecycleBinNode(), "ab", "binned alone");
    AddNote(mCat->NotesNode(), "ab.cde", "dotted name");
    WriteFileBytes(StoragePath("ab.cde.wav"), "RIFF");
    AddNote(mCat->NotesNode(), "100001", "unique");
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    Reopen();
    const std::string notice = mCat->LoadCatalogue().toStdString();
    EXPECT_EQ(
        notice,
        "Some notes of the catalogue share their sound file with another note: 042977. They are "
        "all kept, and deleting one of them keeps the file while another still uses it.");
    EXPECT_EQ(mCat->Notes().All().size(), 5u);

    mCat->ClearRecycleBin();
    EXPECT_EQ(Names(), (std::vector<std::string>{"042977", "ab.cde", "100001"}));
    EXPECT_TRUE(FileExists(StoragePath("042977.wav")));
    EXPECT_TRUE(FileExists(StoragePath("042977.bmp")));
    EXPECT_TRUE(FileExists(StoragePath("ab.cde.wav"))) << "the dotted name's own file";
    EXPECT_FALSE(HasFiles("ab"));

    // The last one goes with its files; a catalogue without shared names says nothing.
    mCat->Notes().SetCurrent(mCat->Notes().All()[0].get());
    ASSERT_EQ(mCat->Notes().Current()->Description, "kept");
    mCat->DeleteCurrentNote();
    EXPECT_FALSE(HasFiles("042977"));
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    Reopen();
    EXPECT_EQ(mCat->LoadCatalogue(), QString());
}

// The notice names each shared file name once, in order, however many notes use it and
// whether or not the program made the name.
TEST_F(CatalogueOps, TheLoadNamesEverySharedFileNameOnce) {
    struct Case {
        std::vector<std::string> Names;
        std::string Shared; // empty: nothing is said
    };
    // As many notes as take the way for a lifetime of them, with names used two and three times.
    Case many{{}, "000007, 0ab"};
    for (std::size_t i = 0; i < Catalogue::SortedNameCheckLimit; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "%06zu", 1'000'000 - 1 - i);
        many.Names.emplace_back(name);
    }
    many.Names.insert(many.Names.end(), {"000007", "0ab", "000007", "0ab", "000007"});
    const Case cases[] = {
        {{"000001", "000002", "ab"}, ""},
        {{"999999", "000000", "999999", "000000"}, "000000, 999999"},
        {{"042977", "042977", "042977"}, "042977"},
        {{"ab", "ab", "000001"}, "ab"},
        {{"0000a1", "000002", "000002", "0000a1", "000010", "000010"}, "000002, 000010, 0000a1"},
        many,
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Shared + " of " + std::to_string(c.Names.size()));
        mCat->NewCatalogue();
        mCat->Notes().Clear();
        for (const std::string& name : c.Names) {
            AddNote(mCat->NotesNode(), name, "note");
        }
        ASSERT_EQ(mCat->SaveCatalogue(), QString());
        Reopen();
        const std::string notice = mCat->LoadCatalogue().toStdString();
        EXPECT_EQ(notice, c.Shared.empty()
                              ? std::string()
                              : "Some notes of the catalogue share their sound file with another "
                                "note: " +
                                    c.Shared +
                                    ". They are all kept, and deleting one of them keeps the file "
                                    "while another still uses it.");
    }
}

TEST_F(CatalogueOps, ANewNoteNeverTakesANameARecordStillUses) {
    AddNote(mCat->NotesNode(), "123456", "its file has gone");
    WriteFileBytes(StoragePath("654321.wav"), "RIFF");
    const std::vector<bool> taken = mCat->TakenNoteNames();
    EXPECT_TRUE(taken[123456]);
    EXPECT_TRUE(taken[654321]);
    EXPECT_EQ(std::count(taken.begin(), taken.end(), true), 2);
}

TEST_F(CatalogueOps, FolderModelFollowsEveryChange) {
    // The tree view sees each change through the model's notifications.
    FolderTree& model = mCat->Folders();
    int inserted = 0, removed = 0, moved = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&] { ++inserted; });
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved, [&] { ++removed; });
    QObject::connect(&model, &QAbstractItemModel::rowsMoved, [&] { ++moved; });
    FolderNode* a = mCat->AddFolder(mCat->NotesNode(), "A");
    mCat->MoveFolderToRecycleBin(a);
    mCat->DeleteFolderForGood(a);
    EXPECT_EQ(inserted, 1);
    EXPECT_EQ(moved, 1);
    EXPECT_EQ(removed, 1);
    const QModelIndex notes = model.index(0, 0);
    EXPECT_EQ(model.data(notes).toString(), "Notes");
    EXPECT_FALSE(model.flags(notes) & Qt::ItemIsEditable);
    FolderNode* b = mCat->AddFolder(mCat->NotesNode(), "B");
    EXPECT_TRUE(model.flags(model.IndexOf(b)) & Qt::ItemIsEditable);
    EXPECT_EQ(model.parent(model.IndexOf(b)), notes);
    EXPECT_EQ(FolderTree::NodeAt(model.index(0, 0, notes)), b);
}

} // namespace
} // namespace tellamo::test
