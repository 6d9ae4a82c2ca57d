// The start-up repair of recordings that were cut off (the program killed, the power gone).
#include "dictaphone/RecordingRepair.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "audio/WavFormat.h"
#include "catalogue/CatalogueFixture.h"
#include "catalogue/NoteTexts.h"
#include "common/ByteIO.h"
#include "dictaphone/GraphSettings.h"
#include "dictaphone/RecordingMarker.h"
#include "dictaphone/TellamoWav.h"
#include "support/CountingFileSystem.h"

namespace tellamo::test {
namespace {

// Built before the catalogue fixture, which writes through it.
struct CountedDisk {
    CountingFileSystem Disk;
};

class RecordingRepair : protected CountedDisk, public CatalogueFixture {
protected:
    RecordingRepair() : CatalogueFixture(Disk) { mCat->NewCatalogue(); }

    std::string WavPath(const NoteRecord* note) const { return Folder() + note->FileName + ".wav"; }
    static std::string Header(std::uint16_t bits, std::uint32_t dataSize, std::uint32_t riffSize) {
        auto h = MakeWaveHeader(1, 8000, bits);
        PutU32(&h[4], riffSize);
        PutU32(&h[40], dataSize);
        return std::string(reinterpret_cast<const char*>(h.data()), h.size());
    }
};

// The repair's cases, on files made by hand.
TEST_F(RecordingRepair, TakesOnlyWhatNeedsIt) {
    const auto header = &RecordingRepair::Header;
    const std::string sound(1001, '\x40');
    const struct {
        const char* Name;
        std::uint16_t Bits;
        std::string File; // empty: no file at all
        bool Complete;    // the record has its duration
        bool Repaired;
        std::size_t SizeAfter; // the file's size after the repair
        std::int32_t DurationAfter;
    } cases[] = {
        {"header says nothing, 16-bit", 16, header(16, 0, 0) + sound, false, true, 1044, 62},
        {"header lags, 8-bit", 8, header(8, 400, 436) + sound, false, true, 1045, 125},
        // Stop completes the file before the record: a complete record is not looked at.
        {"header lags, record complete", 8, header(8, 400, 436) + sound, true, false, 1045, 7},
        {"file complete, record not", 8, header(8, 1001, 1037) + sound, false, true, 1045, 125},
        {"all complete", 8, header(8, 1001, 1037) + sound, true, false, 1045, 7},
        {"a chunk follows the sound", 8,
         header(8, 1000, 1044) + sound.substr(1) + std::string("LIST\x04\0\0\0abcd", 12), true,
         false, 1056, 7},
        // A device that failed mid-recording: the header claims sound that never reached the disk.
        {"header claims more than the file holds", 8, header(8, 262276, 262312) + sound, false,
         true, 1045, 125},
        {"header claims more, half a sample at the end", 16, header(16, 5000, 5036) + sound, false,
         true, 1044, 62},
        {"only a header", 8, header(8, 0, 36), false, false, 44, -1},
        // Killed just after Record: the empty note is reported and its header made valid.
        {"only a header, sizes 0", 8, header(8, 0, 0), false, true, 44, 0},
        {"only a header claiming sound", 16, header(16, 8000, 8036), false, true, 44, 0},
        {"not a WAV file", 8, std::string("RIFF\0\0", 6), false, false, 6, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        NoteRecord* note = mCat->AddRecordedNote(mCat->NotesNode(), c.Name, 8000, c.Bits);
        if (c.Complete) {
            mCat->CompleteNote(note, 1, 7);
        }
        if (!c.File.empty()) {
            WriteFileBytes(WavPath(note), c.File);
        }
        const std::vector<RecoveredNote> recovered =
            RepairInterruptedRecordings(*mCat, GraphSettings{});
        EXPECT_EQ(recovered.size(), c.Repaired ? 1u : 0u);
        EXPECT_EQ(note->Duration.value_or(-1), c.DurationAfter);
        if (!c.File.empty()) {
            const std::string after = ReadFileBytes(WavPath(note));
            EXPECT_EQ(after.size(), c.SizeAfter);
            if (c.Repaired) {
                EXPECT_EQ(ReadWaveHeader(WavPath(note)).DataSize, c.SizeAfter - 44);
                EXPECT_EQ(GetU32(reinterpret_cast<const unsigned char*>(after.data()) + 4),
                          c.SizeAfter - 8);
                EXPECT_EQ(note->FileSizeKB.value_or(-1), (c.SizeAfter + 512) / 1024);
                EXPECT_TRUE(RecoveredNotesText(recovered).contains(ShortTime(c.DurationAfter)));
            } else {
                EXPECT_EQ(after, c.File);
            }
        }
        EXPECT_EQ(FileExists(Folder() + note->FileName + ".bmp"),
                  c.Repaired && c.DurationAfter > 0);
    }
}

// The marker of recordings in progress against what the catalogue and the folder hold: a
// recording no record names comes back as its note, a record the marker proves was made for a
// file that is not there goes, and without that proof a record is never removed.
TEST_F(RecordingRepair, TheMarkerBringsBackWhatTheCatalogueNeverNamed) {
    const std::string sound(1000, '\x40');
    const LocalTimeMs start = At(2026, 12, 1, 9, 30, 0);
    const struct {
        const char* Name;
        bool Marked;
        bool Record;         // a record saved when the recording began names the file
        bool Complete;       // ... and has its duration
        std::string File;    // empty: no file
        std::int32_t Folder; // in the marker: 0 Notes, 1 the folder "Work", else a folder gone
        std::size_t NotesAfter;
        const char* Reported; // the kind reported, or nullptr
        std::int32_t DurationAfter;
    } cases[] = {
        {"recorded, catalogue never saved", true, false, false, Header(8, 0, 0) + sound, 1, 1,
         "recovered", 125},
        {"only its header, catalogue never saved", true, false, false, Header(8, 0, 36), 1, 1,
         "recovered", 0},
        {"a folder that is gone: filed under Notes", true, false, false, Header(8, 0, 0) + sound,
         4711, 1, "recovered", 125},
        {"the marker of a recording that never began", true, false, false, std::string(), 0, 0,
         nullptr, -1},
        {"marked, its file never reached the disk", true, true, false, std::string(), 0, 0,
         "never reached", -1},
        {"marked, complete, file gone since", true, true, true, std::string(), 0, 1, nullptr, 7},
        {"not marked, file missing: only said", false, true, false, std::string(), 0, 1, "missing",
         -1},
        {"marked, header lags: repaired once", true, true, false, Header(8, 400, 436) + sound, 0, 1,
         "recovered", 125},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Reopen();
        mCat->NewCatalogue();
        FolderNode* work = mCat->AddFolder(mCat->NotesNode(), "Work");
        const std::string name = "424242";
        if (c.Record) {
            mCat->AddFoundNote(mCat->NotesNode(), name, start, 8000, 8);
            if (c.Complete) {
                mCat->CompleteNote(1, 7);
            }
        }
        ::unlink((Folder() + name + ".wav").c_str());
        if (!c.File.empty()) {
            WriteFileBytes(Folder() + name + ".wav", c.File);
        }
        if (c.Marked) {
            WriteRecordingMarker(
                RealFileSystem(), Folder(),
                {{name, start, c.Folder == 1 ? work->Id : c.Folder, "dictated\tin the car"}});
        } else {
            RemoveRecordingMarker(RealFileSystem(), Folder());
        }
        const std::vector<RecoveredNote> found =
            RepairInterruptedRecordings(*mCat, GraphSettings{});
        ASSERT_EQ(mCat->Notes().All().size(), c.NotesAfter);
        ASSERT_EQ(found.size(), c.Reported ? 1u : 0u);
        if (c.Reported) {
            const RepairKind kind = std::string(c.Reported) == "recovered" ? RepairKind::Recovered
                                    : std::string(c.Reported) == "missing"
                                        ? RepairKind::FileMissing
                                        : RepairKind::NeverReachedDisk;
            EXPECT_EQ(found[0].Kind, kind);
            EXPECT_EQ(found[0].Start, start);
            EXPECT_TRUE(RecoveredNotesText(found).contains(StartText(start)));
        }
        if (c.NotesAfter == 1) {
            const NoteRecord& note = *mCat->Notes().All().front();
            EXPECT_EQ(note.FileName, name);
            EXPECT_EQ(note.Duration.value_or(-1), c.DurationAfter);
            if (!c.Record) {
                EXPECT_EQ(note.Start, start);
                EXPECT_EQ(note.Description, "dictated in the car");
                EXPECT_EQ(note.ParentPointer, c.Folder == 1 ? work : mCat->NotesNode());
                EXPECT_EQ(note.SampleRate, 8000);
                EXPECT_EQ(note.BitRate, 8);
            }
        }
    }
    // The three kinds in one message, each under its own heading.
    const QString text =
        RecoveredNotesText({{"1", "a", start, 2000, false, RepairKind::Recovered},
                            {"2", "b", start, 0, false, RepairKind::FileMissing},
                            {"3", "c", start, 0, false, RepairKind::NeverReachedDisk}});
    EXPECT_TRUE(text.contains("have been recovered:\n" + StartText(start) + "  0:00:02  a"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("their notes have been removed:\n" + StartText(start) + "  c"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("sound files are missing:\n" + StartText(start) + "  b"))
        << text.toStdString();
}

// The storage folder may be shared or synced: a marker that is not the program's own (a link, a
// FIFO, a directory, a huge file, garbage, names that are paths) brings back nothing, never
// waits and never looks outside the folder.
TEST_F(RecordingRepair, AHostileMarkerIsIgnored) {
    const std::string marker = Folder() + RecordingMarkerName;
    const std::string valid = "Tellamo recording 1\n424242\t0\t0\tx\n";
    const std::string outside = mDocuments.Path() + "/outside";
    WriteFileBytes(outside + ".wav", Header(8, 0, 0) + std::string(800, '\x40'));
    WriteFileBytes(mDocuments.Path() + "/elsewhere", valid);
    const struct {
        const char* Name;
        std::function<void()> Plant;
    } cases[] = {
        {"a link to a marker elsewhere",
         [&] {
             ASSERT_EQ(::symlink((mDocuments.Path() + "/elsewhere").c_str(), marker.c_str()), 0);
         }},
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(marker.c_str(), 0600), 0); }},
        {"a directory", [&] { ASSERT_EQ(::mkdir(marker.c_str(), 0700), 0); }},
        {"a huge file", [&] { WriteFileBytes(marker, valid + std::string(100'000, 'x')); }},
        {"garbage",
         [&] {
             static const char bytes[] = "\xff\0\x01garbage\n424242";
             WriteFileBytes(marker, std::string(bytes, sizeof bytes - 1));
         }},
        {"no header line", [&] { WriteFileBytes(marker, "424242\t0\t0\tx\n"); }},
        {"paths and bad numbers",
         [&] {
             WriteFileBytes(marker, "Tellamo recording 1\n../outside\t0\t0\tx\n" + outside +
                                        "\t0\t0\tx\n424242\tsoon\t0\tx\n"
                                        "4242420\t0\t0\tx\n424242\t0\n");
         }},
    };
    WriteFileBytes(Folder() + "424242.wav", Header(8, 0, 0) + std::string(800, '\x40'));
    WriteFileBytes(Folder() + "4242420.wav", Header(8, 0, 0) + std::string(800, '\x40'));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        c.Plant();
        EXPECT_TRUE(ReadRecordingMarker(RealFileSystem(), Folder()).empty());
        EXPECT_TRUE(RepairInterruptedRecordings(*mCat, GraphSettings{}).empty());
        EXPECT_TRUE(mCat->Notes().All().empty());
        ::rmdir(marker.c_str());
        ::unlink(marker.c_str());
    }
    // The same folder with the program's own marker: the recording comes back.
    WriteFileBytes(marker, valid);
    EXPECT_EQ(RepairInterruptedRecordings(*mCat, GraphSettings{}).size(), 1u);
    EXPECT_EQ(ReadFileBytes(outside + ".wav").size(), 844u);
}

// Past what a WAV header's 32-bit sizes can declare (a recording of more than 4 GiB cut off):
// nothing of the file is cut, its header declares the most it can, and the user is told. The file
// system claims the size: a sparse file as large would take the graph minutes to read.
TEST_F(RecordingRepair, AFileTooLargeForItsHeaderIsKeptWhole) {
    NoteRecord* note = mCat->AddRecordedNote(mCat->NotesNode(), "long", 8000, 8);
    const std::string sound(1001, '\x40');
    WriteFileBytes(WavPath(note), Header(8, 0, 0) + sound);
    Disk.ClaimedSizes[WavPath(note)] = 4'500'000'000;

    const std::vector<RecoveredNote> recovered =
        RepairInterruptedRecordings(*mCat, GraphSettings{});
    ASSERT_EQ(recovered.size(), 1u);
    EXPECT_TRUE(recovered[0].KeptWhole);
    EXPECT_EQ(Disk.Truncates, 0);
    const std::string after = ReadFileBytes(WavPath(note));
    ASSERT_EQ(after.size(), 44u + sound.size());
    EXPECT_EQ(after.substr(44), sound);
    const auto* bytes = reinterpret_cast<const unsigned char*>(after.data());
    EXPECT_EQ(GetU32(bytes + 4), 0xFFFFFFFFu - 8);
    EXPECT_EQ(GetU32(bytes + 40), 0xFFFFFFFFu - 44);
    // All of it counts: 4,499,999,956 samples at 8000 Hz.
    EXPECT_EQ(recovered[0].DurationMs, 562'499'994);
    EXPECT_EQ(note->FileSizeKB.value_or(-1), 4'394'531);
    EXPECT_TRUE(RecoveredNotesText(recovered).contains("kept whole"));
}

// A lifetime of complete notes whose files are all gone (a folder restored without its sound,
// say): the repair looks at none of them, so the start-up does not grow with their number.
TEST_F(RecordingRepair, LooksAtNoFileOfACompleteNote) {
    for (int i = 0; i < 100'000; ++i) {
        mCat->AddFoundNote(mCat->NotesNode(), std::to_string(100'000 + i),
                           At(2004, 3, 15, 14, 30, 0), 11025, 16);
        mCat->CompleteNote(100, 1000 + i);
    }
    Disk.Calls = 0;
    EXPECT_TRUE(RepairInterruptedRecordings(*mCat, GraphSettings{}).empty());
    EXPECT_EQ(Disk.Calls, 1); // the look for the marker of recordings in progress
}

} // namespace
} // namespace tellamo::test
