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
    explicit CatalogueFixture(FileSystem& fs = RealFileSystem()) : mFs(fs) { Reopen(); }

    // A new catalogue object over the same folder, as at the next start of the program.
    void Reopen() {
        mCat = std::make_unique<Catalogue>(
            Storage(QString::fromStdString(mDocuments.Path()), "My Voice Notes", "ReadMe.txt"),
            "Notes", "Recycle Bin", mFs);
        EXPECT_TRUE(mCat->Files().EnsureStorageFolder(
            [](const QString& text, const QString&) { ADD_FAILURE() << text.toStdString(); }));
    }

    std::string Folder() const { return mDocuments.Path() + "/My Voice Notes/"; }
    std::string IndexPath() const { return Folder() + "Tellamo.dat"; }
    std::string StoragePath(const std::string& name) const { return Folder() + name; }

    static LocalTimeMs At(int y, int mo, int d, int h, int mi, int s) {
        return LocalTimeFromDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s)));
    }

    // A completed note in a folder, as a recording leaves it.
    NoteRecord* AddNote(FolderNode* folder, const std::string& fileName, const QString& description,
                        std::int32_t durationMs = 1000) {
        NoteRecord* note =
            mCat->AddFoundNote(folder, fileName, At(2004, 3, 15, 14, 30, 0), 11025, 8);
        mCat->CompleteNote(1, durationMs);
        note->Description = description.toStdString();
        return note;
    }

    TempDir mDocuments;
    FileSystem& mFs;
    std::unique_ptr<Catalogue> mCat;
};

} // namespace tellamo::test
