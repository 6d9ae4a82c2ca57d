// Dated backups of the catalogue: which are kept, how a save makes them without ever writing
// through a planted link, and the restore of one.
#include "catalogue/CatalogueBackups.h"

#include <filesystem>

#include <gtest/gtest.h>

#include <QDir>

#include "CatalogueFixture.h"
#include "support/FaultyFileSystem.h"
#include "support/LinkTrap.h"

namespace tellamo::test {
namespace {

namespace fs = std::filesystem;

TEST(BackupPruning, KeepsAWeekOfDaysAndAYearOfMonths) {
    const QDate today(2026, 12, 11);
    struct Case {
        QDate Date;
        bool Kept;
    };
    const Case cases[] = {
        {QDate(2026, 12, 11), true},  // today
        {QDate(2026, 12, 5), true},   // the seventh day back
        {QDate(2026, 12, 4), false},  // older than a week, and not its month's newest
        {QDate(2026, 11, 3), false},  //
        {QDate(2026, 11, 30), true},  // November's newest
        {QDate(2026, 2, 1), true},    // the only one of its month
        {QDate(2025, 12, 12), true},  // just inside the year
        {QDate(2025, 12, 11), false}, // a year old
        {QDate(2019, 6, 1), false},   //
        {QDate(2027, 1, 1), true},    // after today: another computer's clock, left alone
    };
    std::vector<QDate> dates;
    std::vector<QDate> expected;
    for (const Case& c : cases) {
        dates.push_back(c.Date);
        if (!c.Kept) {
            expected.push_back(c.Date);
        }
    }
    EXPECT_EQ(BackupsToPrune(dates, today), expected);
    EXPECT_TRUE(BackupsToPrune({}, today).empty());
}

class Backups : public CatalogueFixture {
protected:
    explicit Backups(FileSystem& fs = RealFileSystem()) : CatalogueFixture(fs) {}

    std::string BackupFolder() const { return Folder() + "Backups/"; }
    std::string TodaysBackup() const {
        return BackupFolder() + "Tellamo-" +
               QDate::currentDate().toString("yyyy-MM-dd").toStdString() + ".dat";
    }
    std::vector<std::string> BackupNames() const {
        std::vector<std::string> names;
        for (const QString& name :
             QDir(QString::fromStdString(BackupFolder())).entryList(QDir::Files, QDir::Name)) {
            names.push_back(name.toStdString());
        }
        return names;
    }
};

TEST_F(Backups, EverySaveKeepsTodaysCatalogueAndTheFirstOfADayPrunes) {
    mCat->NewCatalogue();
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    const std::string firstSave = ReadFileBytes(IndexPath());
    EXPECT_EQ(ReadFileBytes(TodaysBackup()), firstSave);
    EXPECT_EQ(mCat->BackupProblem(), QString());

    mCat->AddFolder(mCat->NotesNode(), "Work");
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    EXPECT_EQ(ReadFileBytes(TodaysBackup()), ReadFileBytes(IndexPath()))
        << "the day's backup is its last save";
    EXPECT_EQ(ReadFileBytes(StoragePath("Tellamo.old")), firstSave);

    // Days gone by, as the folder holds them on a later day's first save.
    fs::remove(TodaysBackup());
    const QDate today = QDate::currentDate();
    const std::string yesterday =
        "Tellamo-" + today.addDays(-1).toString("yyyy-MM-dd").toStdString() + ".dat";
    const std::string longAgo = "Tellamo-2001-01-01.dat";
    const std::string beforeRestore = "Tellamo-before-restore-20010101-120000.dat";
    for (const std::string& name : {yesterday, longAgo, beforeRestore}) {
        WriteFileBytes(BackupFolder() + name, firstSave);
    }
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    const auto names = BackupNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), longAgo), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), yesterday), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), beforeRestore), 1) << "never pruned";
    EXPECT_EQ(names.size(), 3u) << "yesterday, today and the kept one";
}

TEST_F(Backups, NoBackupIsWrittenThroughALinkPlantedInTheFolder) {
    mCat->NewCatalogue();
    ASSERT_EQ(mCat->SaveCatalogue(), QString()); // the Backups folder exists from here on
    for (const LinkTrap::Kind kind : LinkTrap::Kinds) {
        SCOPED_TRACE(static_cast<int>(kind));
        LinkTrap trap;
        trap.Plant(TodaysBackup(), kind);
        trap.Plant(TodaysBackup() + ".new", kind);
        ASSERT_EQ(mCat->SaveCatalogue(), QString());
        EXPECT_TRUE(trap.Untouched());
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(TodaysBackup())));
        EXPECT_EQ(ReadFileBytes(TodaysBackup()), ReadFileBytes(IndexPath()));
    }

    // The Backups folder itself a link to a folder elsewhere: no backup, and the save stands.
    TempDir elsewhere;
    fs::remove_all(BackupFolder());
    fs::create_directory_symlink(elsewhere.Path(), Folder() + "Backups");
    mCat->AddFolder(mCat->NotesNode(), "Work");
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    EXPECT_TRUE(FilesIn(elsewhere.Path()).empty());
    EXPECT_TRUE(mCat->BackupProblem().contains("not a folder"))
        << mCat->BackupProblem().toStdString();
    EXPECT_TRUE(ListCatalogueBackups(mCat->Files()).empty());
}

// A file system without hard links (FAT, many network shares): one copy a day, at the day's
// first save, so that later saves cost no more than before.
// (A base of its own, so that it is built before the fixture that uses it.)
struct NoHardLinks {
    NoHardLinks() {
        NoLinks.FailOp = FsOp::Link;
        NoLinks.FailAt = 1;
        NoLinks.FailAll = true;
        NoLinks.FailError = EPERM;
    }
    FaultyFileSystem NoLinks;
};

class BackupsWithoutHardLinks : protected NoHardLinks, public Backups {
protected:
    BackupsWithoutHardLinks() : Backups(NoLinks) {}
};

TEST_F(BackupsWithoutHardLinks, TheDaysFirstSaveIsCopied) {
    mCat->NewCatalogue();
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    const std::string firstSave = ReadFileBytes(IndexPath());
    EXPECT_EQ(ReadFileBytes(TodaysBackup()), firstSave);
    const int creates = NoLinks.CallsOf(FsOp::CreateFile);
    mCat->AddFolder(mCat->NotesNode(), "Work");
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    EXPECT_EQ(NoLinks.CallsOf(FsOp::CreateFile), creates + 1) << "only the index file's own";
    EXPECT_EQ(ReadFileBytes(TodaysBackup()), firstSave);
    EXPECT_EQ(mCat->BackupProblem(), QString());
}

TEST_F(Backups, ARestoredBackupReplacesTheCatalogueAndTheCurrentOneIsKept) {
    mCat->NewCatalogue();
    mCat->AddFolder(mCat->NotesNode(), "Kept");
    AddNote(mCat->NotesNode(), "000001", "One");
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    const std::string older = BackupFolder() + "Tellamo-2026-01-31.dat";
    fs::copy_file(IndexPath(), older);
    mCat->AddFolder(mCat->NotesNode(), "Lost since");
    AddNote(mCat->NotesNode(), "000002", "Two");
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    const std::string current = ReadFileBytes(IndexPath());
    WriteFileBytes(BackupFolder() + "Tellamo-2026-01-30.dat", "damaged");

    const std::vector<CatalogueBackup> backups = ListCatalogueBackups(mCat->Files());
    ASSERT_EQ(backups.size(), 3u);
    EXPECT_EQ(backups[0].Path.toStdString(), TodaysBackup()) << "newest first";
    EXPECT_EQ(mCat->NotesInIndexFile(backups[0].Path), 2u);
    EXPECT_EQ(mCat->NotesInIndexFile(QString::fromStdString(older)), 1u);
    EXPECT_FALSE(
        mCat->NotesInIndexFile(QString::fromStdString(BackupFolder() + "Tellamo-2026-01-30.dat")));

    // A backup that does not read leaves the catalogue as it is.
    EXPECT_NE(
        mCat->RestoreFromBackup(QString::fromStdString(BackupFolder() + "Tellamo-2026-01-30.dat")),
        QString());
    EXPECT_EQ(mCat->Notes().All().size(), 2u);

    ASSERT_EQ(
        KeepCatalogueBeforeRestore(mCat->Files(), mCat->FileSys(), QDateTime::currentDateTime()),
        QString());
    ASSERT_EQ(mCat->RestoreFromBackup(QString::fromStdString(older)), QString());
    ASSERT_EQ(mCat->SaveCatalogue(), QString());
    EXPECT_EQ(mCat->Notes().All().size(), 1u);
    EXPECT_EQ(mCat->Folders().Count(), 3) << "Notes, Kept and the Recycle Bin";
    Reopen();
    EXPECT_EQ(mCat->LoadCatalogue(), QString());
    EXPECT_EQ(mCat->Notes().All().size(), 1u);

    const auto kept = ListCatalogueBackups(mCat->Files());
    const auto beforeRestore = std::find_if(
        kept.begin(), kept.end(), [](const CatalogueBackup& b) { return b.BeforeRestore; });
    ASSERT_NE(beforeRestore, kept.end());
    EXPECT_EQ(ReadFileBytes(beforeRestore->Path.toStdString()), current);
}

} // namespace
} // namespace tellamo::test
