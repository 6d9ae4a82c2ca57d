#include <algorithm>
#include <cstdio>

#include "CatalogueFixture.h"
#include "common/Errors.h"
#include "support/LinkTrap.h"

namespace tellamo::test {
namespace {

class CatalogueOps : public CatalogueFixture {
protected:
    void SetUp() override { Cat->NewCatalogue(); }

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
        for (const auto& note : Cat->Notes().All()) {
            names.push_back(note->FileName);
        }
        return names;
    }
    void SelectOnly(std::initializer_list<NoteRecord*> notes) {
        Cat->Notes().ClearSelection();
        for (NoteRecord* note : notes) {
            Cat->Notes().SetSelected(note, true);
        }
    }
};

TEST_F(CatalogueOps, FolderIdsAreNeverReused) {
    FolderNode* a = Cat->AddFolder(Cat->NotesNode(), "A");
    EXPECT_EQ(a->Id, 14);
    EXPECT_EQ(Cat->SelectedFolder(), a);
    FolderNode* b = Cat->AddFolder(a, "B");
    EXPECT_EQ(b->Id, 15);
    EXPECT_EQ(b->Parent, a);
    Cat->MoveFolderToRecycleBin(a);
    Cat->DeleteFolderForGood(a);
    ASSERT_EQ(Cat->SaveCatalogue(), QString());
    Reopen();
    Cat->LoadCatalogue();
    EXPECT_EQ(Cat->AddFolder(Cat->NotesNode(), "C")->Id, 16);
    EXPECT_EQ(Cat->FolderIdOf(nullptr), -1);
}

TEST_F(CatalogueOps, SavingReplacesLinksPlantedAtTheIndexFileNames) {
    // The folder may be shared or restored from an archive: links at the index file's
    // temporary, previous and current names must not lead a save to write outside it.
    for (const LinkTrap::Kind kind : LinkTrap::Kinds) {
        LinkTrap trap;
        for (const char* name : {"Tellamo.new", "Tellamo.old", "Tellamo.dat"}) {
            trap.Plant(StoragePath(name), kind);
        }
        Cat->AddFolder(Cat->NotesNode(), "Kept");
        ASSERT_EQ(Cat->SaveCatalogue(), QString());
        ASSERT_EQ(Cat->SaveCatalogue(), QString());
        EXPECT_TRUE(trap.Untouched()) << static_cast<int>(kind);
        const int folders = Cat->Folders().Count();
        Reopen();
        Cat->LoadCatalogue();
        EXPECT_EQ(Cat->Folders().Count(), folders) << static_cast<int>(kind);
    }
}

TEST_F(CatalogueOps, TheSixDigitLimitIsAClearError) {
    Cat->SetFolderIdCounter(999'999);
    EXPECT_EQ(Cat->AddFolder(Cat->NotesNode(), "Last")->Id, 999'999);
    const int before = Cat->Folders().Count();
    try {
        Cat->AddFolder(Cat->NotesNode(), "One too many");
        FAIL() << "no error";
    } catch (const TellamoError& e) {
        EXPECT_STREQ(e.what(),
                     "No new folder can be made: the catalogue has used up its folder numbers");
    }
    EXPECT_EQ(Cat->Folders().Count(), before);
    EXPECT_EQ(Cat->FolderIdCounter(), 1'000'000);
}

TEST_F(CatalogueOps, MovingAFolderIntoTheBinAndBackKeepsItsNotes) {
    FolderNode* work = Cat->AddFolder(Cat->NotesNode(), "Work");
    FolderNode* sub = Cat->AddFolder(work, "Sub");
    NoteWithFiles(sub, "000001", "memo");
    FolderNode* other = Cat->AddFolder(Cat->RecycleBinNode(), "Other");
    Cat->SelectFolder(work);
    Cat->MoveFolderToRecycleBin(work);
    EXPECT_EQ(Cat->RecycleBinNode()->Children.front().get(), work) << "first child of the bin";
    EXPECT_EQ(Cat->RecycleBinNode()->Children.back().get(), other);
    EXPECT_TRUE(Cat->IsInsideRecycleBin(sub));
    EXPECT_FALSE(Cat->IsInsideRecycleBin(Cat->RecycleBinNode()));
    EXPECT_EQ(Cat->SelectedFolder(), work);
    EXPECT_EQ(Cat->Notes().All()[0]->FolderID, sub->Id);
    EXPECT_TRUE(Cat->MoveFolder(work, Cat->NotesNode()));
    EXPECT_FALSE(Cat->IsInsideRecycleBin(sub));
    EXPECT_TRUE(HasFiles("000001"));
}

TEST_F(CatalogueOps, RootsAndDescendantsAreNeverMoved) {
    FolderNode* a = Cat->AddFolder(Cat->NotesNode(), "A");
    FolderNode* b = Cat->AddFolder(a, "B");
    EXPECT_FALSE(Cat->MoveFolder(a, b));
    EXPECT_FALSE(Cat->MoveFolder(a, a));
    EXPECT_FALSE(Cat->MoveFolder(Cat->NotesNode(), Cat->RecycleBinNode()));
    EXPECT_FALSE(Cat->MoveFolder(Cat->RecycleBinNode(), a));
    EXPECT_EQ(b->Parent, a);
    EXPECT_EQ(a->Parent, Cat->NotesNode());
    Cat->DeleteFolderForGood(Cat->NotesNode());
    Cat->RenameFolder(Cat->RecycleBinNode(), "Trash");
    EXPECT_EQ(Cat->Folders().Roots().size(), 2u);
    EXPECT_EQ(Cat->RecycleBinNode()->Name, "Recycle Bin");
}

TEST_F(CatalogueOps, DeletingAFolderInTheBinTakesAllItsNotesWhateverTheFilter) {
    FolderNode* old = Cat->AddFolder(Cat->RecycleBinNode(), "Old");
    FolderNode* deeper = Cat->AddFolder(old, "Deeper");
    NoteWithFiles(old, "000001", "shown");
    NoteWithFiles(deeper, "000002", "hidden by the text filter");
    NoteWithFiles(Cat->NotesNode(), "000003", "elsewhere");
    Cat->Notes().SetFilter([](const NoteRecord& r) { return r.Description == "shown"; });
    Cat->SelectFolder(old);
    Cat->DeleteFolderForGood(old);
    EXPECT_EQ(Names(), std::vector<std::string>{"000003"});
    EXPECT_FALSE(HasFiles("000001"));
    EXPECT_FALSE(HasFiles("000002"));
    EXPECT_TRUE(HasFiles("000003"));
    EXPECT_EQ(Cat->SelectedFolder(), Cat->RecycleBinNode());
    EXPECT_TRUE(Cat->RecycleBinNode()->Children.empty());
}

TEST_F(CatalogueOps, ClearingTheBinKeepsTheBin) {
    FolderNode* old = Cat->AddFolder(Cat->RecycleBinNode(), "Old");
    NoteWithFiles(old, "000001", "a");
    NoteWithFiles(Cat->RecycleBinNode(), "000002", "b");
    NoteWithFiles(Cat->NotesNode(), "000003", "c");
    Cat->SelectFolder(Cat->NotesNode());
    Cat->ClearRecycleBin();
    EXPECT_EQ(Names(), std::vector<std::string>{"000003"});
    EXPECT_EQ(Cat->SelectedFolder(), Cat->RecycleBinNode());
    EXPECT_TRUE(Cat->RecycleBinNode()->Children.empty());
    EXPECT_EQ(Cat->Folders().Roots().size(), 2u);
    EXPECT_FALSE(HasFiles("000001"));
    EXPECT_TRUE(HasFiles("000003"));
    Cat->ClearRecycleBin(); // an empty bin stays as it is
    EXPECT_EQ(Cat->Folders().Count(), 2);
}

TEST_F(CatalogueOps, NotesMoveToTheBinAndAreDeletedForGoodThere) {
    NoteRecord* a = NoteWithFiles(Cat->NotesNode(), "000001", "a");
    NoteRecord* b = NoteWithFiles(Cat->NotesNode(), "000002", "b");
    NoteWithFiles(Cat->NotesNode(), "000003", "c");
    SelectOnly({a, b});
    Cat->MoveSelectedNotes(Cat->RecycleBinNode());
    EXPECT_TRUE(Cat->Notes().Selection().empty());
    EXPECT_EQ(a->FolderID, Catalogue::RecycleBinFolderId);
    EXPECT_EQ(b->ParentPointer, Cat->RecycleBinNode());
    EXPECT_TRUE(HasFiles("000001"));
    SelectOnly({a, b});
    Cat->DeleteSelectedNotes();
    EXPECT_EQ(Names(), std::vector<std::string>{"000003"});
    EXPECT_FALSE(HasFiles("000001"));
    EXPECT_FALSE(HasFiles("000002"));
    EXPECT_TRUE(Cat->Notes().Selection().empty());
    EXPECT_EQ(Cat->Notes().LastAddedNote(), Cat->Notes().All()[0].get());
}

TEST_F(CatalogueOps, DeletingTheCurrentNoteMovesToTheNextOne) {
    NoteRecord* a = NoteWithFiles(Cat->NotesNode(), "000001", "a");
    NoteRecord* b = NoteWithFiles(Cat->NotesNode(), "000002", "b");
    NoteRecord* c = NoteWithFiles(Cat->NotesNode(), "000003", "c");
    Cat->Notes().SetCurrent(b);
    Cat->DeleteCurrentNote();
    EXPECT_EQ(Cat->Notes().Current(), c);
    Cat->DeleteCurrentNote();
    EXPECT_EQ(Cat->Notes().Current(), a);
    Cat->DeleteCurrentNote();
    EXPECT_EQ(Cat->Notes().Current(), nullptr);
    EXPECT_TRUE(Cat->Notes().IsEmpty());
    EXPECT_EQ(Cat->NoteWavPath(), QString());
    Cat->DeleteCurrentNote(); // nothing to delete is not an error
}

TEST_F(CatalogueOps, ARecordingGoesToItsOwnNoteWhateverTheFilterShows) {
    NoteRecord* shown = AddNote(Cat->NotesNode(), "000001", "shown");
    Cat->Notes().SetFilter([](const NoteRecord& r) { return r.Description == "shown"; });
    Cat->Notes().SetCurrent(shown);
    NoteRecord* recorded = Cat->AddRecordedNote(Cat->NotesNode(), "not matching", 8000, 8);
    EXPECT_EQ(Cat->Notes().LastAddedNote(), recorded);
    EXPECT_EQ(Cat->Notes().Current(), shown) << "a hidden new note does not become current";
    EXPECT_FALSE(recorded->Duration.has_value());
    EXPECT_FALSE(recorded->FileSizeKB.has_value());
    EXPECT_EQ(recorded->FileName.size(), 6u);
    Cat->CompleteNote(781, 25LL * 3600 * 1000 + 100'000); // 25 hours keep one
    EXPECT_EQ(recorded->FileSizeKB, 781);
    EXPECT_EQ(recorded->Duration, 3600 * 1000 + 100'000);
    EXPECT_EQ(shown->Duration, 1000);
    EXPECT_EQ(Cat->Notes().Current(), shown);

    Cat->Notes().SetFilter({});
    NoteRecord* visible = Cat->AddRecordedNote(nullptr, "no folder selected", 8000, 8);
    EXPECT_EQ(Cat->Notes().Current(), visible) << "a shown new note becomes current";
    EXPECT_EQ(visible->ParentPointer, Cat->NotesNode()) << "never filed under no folder";
}

TEST_F(CatalogueOps, FindingNotesByFileName) {
    AddNote(Cat->NotesNode(), "abc123", "x");
    Cat->Notes().SetFilter([](const NoteRecord&) { return false; });
    EXPECT_TRUE(Cat->FindNoteByFileName("ABC123"));
    EXPECT_FALSE(Cat->FindNoteByFileName("abc124"));
}

TEST_F(CatalogueOps, NoteFolderAndPathsFollowTheCurrentNote) {
    FolderNode* work = Cat->AddFolder(Cat->NotesNode(), "Work");
    AddNote(work, "042977", "x");
    EXPECT_EQ(Cat->NoteFolder(), work);
    EXPECT_EQ(Cat->NoteWavPath(), QString::fromStdString(StoragePath("042977.wav")));
    EXPECT_EQ(Cat->NoteGraphPath(), QString::fromStdString(StoragePath("042977.bmp")));
}

TEST_F(CatalogueOps, AHostileIndexFileCannotDeleteOutsideTheFolder) {
    // A record whose FileName climbs out of the folder, read from a crafted index file, then
    // deleted for good: nothing outside the storage folder (nor the catalogue itself) goes.
    WriteFileBytes(Documents.Path() + "/victim.wav", "keep me");
    WriteFileBytes(Documents.Path() + "/victim.bmp", "keep me");
    for (const std::string& name :
         {std::string("../vic"), std::string(".."), std::string(""), std::string("Tellam")}) {
        AddNote(Cat->RecycleBinNode(), name, "hostile");
    }
    NoteRecord* climbing = Cat->Notes().All()[0].get();
    climbing->FileName = "../victim"; // longer than the stored width, as no loader would allow
    ASSERT_EQ(Cat->SaveCatalogue(), QString());
    Reopen();
    Cat->LoadCatalogue();
    ASSERT_EQ(Cat->Notes().All().size(), 4u);
    EXPECT_EQ(Cat->Notes().All()[0]->FileName, "../vic");
    for (const auto& note : Cat->Notes().All()) {
        Cat->Notes().SetSelected(note.get(), true);
    }
    Cat->SelectFolder(Cat->RecycleBinNode());
    Cat->DeleteSelectedNotes();
    EXPECT_TRUE(Cat->Notes().All().empty());
    EXPECT_EQ(ReadFileBytes(Documents.Path() + "/victim.wav"), "keep me");
    EXPECT_EQ(ReadFileBytes(Documents.Path() + "/victim.bmp"), "keep me");
    EXPECT_TRUE(FileExists(IndexPath()));
}

// Two records with one file name (from a damaged catalogue or a restore): the load says so once,
// and the files stay until the last record that names them is deleted.
TEST_F(CatalogueOps, NotesThatShareAFileKeepItUntilTheLastOneGoes) {
    NoteWithFiles(Cat->NotesNode(), "042977", "kept");
    NoteWithFiles(Cat->RecycleBinNode(), "042977", "binned twin");
    NoteWithFiles(Cat->RecycleBinNode(), "ab", "binned alone");
    AddNote(Cat->NotesNode(), "ab.cde", "dotted name");
    WriteFileBytes(StoragePath("ab.cde.wav"), "RIFF");
    AddNote(Cat->NotesNode(), "100001", "unique");
    ASSERT_EQ(Cat->SaveCatalogue(), QString());
    Reopen();
    const std::string notice = Cat->LoadCatalogue().toStdString();
    EXPECT_EQ(
        notice,
        "Some notes of the catalogue share their sound file with another note: 042977. They are "
        "all kept, and deleting one of them keeps the file while another still uses it.");
    EXPECT_EQ(Cat->Notes().All().size(), 5u);

    Cat->ClearRecycleBin();
    EXPECT_EQ(Names(), (std::vector<std::string>{"042977", "ab.cde", "100001"}));
    EXPECT_TRUE(FileExists(StoragePath("042977.wav")));
    EXPECT_TRUE(FileExists(StoragePath("042977.bmp")));
    EXPECT_TRUE(FileExists(StoragePath("ab.cde.wav"))) << "the dotted name's own file";
    EXPECT_FALSE(HasFiles("ab"));

    // The last one goes with its files; a catalogue without shared names says nothing.
    Cat->Notes().SetCurrent(Cat->Notes().All()[0].get());
    ASSERT_EQ(Cat->Notes().Current()->Description, "kept");
    Cat->DeleteCurrentNote();
    EXPECT_FALSE(HasFiles("042977"));
    ASSERT_EQ(Cat->SaveCatalogue(), QString());
    Reopen();
    EXPECT_EQ(Cat->LoadCatalogue(), QString());
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
        Cat->NewCatalogue();
        Cat->Notes().Clear();
        for (const std::string& name : c.Names) {
            AddNote(Cat->NotesNode(), name, "note");
        }
        ASSERT_EQ(Cat->SaveCatalogue(), QString());
        Reopen();
        const std::string notice = Cat->LoadCatalogue().toStdString();
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
    AddNote(Cat->NotesNode(), "123456", "its file has gone");
    WriteFileBytes(StoragePath("654321.wav"), "RIFF");
    const std::vector<bool> taken = Cat->TakenNoteNames();
    EXPECT_TRUE(taken[123456]);
    EXPECT_TRUE(taken[654321]);
    EXPECT_EQ(std::count(taken.begin(), taken.end(), true), 2);
}

TEST_F(CatalogueOps, FolderModelFollowsEveryChange) {
    // The tree view sees each change through the model's notifications.
    FolderTree& model = Cat->Folders();
    int inserted = 0, removed = 0, moved = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&] { ++inserted; });
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved, [&] { ++removed; });
    QObject::connect(&model, &QAbstractItemModel::rowsMoved, [&] { ++moved; });
    FolderNode* a = Cat->AddFolder(Cat->NotesNode(), "A");
    Cat->MoveFolderToRecycleBin(a);
    Cat->DeleteFolderForGood(a);
    EXPECT_EQ(inserted, 1);
    EXPECT_EQ(moved, 1);
    EXPECT_EQ(removed, 1);
    const QModelIndex notes = model.index(0, 0);
    EXPECT_EQ(model.data(notes).toString(), "Notes");
    EXPECT_FALSE(model.flags(notes) & Qt::ItemIsEditable);
    FolderNode* b = Cat->AddFolder(Cat->NotesNode(), "B");
    EXPECT_TRUE(model.flags(model.IndexOf(b)) & Qt::ItemIsEditable);
    EXPECT_EQ(model.parent(model.IndexOf(b)), notes);
    EXPECT_EQ(FolderTree::NodeAt(model.index(0, 0, notes)), b);
}

} // namespace
} // namespace tellamo::test
