#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>

#include "CatalogueFixture.h"
#include "catalogue/NoteFilter.h"
#include "catalogue/NoteTexts.h"
#include "common/ByteIO.h"
#include "common/Errors.h"
#include "support/FaultyFileSystem.h"
#include "support/LinkTrap.h"

namespace tellamo::test {
namespace {

// The catalogue of the worked example: folder Work (ID 14) under Notes, selected, holding the
// note "Call Bob", 90 s, 15 March 2004 14:30:00, 11025 Hz, 8 bits, 042977, 969 KB; counter 15.
// One line per field of the byte layout.
// clang-format off
const std::string ExampleFile = std::string(
    "\x01"
    "\x01\x00\x00\x00"
    "\x11\x11\x11\x11\x11\x11\x51\x3F"
    "\x55\x55\x55\x55\xB3\x95\xE2\x40"
    "Call Bob\0"
    "042977\0"
    "\x0E\x00\x00\x00"
    "\x11\x2B"
    "\x08\x00"
    "\xC9\x03\x00\x00"
    "\x0F\x00\x00\x00"
    "\x0E\x00\x00\x00"
    "Notes000000\r\n\tWork000014\r\nRecycle Bin000013\r\n",
    102);

const std::string NewCatalogueFile = std::string(
    "\x01\x00\x00\x00\x00\x0E\x00\x00\x00\x00\x00\x00\x00"
    "Notes000000\r\nRecycle Bin000013\r\n",
    45);
// clang-format on

// Lets this process grow by no more than 512 MB of address space, so that a huge allocation
// fails instead of being granted lazily by the kernel. The sanitizers reserve terabytes of
// shadow memory up front, so under them the limit is left out.
void LimitAddressSpace() {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    std::ifstream statm("/proc/self/statm");
    unsigned long long pages = 0;
    statm >> pages;
    const rlim_t limit =
        static_cast<rlim_t>(pages * static_cast<unsigned long long>(::sysconf(_SC_PAGESIZE))) +
        (512ULL << 20);
    const rlimit r{limit, limit};
    if (::setrlimit(RLIMIT_AS, &r) != 0) {
        std::perror("setrlimit");
        std::_Exit(2);
    }
#endif
}

class IndexFile : public CatalogueFixture {
protected:
    void BuildExample() {
        mCat->NewCatalogue();
        FolderNode* work = mCat->AddFolder(mCat->NotesNode(), "Work");
        mCat->AddFoundNote(work, "042977", At(2004, 3, 15, 14, 30, 0), 11025, 8);
        mCat->CompleteNote(969, 90'000);
        mCat->SetNoteDescription("Call Bob");
    }

    // Writes bytes as the index file and loads them into a fresh catalogue; returns the error
    // text, empty when the load succeeded.
    std::string LoadBytes(const std::string& bytes) {
        WriteFileBytes(IndexPath(), bytes);
        Reopen();
        try {
            mCat->LoadCatalogue();
            return {};
        } catch (const TellamoError& e) {
            return e.what();
        }
    }

    std::string TreeText() const {
        std::string out;
        mCat->Folders().ForEachPreOrder([&](FolderNode& n) {
            out += std::string(n.Depth(), '>') + n.Name + "#" + std::to_string(n.Id) + " ";
        });
        return out;
    }

    // What must hold after any load, good or bad.
    void ExpectUsable() {
        ASSERT_NE(mCat->NotesNode(), nullptr);
        ASSERT_NE(mCat->RecycleBinNode(), nullptr);
        ASSERT_EQ(mCat->Folders().Roots().size(), 2u);
        EXPECT_EQ(mCat->Folders().Roots()[0].get(), mCat->NotesNode());
        EXPECT_EQ(mCat->Folders().Roots()[1].get(), mCat->RecycleBinNode());
        EXPECT_NE(mCat->SelectedFolder(), nullptr);
        for (const auto& note : mCat->Notes().All()) {
            ASSERT_NE(note->ParentPointer, nullptr);
            EXPECT_EQ(note->ParentPointer->Id, note->FolderID);
        }
        std::set<std::int32_t> ids;
        mCat->Folders().ForEachPreOrder([&](FolderNode& n) { ids.insert(n.Id); });
        EXPECT_GT(mCat->FolderIdCounter(), *ids.rbegin());
    }
};

TEST_F(IndexFile, WritesTheWorkedExampleByteForByte) {
    BuildExample();
    EXPECT_EQ(SerializeCatalogue(*mCat), ExampleFile);
    EXPECT_EQ(mCat->SaveCatalogue(), QString());
    EXPECT_EQ(ReadFileBytes(IndexPath()), ExampleFile);
}

TEST_F(IndexFile, ReadsTheWorkedExampleBack) {
    ASSERT_EQ(LoadBytes(ExampleFile), "");
    ExpectUsable();
    EXPECT_EQ(TreeText(), "Notes#0 >Work#14 Recycle Bin#13 ");
    EXPECT_EQ(mCat->SelectedFolder()->Name, "Work");
    EXPECT_EQ(mCat->FolderIdCounter(), 15);
    ASSERT_EQ(mCat->Notes().All().size(), 1u);
    const NoteRecord& note = *mCat->Notes().All()[0];
    EXPECT_EQ(note.Duration, 90'000);
    EXPECT_EQ(note.Start, At(2004, 3, 15, 14, 30, 0));
    EXPECT_EQ(note.Description, "Call Bob");
    EXPECT_EQ(note.FileName, "042977");
    EXPECT_EQ(note.ParentPointer, mCat->SelectedFolder());
    EXPECT_EQ(note.SampleRate, 11025);
    EXPECT_EQ(note.BitRate, 8);
    EXPECT_EQ(note.FileSizeKB, 969);
    EXPECT_EQ(SerializeCatalogue(*mCat), ExampleFile);
}

TEST_F(IndexFile, NewCatalogueIs45Bytes) {
    mCat->NewCatalogue();
    EXPECT_EQ(TreeText(), "Notes#0 Recycle Bin#13 ");
    EXPECT_EQ(mCat->SelectedFolder(), mCat->NotesNode());
    EXPECT_EQ(mCat->FolderIdCounter(), 14);
    EXPECT_FALSE(FileExists(IndexPath())) << "nothing is written before the first save";
    EXPECT_EQ(mCat->SaveCatalogue(), QString());
    EXPECT_EQ(ReadFileBytes(IndexPath()), NewCatalogueFile);
    ASSERT_EQ(LoadBytes(NewCatalogueFile), "");
    EXPECT_EQ(TreeText(), "Notes#0 Recycle Bin#13 ");
    EXPECT_EQ(mCat->AddFolder(mCat->NotesNode(), "First")->Id, 14);
}

TEST_F(IndexFile, SavingTwiceKeepsThePreviousGeneration) {
    mCat->NewCatalogue();
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    mCat->AddFolder(mCat->NotesNode(), "2004");
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    EXPECT_EQ(ReadFileBytes(StoragePath("Tellamo.old")), NewCatalogueFile);
    EXPECT_FALSE(FileExists(StoragePath("Tellamo.new")));
    const std::string saved = ReadFileBytes(IndexPath());
    EXPECT_NE(saved.find("\t2004000014\r\n"), std::string::npos);
}

// Each row: what differs from the example file, and what must come of it.
TEST_F(IndexFile, LoadingCases) {
    const std::string notes = ExampleFile.substr(0, 49);
    const std::string counterAndSelected = ExampleFile.substr(49, 8);
    const std::string treeStart = ExampleFile.substr(0, 57);

    const struct {
        const char* what;
        std::string bytes;
        std::string error; // empty: loads
        std::string tree;  // expected tree after the load (checked when not empty)
    } cases[] = {
        {"version 0", std::string(1, '\0') + ExampleFile.substr(1), "",
         "Notes#0 >Work#14 Recycle Bin#13 "},
        {"version 2", "\x02" + ExampleFile.substr(1), "", "Notes#0 >Work#14 Recycle Bin#13 "},
        {"version 255", "\xFF" + ExampleFile.substr(1), "", "Notes#0 >Work#14 Recycle Bin#13 "},
        {"lone LF", treeStart + "Notes000000\n\tWork000014\nRecycle Bin000013\n", "",
         "Notes#0 >Work#14 Recycle Bin#13 "},
        {"lone CR", treeStart + "Notes000000\r\tWork000014\rRecycle Bin000013\r", "",
         "Notes#0 >Work#14 Recycle Bin#13 "},
        {"no last line end", treeStart + "Notes000000\r\n\tWork000014\r\nRecycle Bin000013", "",
         "Notes#0 >Work#14 Recycle Bin#13 "},
        {"spaces as levels",
         treeStart + "Notes000000\r\n Work000014\r\n  Deep000015\r\n\t Deeper000016\r\nRecycle "
                     "Bin000013\r\n",
         "", "Notes#0 >Work#14 >>Deep#15 >>Deeper#16 Recycle Bin#13 "},
        {"up two levels",
         treeStart + "Notes000000\r\n\tA000014\r\n\t\tB000015\r\nRecycle Bin000013\r\n", "",
         "Notes#0 >A#14 >>B#15 Recycle Bin#13 "},
        {"0 byte ends the text",
         treeStart + "Notes000000\r\nRecycle Bin000013\r\n" + std::string(1, '\0') + "junk", "",
         "Notes#0 >Found#15 Recycle Bin#13 "},
        {"empty name", treeStart + "Notes000000\r\n\t000014\r\nRecycle Bin000013\r\n", "",
         "Notes#0 >#14 Recycle Bin#13 "},
        {"name that is a number",
         treeStart + "Notes000000\r\n\t2004000014\r\nRecycle Bin000013\r\n", "",
         "Notes#0 >2004#14 Recycle Bin#13 "},
        {"invalid level", treeStart + "Notes000000\r\n\t\tWork000014\r\nRecycle Bin000013\r\n",
         "Invalid level (2) for item \"Work000014\"", ""},
        {"non-numeric ID", treeStart + "Notes000000\r\n\tWork00x014\r\n",
         "'00x014' is not a valid integer value", ""},
        {"empty line", treeStart + "Notes000000\r\n\r\n\r\nRecycle Bin000013\r\n",
         "'' is not a valid integer value", ""},
        {"no tree at all", notes + counterAndSelected, "", "Notes#0 >Found#15 Recycle Bin#13 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string error = LoadBytes(c.bytes);
        if (c.error.empty()) {
            EXPECT_EQ(error, "");
        } else {
            EXPECT_EQ(error.substr(0, c.error.size()), c.error);
        }
        ExpectUsable();
        if (!c.tree.empty()) {
            EXPECT_EQ(TreeText(), c.tree);
        }
    }
}

TEST_F(IndexFile, NegativeRecordCountLoadsNoRecords) {
    std::string bytes = NewCatalogueFile;
    bytes.replace(1, 4, "\xFB\xFF\xFF\xFF");
    ASSERT_EQ(LoadBytes(bytes), "");
    EXPECT_TRUE(mCat->Notes().All().empty());
    EXPECT_EQ(TreeText(), "Notes#0 Recycle Bin#13 ");
}

TEST_F(IndexFile, AHugeRecordCountInAShortFileIsACleanError) {
    // A damaged count must not become an allocation: in a process whose address space is
    // limited, memory reserved for 2^31 records fails loudly instead of hiding the fault.
    std::string bytes = NewCatalogueFile;
    bytes.replace(1, 4, "\xFF\xFF\xFF\x7F");
    EXPECT_EXIT(
        {
            LimitAddressSpace();
            const std::string error = LoadBytes(bytes);
            std::fprintf(stderr, "%s\n", error.c_str());
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0),
        "^The index file ends too early: it is damaged or incomplete");
}

TEST_F(IndexFile, ATruncatedFileIsACleanErrorAtEveryOffset) {
    for (std::size_t length = 0; length < ExampleFile.size(); ++length) {
        SCOPED_TRACE(length);
        const std::string error = LoadBytes(ExampleFile.substr(0, length));
        if (length < 57) {
            EXPECT_EQ(error.substr(0, 58),
                      "The index file ends too early: it is damaged or incomplete");
        }
        ExpectUsable();
        // A load that failed kept the damaged file beside the catalogue; the next save writes a
        // new index file and leaves the kept one alone.
        if (!error.empty()) {
            EXPECT_FALSE(FileExists(IndexPath()));
            EXPECT_EQ(mCat->SaveCatalogue(), QString());
            const QStringList kept =
                QDir(QString::fromStdString(Folder())).entryList({"Tellamo-damaged-*.dat"});
            ASSERT_FALSE(kept.isEmpty());
            EXPECT_NE(error.find(kept.constFirst().toStdString()), std::string::npos) << error;
            for (const QString& name : kept) {
                EXPECT_EQ(ReadFileBytes(Folder() + name.toStdString()),
                          ExampleFile.substr(0, length));
                QFile::remove(QString::fromStdString(Folder()) + name);
            }
        }
    }
}

// A damaged file can hold more roots than the two special folders: they are kept, in their order
// and with their subtrees, at the end of Notes, and a note in one of them stays in it.
TEST_F(IndexFile, FurtherRootsAreKeptBelowNotesInTheirOrder) {
    mCat->NewCatalogue();
    FolderNode* first = mCat->Folders().Append(nullptr, "First", 20);
    mCat->Folders().Append(first, "Inner", 21);
    mCat->Folders().Append(nullptr, "Second", 22);
    mCat->Folders().Append(mCat->NotesNode(), "Own", 23);
    mCat->Folders().Move(mCat->NotesNode(), nullptr, 2); // Notes itself not the first root
    mCat->AddFoundNote(mCat->Folders().FindById(21), "042977", 0, 11025, 16);
    mCat->SetFolderIdCounter(24);
    const std::string bytes = SerializeCatalogue(*mCat);
    LoadBytes(bytes);
    ExpectUsable();
    EXPECT_EQ(TreeText(), "Notes#0 >Own#23 >First#20 >>Inner#21 >Second#22 Recycle Bin#13 ");
    ASSERT_EQ(mCat->Notes().All().size(), 1u);
    EXPECT_EQ(mCat->Notes().All()[0]->ParentPointer->Name, "Inner");
    // The repaired tree is what the next start finds.
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    LoadBytes(ReadFileBytes(IndexPath()));
    EXPECT_EQ(TreeText(), "Notes#0 >Own#23 >First#20 >>Inner#21 >Second#22 Recycle Bin#13 ");
}

// A FIFO planted at the catalogue's name would block the start-up for good, a device never end:
// the load reports it, the program goes on with a usable catalogue, and saving does not replace
// what stands there in the dark.
TEST_F(IndexFile, AnIndexFileThatIsNoFileIsReportedNotWaitedFor) {
    ASSERT_EQ(::mkfifo(IndexPath().c_str(), 0600), 0);
    Reopen();
    std::string error;
    try {
        mCat->LoadCatalogue();
    } catch (const TellamoError& e) {
        error = e.what();
    }
    EXPECT_NE(error.find("it is not a regular file"), std::string::npos) << error;
    ExpectUsable();
    EXPECT_NE(mCat->SaveCatalogue(), QString());
    struct stat st {};
    ASSERT_EQ(::lstat(IndexPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// The damaged file is kept aside under a name a link may have been planted at (the storage
// folder may be shared): the link is replaced, never written through, and the box names the
// file that really holds the bytes.
TEST_F(IndexFile, KeepingADamagedFileAsideNeverWritesThroughALink) {
    const std::string damaged = ExampleFile.substr(0, 30);
    for (const LinkTrap::Kind kind : LinkTrap::Kinds) {
        SCOPED_TRACE(static_cast<int>(kind));
        const LinkTrap trap;
        // Every name the next few seconds could give the kept file.
        const QDateTime now = QDateTime::currentDateTime();
        for (int second = -1; second <= 5; ++second) {
            const QString stamp = now.addSecs(second).toString("yyyyMMdd-HHmmss");
            trap.Plant(Folder() + "Tellamo-damaged-" + stamp.toStdString() + ".dat", kind);
        }
        const std::string error = LoadBytes(damaged);
        EXPECT_TRUE(trap.Untouched());
        ExpectUsable();
        const std::size_t at = error.find("was kept as \"");
        ASSERT_NE(at, std::string::npos) << error;
        const std::string kept = error.substr(at + 13, error.find('"', at + 13) - at - 13);
        struct stat st {};
        ASSERT_EQ(::lstat(kept.c_str(), &st), 0) << kept;
        EXPECT_TRUE(S_ISREG(st.st_mode)) << kept;
        EXPECT_EQ(ReadFileBytes(kept), damaged);
        EXPECT_FALSE(FileExists(IndexPath()));
        for (const QString& name :
             QDir(QString::fromStdString(Folder()))
                 .entryList({"Tellamo-damaged-*.dat"}, QDir::Files | QDir::System)) {
            QFile::remove(QString::fromStdString(Folder()) + name);
        }
    }
}

// A damaged or missing Tellamo.dat falls back on the previous generation, says which one, and
// that generation survives every save of the run until one has succeeded.
TEST_F(IndexFile, ADamagedIndexFileFallsBackOnThePreviousGeneration) {
    const std::string oldPath = StoragePath("Tellamo.old");
    const std::string newPath = StoragePath("Tellamo.new");
    const auto setDate = [](const std::string& path) {
        QFile file(QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime(QDate(2004, 3, 15), QTime(14, 30, 0)),
                                     QFileDevice::FileModificationTime));
    };
    const std::string damaged = ExampleFile.substr(0, 30);
    const std::optional<std::string> missing;
    const struct {
        const char* what;
        std::optional<std::string> index; // none: no Tellamo.dat
        std::string newer;                // Tellamo.new left by a save cut short; empty: none
        std::string previous;             // empty: no Tellamo.old
        std::string expectedTree;
        bool mentionsDate;
        std::size_t notes;
        bool previousKeptAside = false; // the only copy, unreadable: moved aside whole
    } cases[] = {
        {"good previous generation", damaged, "", ExampleFile, "Notes#0 >Work#14 Recycle Bin#13 ",
         true, 1},
        {"damaged previous generation", damaged, "", NewCatalogueFile.substr(0, 20),
         "Notes#0 Recycle Bin#13 ", false, 0},
        {"no previous generation", damaged, "", "", "Notes#0 Recycle Bin#13 ", false, 0},
        // A Tellamo.new beside a whole Tellamo.dat is a save cut short while writing.
        {"damaged index file and a whole Tellamo.new", damaged, NewCatalogueFile, ExampleFile,
         "Notes#0 >Work#14 Recycle Bin#13 ", true, 1},
        {"missing index file, good previous generation", missing, "", ExampleFile,
         "Notes#0 >Work#14 Recycle Bin#13 ", true, 1},
        {"missing index file, half a Tellamo.new", missing, NewCatalogueFile.substr(0, 20),
         ExampleFile, "Notes#0 >Work#14 Recycle Bin#13 ", true, 1},
        {"missing index file, damaged previous generation", missing, "",
         NewCatalogueFile.substr(0, 20), "Notes#0 Recycle Bin#13 ", false, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& path : {oldPath, newPath, IndexPath()}) {
            QFile::remove(QString::fromStdString(path));
        }
        if (!c.previous.empty()) {
            WriteFileBytes(oldPath, c.previous);
            setDate(oldPath);
        }
        if (!c.newer.empty()) {
            WriteFileBytes(newPath, c.newer);
            setDate(newPath);
        }
        std::string error;
        if (c.index) {
            error = LoadBytes(*c.index);
        } else {
            Reopen();
            try {
                mCat->LoadCatalogue();
            } catch (const TellamoError& e) {
                error = e.what();
            }
        }
        ASSERT_NE(error, "");
        ExpectUsable();
        EXPECT_EQ(TreeText(), c.expectedTree);
        const std::string dateText = StartText(At(2004, 3, 15, 14, 30, 0)).toStdString();
        const bool saysDate = error.find("The previous catalogue, saved on " + dateText +
                                         ", was loaded instead.") != std::string::npos;
        EXPECT_EQ(saysDate, c.mentionsDate) << error;
        EXPECT_EQ(error.find("Tellamo.new\" could not be read"), std::string::npos) << error;
        ASSERT_EQ(mCat->Notes().All().size(), c.notes);
        if (c.notes > 0) {
            EXPECT_EQ(mCat->Notes().All()[0]->Description, "Call Bob");
        }

        // The first save of the run writes Tellamo.dat and leaves Tellamo.old as it was.
        mCat->AddFolder(mCat->NotesNode(), "After");
        ASSERT_EQ(mCat->SaveCatalogue(), QString());
        const std::string firstSave = ReadFileBytes(IndexPath());
        EXPECT_EQ(firstSave, SerializeCatalogue(*mCat));
        EXPECT_EQ(FileExists(oldPath), !c.previous.empty() && !c.previousKeptAside);
        if (!c.previous.empty() && !c.previousKeptAside) {
            EXPECT_EQ(ReadFileBytes(oldPath), c.previous);
        }
        // Once a save has succeeded, saving keeps generations as always.
        mCat->AddFolder(mCat->NotesNode(), "Later");
        ASSERT_EQ(mCat->SaveCatalogue(), QString());
        EXPECT_EQ(ReadFileBytes(oldPath), firstSave);
        const QStringList kept =
            QDir(QString::fromStdString(Folder())).entryList({"Tellamo-damaged-*.dat"});
        ASSERT_EQ(kept.size(), c.index || c.previousKeptAside ? 1 : 0);
        if (!kept.isEmpty()) {
            EXPECT_EQ(ReadFileBytes(Folder() + kept.constFirst().toStdString()),
                      c.index ? *c.index : c.previous);
            QFile::remove(QString::fromStdString(Folder()) + kept.constFirst());
        }
    }
}

// Cut short between the two renames of a file system without hard links, a save leaves a whole
// Tellamo.new, newer than Tellamo.old, and no Tellamo.dat: the load finishes that save, so that
// the next save's temporary file cannot take the newest catalogue's place.
TEST_F(IndexFile, AWholeTellamoNewWithoutTheIndexFileFinishesTheSave) {
    WriteFileBytes(StoragePath("Tellamo.old"), NewCatalogueFile);
    WriteFileBytes(StoragePath("Tellamo.new"), ExampleFile);
    QFile::remove(QString::fromStdString(IndexPath()));
    Reopen();
    EXPECT_EQ(mCat->LoadCatalogue(), QString());
    EXPECT_EQ(TreeText(), "Notes#0 >Work#14 Recycle Bin#13 ");
    EXPECT_EQ(ReadFileBytes(IndexPath()), ExampleFile);
    EXPECT_FALSE(FileExists(StoragePath("Tellamo.new")));
    EXPECT_EQ(ReadFileBytes(StoragePath("Tellamo.old")), NewCatalogueFile);

    // A save that fails now loses nothing on the disk: Tellamo.dat holds the loaded catalogue.
    FaultyFileSystem full;
    full.FailOp = FsOp::Write;
    full.FailAt = 1;
    full.FailAll = true;
    Catalogue cat(
        Storage(QString::fromStdString(mDocuments.Path()), "My Voice Notes", "ReadMe.txt"), "Notes",
        "Recycle Bin", full);
    EXPECT_EQ(cat.LoadCatalogue(), QString());
    cat.AddFolder(cat.NotesNode(), "After");
    EXPECT_NE(cat.SaveCatalogue(), QString());
    EXPECT_EQ(ReadFileBytes(IndexPath()), ExampleFile);
}

TEST_F(IndexFile, HostileTreesAreRepaired) {
    const std::string head = NewCatalogueFile.substr(0, 13); // no notes, counter 14, Notes selected
    const struct {
        const char* what;
        std::string tree;
        std::string expected;
    } cases[] = {
        {"no special folders", "Work000014\r\n", "Notes#0 >Work#14 Recycle Bin#13 "},
        {"bin nested, extra root", "Notes000000\r\n\tRecycle Bin000013\r\nOther000020\r\n",
         "Notes#0 >Other#20 Recycle Bin#13 "},
        {"bin first", "Recycle Bin000013\r\nNotes000000\r\n\tWork000014\r\n",
         "Notes#0 >Work#14 Recycle Bin#13 "},
        // The later folder of an ID wins it, as notes are linked; the others get new IDs.
        {"two folders, one ID", "Notes000000\r\n\tA000014\r\n\tB000014\r\nRecycle Bin000013\r\n",
         "Notes#0 >A#15 >B#14 Recycle Bin#13 "},
        {"two Notes folders", "Notes000000\r\n\tWork000014\r\nOther000000\r\nRecycle Bin000013\r\n",
         "Other#0 >Notes#15 >>Work#14 Recycle Bin#13 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(LoadBytes(head + c.tree), "");
        ExpectUsable();
        EXPECT_EQ(TreeText(), c.expected);
        // The repaired tree is what the next start finds again.
        ASSERT_EQ(mCat->SaveCatalogue(), QString());
        Reopen();
        mCat->LoadCatalogue();
        EXPECT_EQ(TreeText(), c.expected);
    }
    // A counter below IDs in use never hands one of them out again.
    std::string lowCounter = head + "Notes000000\r\n\tHigh000500\r\nRecycle Bin000013\r\n";
    lowCounter.replace(5, 4, std::string("\x02\x00\x00\x00", 4));
    EXPECT_EQ(LoadBytes(lowCounter), "");
    EXPECT_EQ(mCat->FolderIdCounter(), 501);
}

TEST_F(IndexFile, NotesWhoseFolderIsMissingAreFiledInFound) {
    std::string bytes = ExampleFile;
    bytes.replace(37, 4, std::string("\x63\x00\x00\x00", 4)); // FolderID 99, which no folder has
    ASSERT_EQ(LoadBytes(bytes), "");
    ExpectUsable();
    EXPECT_EQ(mCat->Notes().All()[0]->ParentPointer->Name, "Found");
    EXPECT_EQ(mCat->Notes().All()[0]->ParentPointer->Parent, mCat->NotesNode());
    EXPECT_EQ(mCat->Notes().All()[0]->Description, "Call Bob");
}

// Notes find their folder by its ID whether the IDs are the program's small ones or as large as
// six digits allow (a catalogue edited by hand, a damaged counter); an ID that no folder has,
// negative or beyond every folder's, files the note in Found.
TEST_F(IndexFile, NotesFindTheirFolderWhateverItsId) {
    for (const std::int32_t folderId : {20, 500'000}) {
        SCOPED_TRACE(folderId);
        Reopen();
        mCat->NewCatalogue();
        mCat->SetFolderIdCounter(folderId);
        FolderNode* folder = mCat->AddFolder(mCat->NotesNode(), "Kept");
        ASSERT_EQ(folder->Id, folderId);
        const struct {
            std::int32_t FolderID;
            const char* Folder; // the name of the folder the note is in after the load
        } cases[] = {
            {folderId, "Kept"},
            {Catalogue::NotesFolderId, "Notes"},
            {Catalogue::RecycleBinFolderId, "Recycle Bin"},
            {-1, "Found"},
            {folderId + 1, "Found"},
            {99, "Found"},
            {70'000, "Found"},
        };
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            char name[24];
            std::snprintf(name, sizeof name, "%06zu", i);
            AddNote(mCat->NotesNode(), name, "")->FolderID = cases[i].FolderID;
        }
        ASSERT_EQ(mCat->SaveCatalogue(), QString());
        Reopen();
        ASSERT_EQ(mCat->LoadCatalogue(), "");
        ExpectUsable();
        ASSERT_EQ(mCat->Notes().All().size(), std::size(cases));
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const NoteRecord& note = *mCat->Notes().All()[i];
            ASSERT_NE(note.ParentPointer, nullptr) << i;
            EXPECT_EQ(note.ParentPointer->Name, cases[i].Folder) << i;
            EXPECT_EQ(note.FolderID, note.ParentPointer->Id) << i;
        }
    }
}

TEST_F(IndexFile, HiddenNotesAreSavedAndTheCurrentNoteStays) {
    mCat->NewCatalogue();
    NoteRecord* a = AddNote(mCat->NotesNode(), "000001", "alpha");
    AddNote(mCat->NotesNode(), "000002", "beta");
    NoteRecord* c = AddNote(mCat->NotesNode(), "000003", "gamma");
    mCat->Notes().SetFilter([](const NoteRecord& r) { return r.Description != "beta"; });
    mCat->Notes().SetCurrent(c);
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    EXPECT_EQ(mCat->Notes().Current(), c);
    EXPECT_EQ(mCat->Notes().Shown().size(), 2u);
    EXPECT_EQ(mCat->Notes().Shown()[0], a);
    Reopen();
    mCat->LoadCatalogue();
    ASSERT_EQ(mCat->Notes().All().size(), 3u);
    EXPECT_EQ(mCat->Notes().All()[1]->Description, "beta");
}

// A view refilters when it hears of the selected folder. During a load it hears of it once, when
// the notes are linked to their folders (not before, when the filter would show nothing), and
// the table is not filtered a second time for nothing.
TEST_F(IndexFile, TheLoadTellsTheSelectedFolderOnceTheNotesAreLinked) {
    mCat->NewCatalogue();
    FolderNode* work = mCat->AddFolder(mCat->NotesNode(), "Work");
    AddNote(work, "000001", "alpha");
    AddNote(work, "000002", "beta");
    AddNote(mCat->NotesNode(), "000003", "gamma");
    mCat->SelectFolder(work);
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    Reopen();
    std::vector<std::size_t> shownWhenTold;
    QObject::connect(mCat.get(), &Catalogue::SelectedFolderChanged, [&] {
        mCat->Notes().SetFilter(NoteFilter({mCat->SelectedFolder(), false, false, false, {}}));
        shownWhenTold.push_back(mCat->Notes().Shown().size());
    });
    int passesOverNotes = 0;
    QObject::connect(&mCat->Notes(), &NoteTable::ShownChanged,
                     [&] { passesOverNotes += mCat->Notes().All().empty() ? 0 : 1; });
    ASSERT_EQ(mCat->LoadCatalogue(), QString());
    ASSERT_EQ(mCat->SelectedFolder()->Name, "Work");
    EXPECT_EQ(shownWhenTold, std::vector<std::size_t>{2});
    EXPECT_EQ(passesOverNotes, 1);
}

TEST_F(IndexFile, FolderNamesBeginningWithBlanksAreRefusedAndNeverWritten) {
    mCat->NewCatalogue();
    FolderNode* work = mCat->AddFolder(mCat->NotesNode(), "Work");
    for (const QString& bad : {QString(" Work"), QString("\tWork"), QString("Two\nLines")}) {
        EXPECT_THROW(mCat->RenameFolder(work, bad), TellamoError) << bad.toStdString();
        EXPECT_EQ(work->Name, "Work");
    }
    mCat->RenameFolder(work, "Work  with\ttabs inside ");
    // Program texts (a translation may bring anything) are cleaned instead of refused.
    FolderNode* odd = mCat->AddFolder(mCat->NotesNode(), " \t Odd\r\nName");
    EXPECT_EQ(odd->Name, "Odd  Name");
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    Reopen();
    mCat->LoadCatalogue();
    EXPECT_EQ(TreeText(), "Notes#0 >Work  with\ttabs inside #14 >Odd  Name#15 Recycle Bin#13 ");
}

TEST_F(IndexFile, DescriptionsAreCutAtACharacterBoundary) {
    mCat->NewCatalogue();
    const QString text = QString(126, 'x') + QString::fromUtf8("\xC3\xA9") + "tail";
    NoteRecord* note = mCat->AddRecordedNote(mCat->NotesNode(), text, 11025, 16);
    EXPECT_EQ(note->Description, std::string(126, 'x'));
    mCat->SetNoteDescription(QString(200, 'y'));
    EXPECT_EQ(note->Description, std::string(127, 'y'));
    // A stored description of another encoding (Latin-1 bytes) survives a load and a save.
    std::string bytes = ExampleFile;
    bytes.replace(21, 8, "Caf\xE9 Bob");
    ASSERT_EQ(LoadBytes(bytes), "");
    EXPECT_EQ(mCat->Notes().All()[0]->Description, "Caf\xE9 Bob");
    EXPECT_EQ(SerializeCatalogue(*mCat), bytes);
}

// A save that fails at any step, or at every step from some step on, leaves the previous
// Tellamo.dat loadable, says why, and leaves the table as it was.
TEST(IndexFileFaults, AFailedSaveLosesNothing) {
    TempDir documents;
    const std::string folder = documents.Path() + "/My Voice Notes/";
    auto open = [&](FileSystem& fs) {
        auto cat = std::make_unique<Catalogue>(
            Storage(QString::fromStdString(documents.Path()), "My Voice Notes", "ReadMe.txt"),
            "Notes", "Recycle Bin", fs);
        EXPECT_TRUE(cat->Files().EnsureStorageFolder([](const QString&, const QString&) {}));
        return cat;
    };
    {
        auto cat = open(RealFileSystem());
        cat->NewCatalogue();
        cat->AddFolder(cat->NotesNode(), "Kept");
        ASSERT_EQ(cat->SaveCatalogue(), QString());
    }
    const std::string good = ReadFileBytes(folder + "Tellamo.dat");

    FaultyFileSystem counter;
    int operations = 0;
    {
        auto cat = open(counter);
        cat->LoadCatalogue();
        counter.Calls = 0;
        ASSERT_EQ(cat->SaveCatalogue(), QString());
        operations = counter.Calls;
        WriteFileBytes(folder + "Tellamo.dat", good);
    }
    for (int failAt = 1; failAt <= operations; ++failAt) {
        for (bool all : {false, true}) {
            SCOPED_TRACE(failAt);
            FaultyFileSystem fs;
            auto cat = open(fs);
            cat->LoadCatalogue();
            cat->AddFolder(cat->NotesNode(), "New");
            NoteRecord* first = cat->Notes().Append(std::make_unique<NoteRecord>());
            cat->Notes().Append(std::make_unique<NoteRecord>());
            cat->Notes().SetFilter([](const NoteRecord&) { return true; });
            cat->Notes().SetCurrent(first);
            fs.Calls = 0;
            fs.FailAt = failAt;
            fs.FailAll = all;
            const QString error = cat->SaveCatalogue();
            EXPECT_EQ(cat->Notes().Current(), first);
            EXPECT_EQ(cat->Notes().Shown().size(), 2u);
            // Whatever happened, the index file on disk is complete: either the old one or the
            // new one, and a failure said so.
            const std::string now = ReadFileBytes(folder + "Tellamo.dat");
            if (error.isEmpty()) {
                EXPECT_EQ(now, SerializeCatalogue(*cat));
            } else {
                EXPECT_EQ(now, good);
                EXPECT_TRUE(error.contains("No space left on device")) << error.toStdString();
            }
            WriteFileBytes(folder + "Tellamo.dat", good);
        }
    }
}

// A note longer than a day: the index file keeps the fraction of a day the format demands, and
// the list reads the whole length, the days told by the size of the note's WAV file.
TEST_F(IndexFile, ANoteLongerThanADayIsSavedAsTheFormatDemandsAndReadInFull) {
    const struct {
        std::uint16_t Rate, Bits;
        std::int64_t Ms;
        const char* Shown;
    } cases[] = {
        {8000, 8, 25LL * 3'600'000 + 61'000, "25:01:01"},
        {8000, 8, 130LL * 3'600'000, "130:00:00"},
        {22050, 16, 23LL * 3'600'000 + 3'599'000, "23:59:59"},
        {11025, 16, 24LL * 3'600'000, "24:00:00"},
        {11025, 16, 5'000, "0:00:05"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Shown);
        Reopen();
        mCat->NewCatalogue();
        mCat->AddFoundNote(mCat->NotesNode(), "500000", At(2004, 3, 15, 14, 30, 0), c.Rate, c.Bits);
        const std::int64_t bytes = 44 + c.Ms * c.Rate / 1000 * (c.Bits / 8);
        mCat->CompleteNote(static_cast<std::int32_t>((bytes + 512) / 1024), c.Ms);
        ASSERT_EQ(mCat->SaveCatalogue(), QString());
        Reopen();
        mCat->LoadCatalogue();
        const NoteRecord& note = *mCat->Notes().All().front();
        EXPECT_EQ(note.Duration.value_or(-1), c.Ms % 86'400'000);
        EXPECT_EQ(NoteLengthMs(note), c.Ms);
        EXPECT_EQ(NoteDurationText(note), c.Shown);
    }
    // A note without its size keeps the stored length; one without a duration shows none.
    NoteRecord plain;
    plain.Duration = 3'000;
    plain.SampleRate = 8000;
    plain.BitRate = 8;
    EXPECT_EQ(NoteLengthMs(plain), 3'000);
    plain.Duration.reset();
    EXPECT_EQ(NoteDurationText(plain), "");
}

} // namespace
} // namespace tellamo::test
