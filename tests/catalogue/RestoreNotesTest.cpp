// Restore notes over real files of a storage folder, read with the program's WAV reader.

#include "catalogue/RestoreNotes.h"

#include <optional>

#include <QDir>
#include <QFile>

#include "CatalogueFixture.h"
#include "audio/WavFormat.h"
#include "common/ByteIO.h"
#include "dictaphone/NoteWaveHeader.h"

namespace tellamo::test {
namespace {

// A WAV file as the recorder writes it, whose header declares declaredBytes of data and which
// holds dataBytes of them.
std::string Wave(std::uint16_t channels, std::uint16_t rate, std::uint16_t bits,
                 std::uint32_t dataBytes, std::optional<std::uint32_t> declaredBytes = {}) {
    auto header = MakeWaveHeader(channels, rate, bits);
    const std::uint32_t declared = declaredBytes.value_or(dataBytes);
    PutU32(&header[4], declared + 36);
    PutU32(&header[40], declared);
    return std::string(reinterpret_cast<const char*>(header.data()), header.size()) +
           std::string(dataBytes, '\x10');
}

class Restore : public CatalogueFixture {
protected:
    Restore() { mCat->NewCatalogue(); }

    void SetModified(const std::string& name, const QDateTime& when) {
        QFile file(QString::fromStdString(StoragePath(name)));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(when, QFileDevice::FileModificationTime));
    }

    std::vector<std::string> NamesIn(const FolderNode* folder, const Catalogue& cat) const {
        std::vector<std::string> names;
        for (const auto& note : cat.Notes().All()) {
            if (note->ParentPointer == folder) {
                names.push_back(note->FileName);
            }
        }
        return names;
    }
};

TEST_F(Restore, EveryNoteFileWithoutARecordComesBackAndNothingElse) {
    // A catalogued note, its e-mail copy, and a recording that runs while the restore does.
    AddNote(mCat->NotesNode(), "042977", "Call Bob");
    NoteRecord* recording = mCat->AddRecordedNote(mCat->NotesNode(), "running", 11025, 16);
    const QDateTime when(QDate(2004, 3, 15), QTime(14, 30, 1));

    enum Kind { File, Folder, Link };
    const struct {
        std::string name;
        Kind kind;
        std::string bytes;
        // Expected: restored with this duration, bits, rate and size; or not (-1).
        std::int64_t durationMs;
        std::uint16_t bits;
        std::uint16_t rate;
        std::int32_t sizeKB;
    } rows[] = {
        {"042977.wav", File, Wave(1, 11025, 8, 1000), -1, 0, 0, 0},  // has a record
        {"042977p.wav", File, Wave(1, 8000, 16, 1000), -1, 0, 0, 0}, // e-mail copy: passed over
        {"abc.wav", File, Wave(1, 8000, 8, 8000), -1, 0, 0, 0},      // bad name
        {"100006.WAV", File, Wave(1, 8000, 8, 8000), -1, 0, 0, 0},   // bad name (case)
        {"100000.wav", File, Wave(1, 11025, 16, 220'500), 10'000, 16, 11025, 215},
        {"100001.wav", File, Wave(2, 11025, 16, 441'000), 10'000, 16, 11025, 431}, // stereo: frames
        {"100002.wav", File, Wave(1, 8000, 8, 8000), 1'000, 8, 8000, 8},
        {"100003.wav", File, Wave(2, 22050, 8, 11'025), 250, 8, 22050, 11},
        {"100004.wav", File, Wave(1, 8000, 8, 4000, 1'000'000), 500, 8, 8000, 4}, // cut short
        {"100005.wav", Folder, "", -1, 0, 0, 0},
        {"100007.wav", Link, "", -1, 0, 0, 0},
        {recording->FileName + ".wav", File, Wave(1, 11025, 16, 2000), -1, 0, 0, 0},
        {"100008.wav", File, "RIFF", -1, 0, 0, 0}, // unreadable: skipped
        {"100009.wav", File, Wave(1, 8000, 8, 8000), 1'000, 8, 8000, 8},
        {"100010.wav", File, Wave(1, 8000, 8, 8000).substr(0, 20), -1, 0, 0, 0}, // cut short
        {"100011.wav", File, "", -1, 0, 0, 0},                                   // empty
        {"100012.wav", File, "not a wave file at all", -1, 0, 0, 0},
        {"100013.wav", File, Wave(1, 8000, 8, 8000), 1'000, 8, 8000, 8},
    };
    for (const auto& row : rows) {
        const std::string path = StoragePath(row.name);
        switch (row.kind) {
        case File:
            WriteFileBytes(path, row.bytes);
            SetModified(row.name, when);
            break;
        case Folder:
            ASSERT_TRUE(QDir().mkpath(QString::fromStdString(path)));
            break;
        case Link:
            ASSERT_TRUE(QFile::link(QString::fromStdString(StoragePath("100002.wav")),
                                    QString::fromStdString(path)));
            break;
        }
    }
    const std::size_t notesBefore = mCat->Notes().All().size();

    const RestoreResult result = RestoreNotes(*mCat, ReadNoteWaveHeader);

    ASSERT_NE(result.Found, nullptr);
    EXPECT_EQ(result.Found->Name, "Found");
    EXPECT_EQ(result.Found->Parent, mCat->NotesNode());
    EXPECT_EQ(mCat->SelectedFolder(), result.Found);
    EXPECT_EQ(result.BadNames, 2);
    EXPECT_EQ(result.NotFiles, 2);
    EXPECT_EQ(result.SkippedText().toStdString(),
              "2 WAV files were not restored as notes, because their names are not six digits "
              "followed by "
              "\".wav\" as the names of note files are (an e-mail copy, for instance).\n\n"
              "2 entries named like WAV files were not restored, because they are folders or "
              "links, not files.\n\n"
              "4 WAV files were not restored, because they cannot be read:\n" +
                  result.UnreadableReasons.join("\n").toStdString() + "\n(and 1 more)");
    ASSERT_EQ(result.UnreadableReasons.size(), 3);
    EXPECT_NE(result.UnreadableReasons[0].indexOf("100008.wav"), -1)
        << result.UnreadableReasons[0].toStdString();
    EXPECT_NE(result.UnreadableReasons[2].indexOf("100011.wav"), -1)
        << result.UnreadableReasons[2].toStdString();
    EXPECT_EQ(result.Error, QString());
    EXPECT_EQ(result.SaveError, QString());

    // What the user finds afterwards, also in the saved catalogue: one note per restorable file
    // before the bad one, with the header's format and the file's date.
    Reopen();
    mCat->LoadCatalogue();
    const FolderNode* found = nullptr;
    mCat->Folders().ForEachPreOrder([&](FolderNode& n) {
        if (n.Name == "Found") {
            found = &n;
        }
    });
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(mCat->Notes().All().size(), notesBefore + 7);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string name = row.name.substr(0, 6);
        const NoteRecord* note = nullptr;
        for (const auto& n : mCat->Notes().All()) {
            if (n->FileName == name && n->ParentPointer == found) {
                note = n.get();
            }
        }
        if (row.durationMs < 0) {
            EXPECT_EQ(note, nullptr);
            continue;
        }
        ASSERT_NE(note, nullptr);
        EXPECT_EQ(note->Duration, row.durationMs);
        EXPECT_EQ(note->BitRate, row.bits);
        EXPECT_EQ(note->SampleRate, row.rate);
        EXPECT_EQ(note->FileSizeKB, row.sizeKB);
        EXPECT_EQ(note->Description, "");
        EXPECT_EQ(note->Start, LocalTimeFromDateTime(when));
    }
    EXPECT_EQ(NamesIn(found, *mCat),
              (std::vector<std::string>{"100000", "100001", "100002", "100003", "100004", "100009",
                                        "100013"}));
}

TEST_F(Restore, ARecordingThatRunsMeanwhileCompletesItsOwnNote) {
    NoteRecord* recording = mCat->AddRecordedNote(mCat->NotesNode(), "running", 11025, 16);
    WriteFileBytes(StoragePath(recording->FileName + ".wav"), Wave(1, 11025, 16, 2000));
    WriteFileBytes(StoragePath("100000.wav"), Wave(1, 8000, 8, 8000));
    const RestoreResult result = RestoreNotes(*mCat, ReadNoteWaveHeader);
    ASSERT_EQ(result.Restored.size(), 1u);
    mCat->CompleteNote(7, 1234); // the recording stops
    EXPECT_EQ(recording->Duration, 1234);
    EXPECT_EQ(recording->FileSizeKB, 7);
    EXPECT_EQ(result.Restored[0]->Duration, 1000);
}

TEST_F(Restore, EachRunAddsAFoundFolderAndSaves) {
    WriteFileBytes(StoragePath("100000.wav"), Wave(1, 8000, 8, 8000));
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        const RestoreResult result = RestoreNotes(*mCat, ReadNoteWaveHeader);
        EXPECT_EQ(result.Restored.size(), run == 1 ? 1u : 0u);
        EXPECT_EQ(result.Error, QString());
        EXPECT_EQ(result.SkippedText(), QString());
        Reopen();
        mCat->LoadCatalogue();
        int foundFolders = 0;
        mCat->Folders().ForEachPreOrder(
            [&](FolderNode& n) { foundFolders += n.Name == "Found" ? 1 : 0; });
        EXPECT_EQ(foundFolders, run);
        EXPECT_EQ(mCat->Notes().All().size(), 1u);
    }
}

} // namespace
} // namespace tellamo::test
