#include "catalogue/Storage.h"

#include <cerrno>
#include <filesystem>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>

#include "common/Errors.h"
#include "support/FaultyFileSystem.h"
#include "support/LinkTrap.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

class StorageFolderTest : public ::testing::Test {
protected:
    TempDir mDocuments;
    Storage mFiles{QString::fromStdString(mDocuments.Path()), "My Voice Notes", "ReadMe.txt"};
    std::string Folder() const { return mDocuments.Path() + "/My Voice Notes/"; }
    void Touch(const std::string& name) { WriteFileBytes(Folder() + name, "x"); }
    bool Ensure() {
        return mFiles.EnsureStorageFolder([this](const QString& text, const QString& caption) {
            mReported = caption + ": " + text;
        });
    }
    QString mReported;
};

TEST_F(StorageFolderTest, PathsOfTheFolder) {
    const QString folder = QString::fromStdString(Folder());
    EXPECT_EQ(mFiles.StorageFolder(), folder);
    EXPECT_EQ(mFiles.IndexFilePath(), folder + "Tellamo.dat");
    EXPECT_EQ(mFiles.IndexFileSibling(".old"), folder + "Tellamo.old");
    EXPECT_EQ(mFiles.SettingsFilePath(), folder + "tellamo.INI");
    EXPECT_EQ(mFiles.NoteWavPath("042977"), folder + "042977.wav");
    EXPECT_EQ(mFiles.NoteGraphPath("042977"), folder + "042977.bmp");
    EXPECT_EQ(mFiles.AllGraphsPattern(), folder + "*.bmp");
    EXPECT_EQ(Storage("", "My Voice Notes", "ReadMe.txt").StorageFolder(), "/My Voice Notes/");
}

TEST_F(StorageFolderTest, FirstStartCreatesTheFolderAndTheReadMe) {
    // The documents folder itself may be missing on a fresh account.
    Storage deeper(QString::fromStdString(mDocuments.Path() + "/Documents"), "My Voice Notes",
                   "ReadMe.txt");
    ASSERT_TRUE(deeper.EnsureStorageFolder([](const QString&, const QString&) { FAIL(); }));
    EXPECT_EQ(ReadFileBytes(mDocuments.Path() + "/Documents/My Voice Notes/ReadMe.txt"),
              "This folder was created by the Tellamo program for\r\n"
              "storage of your voice notes. Please, do not change its contents.\r\n");
    EXPECT_EQ(QDir(QString::fromStdString(mDocuments.Path() + "/Documents/My Voice Notes"))
                  .entryList(QDir::Files | QDir::Hidden),
              QStringList{"ReadMe.txt"});
}

TEST_F(StorageFolderTest, TheReadMeIsWrittenOnlyWhenMissing) {
    ASSERT_TRUE(Ensure());
    WriteFileBytes(Folder() + "ReadMe.txt", "edited by the user");
    ASSERT_TRUE(Ensure());
    EXPECT_EQ(ReadFileBytes(Folder() + "ReadMe.txt"), "edited by the user");
    std::filesystem::remove(Folder() + "ReadMe.txt");
    ASSERT_TRUE(Ensure());
    EXPECT_EQ(ReadFileBytes(Folder() + "ReadMe.txt").substr(0, 14), "This folder wa");
}

TEST_F(StorageFolderTest, ALinkPlantedAtTheReadMeIsLeftAlone) {
    ASSERT_TRUE(Ensure());
    for (const LinkTrap::Kind kind : LinkTrap::Kinds) {
        LinkTrap trap;
        trap.Plant(Folder() + "ReadMe.txt", kind);
        if (kind == LinkTrap::Kind::Dangling) {
            // The read-me is missing and cannot be written: an error for start-up to show.
            EXPECT_THROW(Ensure(), TellamoError);
        } else {
            EXPECT_TRUE(Ensure()) << mReported.toStdString();
        }
        EXPECT_TRUE(trap.Untouched()) << static_cast<int>(kind);
    }
}

TEST_F(StorageFolderTest, AFolderThatCannotBeMadeEndsTheProgram) {
    WriteFileBytes(mDocuments.Path() + "/file", "not a folder");
    Storage blocked(QString::fromStdString(mDocuments.Path() + "/file"), "My Voice Notes",
                    "ReadMe.txt");
    EXPECT_FALSE(blocked.EnsureStorageFolder([this](const QString& text, const QString& caption) {
        mReported = caption + ": " + text;
    }));
    EXPECT_EQ(mReported, "Error: Can't create folder for storing Voice Notes");
}

TEST_F(StorageFolderTest, AnUnwritableReadMeIsAnErrorToReport) {
    // A read-me that cannot be created (here: the disk refuses it; a read-only folder for a
    // normal user) is an error for start-up to show, not a reason to end.
    FaultyFileSystem refusing;
    refusing.FailOp = FsOp::CreateFile;
    refusing.FailAt = 1;
    refusing.FailError = EACCES;
    try {
        mFiles.EnsureStorageFolder([](const QString&, const QString&) { FAIL(); }, refusing);
        FAIL() << "no error";
    } catch (const TellamoError& e) {
        EXPECT_NE(std::string(e.what()).find("ReadMe.txt"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(SystemErrorText(EACCES)), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(FileExists(Folder() + "ReadMe.txt"));
}

TEST_F(StorageFolderTest, NewNamesAvoidEveryFileButNotFolders) {
    ASSERT_TRUE(Ensure());
    for (int i = 0; i < 200; ++i) {
        const std::string name = mFiles.NewNoteFileName();
        ASSERT_EQ(name.size(), 6u);
        ASSERT_EQ(name.find_first_not_of("0123456789"), std::string::npos);
        EXPECT_FALSE(FileExists(Folder() + name + ".wav"));
        Touch(name + (i % 2 ? ".wav" : ".txt"));
    }
    // Only the draw is random; the choice among taken names is checked with DrawFreeName.
    std::vector<bool> taken(1'000'000, true);
    taken[999'999] = false;
    EXPECT_EQ(Storage::DrawFreeName(taken), "999999");
    taken[999'999] = true;
    EXPECT_THROW(Storage::DrawFreeName(taken), TellamoError);
    taken.assign(1'000'000, false);
    taken[7] = true;
    for (int i = 0; i < 50; ++i) {
        EXPECT_NE(Storage::DrawFreeName(taken), "000007");
    }
    // Folders filled to different degrees (the names taken in stripes): a draw that lands on a
    // taken name draws again, and the nearly full folder counts its way to a free name. Most
    // names are taken, so one draw in a hundred landing on a free name by luck is unlikely.
    for (const int percentTaken : {60, 85, 95, 99}) {
        SCOPED_TRACE(percentTaken);
        for (std::size_t i = 0; i < taken.size(); ++i) {
            taken[i] = static_cast<int>(i % 100) < percentTaken;
        }
        for (int i = 0; i < 100; ++i) {
            const std::string name = Storage::DrawFreeName(taken);
            ASSERT_FALSE(taken[static_cast<std::size_t>(std::stoi(name))]) << name << " is taken";
        }
    }
}

TEST_F(StorageFolderTest, WhatTakesANoteName) {
    ASSERT_TRUE(Ensure());
    std::filesystem::create_directory(Folder() + "123456.wav"); // a folder: takes nothing
    Touch("654321"); // a file without extension: takes its name
    Touch("123458.wav");
    Touch("123459.bmp.tmp");
    Touch(".123457.wav"); // a dot-file: its name part is empty
    Touch("12345.wav");   // five digits
    Touch("abcdef.wav");
    const std::vector<bool> taken = mFiles.TakenNames();
    std::vector<int> numbers;
    for (int i = 0; i < static_cast<int>(taken.size()); ++i) {
        if (taken[i]) {
            numbers.push_back(i);
        }
    }
    EXPECT_EQ(numbers, (std::vector<int>{123458, 123459, 654321}));
}

TEST_F(StorageFolderTest, DeletingANotesFilesTakesEveryExtensionAndTheMailCopies) {
    ASSERT_TRUE(Ensure());
    for (const char* name :
         {"042977.wav", "042977.bmp", "042977.tmp", "042977", "042977p.wav", "042977o.opus",
          "042978.wav", "042978p.wav", "042978o.opus", "042977x.wav", "abc.wa.wav", "abc.wav"}) {
        Touch(name);
    }
    mFiles.DeleteNoteFiles({"042977", "abc.wa", "000000"});
    for (const char* gone : {"042977.wav", "042977.bmp", "042977.tmp", "042977", "042977p.wav",
                             "042977o.opus", "abc.wa.wav"}) {
        EXPECT_FALSE(FileExists(Folder() + gone)) << gone;
    }
    for (const char* kept :
         {"042978.wav", "042978p.wav", "042978o.opus", "042977x.wav", "abc.wav", "ReadMe.txt"}) {
        EXPECT_TRUE(FileExists(Folder() + kept)) << kept;
    }
}

TEST_F(StorageFolderTest, HostileNamesNeverReachOutsideTheFolder) {
    ASSERT_TRUE(Ensure());
    // Files outside the storage folder that a crafted name could point at.
    WriteFileBytes(mDocuments.Path() + "/secret.wav", "outside");
    WriteFileBytes(mDocuments.Path() + "/My Voice Notes.wav", "outside");
    for (const char* own : {"Tellamo.dat", "Tellamo.old", "Tellamo.new", "tellamo.INI",
                            "Tellamo-damaged-20260101-000000.dat"}) {
        Touch(own);
    }
    Touch("..wav");
    const std::vector<std::string> hostile = {
        "",        ".",       "..",     "../secret", "/etc/pa", std::string("a\0b", 3),
        "Tellamo", "tellamo", "ReadMe", "..."};
    for (const std::string& name : hostile) {
        if (name != "Tellamo" && name != "tellamo" && name != "ReadMe" && name != "...") {
            EXPECT_FALSE(Storage::IsSafeNoteFileName(name)) << name;
            EXPECT_EQ(mFiles.NoteWavPath(name), QString()) << name;
            EXPECT_EQ(mFiles.NoteGraphPath(name), QString()) << name;
        }
    }
    mFiles.DeleteNoteFiles(hostile);
    EXPECT_EQ(ReadFileBytes(mDocuments.Path() + "/secret.wav"), "outside");
    EXPECT_EQ(ReadFileBytes(mDocuments.Path() + "/My Voice Notes.wav"), "outside");
    for (const char* own : {"Tellamo.dat", "Tellamo.old", "Tellamo.new", "tellamo.INI",
                            "ReadMe.txt", "Tellamo-damaged-20260101-000000.dat", "..wav"}) {
        EXPECT_TRUE(FileExists(Folder() + own)) << own;
    }
}

TEST_F(StorageFolderTest, OnlyAPlainTranslatedReadMeNameIsTaken) {
    // The read-me's name comes from a translation, which anyone who can write to the storage
    // folder can provide.
    struct Case {
        const char* Translated;
        const char* Written;
    };
    const Case cases[] = {
        {"LiesMich.txt", "LiesMich.txt"},
        {"Lisez-moi ça.txt", "Lisez-moi ça.txt"},
        {"../../.ssh/authorized_keys", "ReadMe.txt"},
        {"/tmp/planted", "ReadMe.txt"},
        {"sub/ReadMe.txt", "ReadMe.txt"},
        {"..", "ReadMe.txt"},
        {".profile", "ReadMe.txt"},
        {"", "ReadMe.txt"},
        {"Tellamo.dat", "ReadMe.txt"},
        {"tellamo.ini", "ReadMe.txt"},
        {"Tellamo-damaged-1.dat", "ReadMe.txt"},
        {"042977.wav", "ReadMe.txt"},
        {"042977p.wav", "ReadMe.txt"},
        {"a\nb", "ReadMe.txt"},
    };
    for (const Case& c : cases) {
        TempDir documents;
        Storage files(QString::fromStdString(documents.Path()), "My Voice Notes",
                      QString::fromUtf8(c.Translated));
        const std::string folder = documents.Path() + "/My Voice Notes/";
        EXPECT_EQ(files.ReadMePath(), QString::fromStdString(folder) + QString::fromUtf8(c.Written))
            << c.Translated;
        ASSERT_TRUE(files.EnsureStorageFolder([](const QString&, const QString&) {}));
        EXPECT_TRUE(FileExists(folder + c.Written)) << c.Translated;
        // Nothing else was written anywhere in the documents folder.
        std::size_t entries = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(documents.Path())) {
            entries += entry.is_regular_file() ? 1 : 0;
        }
        EXPECT_EQ(entries, 1u) << c.Translated;
    }
    const std::string longName(256, 'x');
    EXPECT_EQ(Storage("/d", "F", QString::fromStdString(longName)).ReadMePath(), "/d/F/ReadMe.txt");
}

} // namespace
} // namespace tellamo::test
