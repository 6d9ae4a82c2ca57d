#pragma once

#include <memory>

#include <gtest/gtest.h>

#include <QDateTime>

#include "catalogue/Catalogue.h"
#include "catalogue/IndexFile.h"
#include "common/FileSystem.h"
#include "support/TempDir.h"

namespace tellamo::test {

// A catalogue over a fresh storage folder in a temporary documents folder.
class CatalogueFixture : public ::testing::Test {
protected:
    explicit CatalogueFixture(FileSystem& fs = RealFileSystem()) : Fs(fs) { Reopen(); }

    // A new catalogue object over the same folder, as at the next start of the program.
    void Reopen() {
        Cat = std::make_unique<Catalogue>(
            Storage(QString::fromStdString(Documents.Path()), "My Voice Notes", "ReadMe.txt"),
            "Notes", "Recycle Bin", Fs);
        EXPECT_TRUE(Cat->Files().EnsureStorageFolder(
            [](const QString& text, const QString&) { ADD_FAILURE() << text.toStdString(); }));
    }

    std::string Folder() const { return Documents.Path() + "/My Voice Notes/"; }
    std::string IndexPath() const { return Folder() + "Tellamo.dat"; }
    std::string StoragePath(const std::string& name) const { return Folder() + name; }

    static LocalTimeMs At(int y, int mo, int d, int h, int mi, int s) {
        return LocalTimeFromDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s)));
    }

    // A completed note in a folder, as a recording leaves it.
    NoteRecord* AddNote(FolderNode* folder, const std::string& fileName, const QString& description,
                        std::int32_t durationMs = 1000) {
        NoteRecord* note =
            Cat->AddFoundNote(folder, fileName, At(2004, 3, 15, 14, 30, 0), 11025, 8);
        Cat->CompleteNote(1, durationMs);
        note->Description = description.toStdString();
        return note;
    }

    TempDir Documents;
    FileSystem& Fs;
    std::unique_ptr<Catalogue> Cat;
};

} // namespace tellamo::test
