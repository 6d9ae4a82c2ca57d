// What the user recorded survives a power cut, a full disk and a killed program: the recording
// workflow over a simulated disk, and the repair of cut-off recordings at start-up.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QLabel>
#include <QLineEdit>

#include "MainWindowFixture.h"
#include "audio/Audio.h"
#include "audio/Recorder.h"
#include "audio/WavFormat.h"
#include "catalogue/Catalogue.h"
#include "common/ByteIO.h"
#include "dictaphone/GraphSettings.h"
#include "dictaphone/RecordingMarker.h"
#include "dictaphone/RecordingRepair.h"
#include "dictaphone/TellamoWav.h"

namespace tellamo::test {
namespace {

class RecordingSafety : public MainWindowFixture {
protected:
    RecordingSafety() {
        mForm.Actions().AskDescriptionAction->setChecked(false);
        mForm.Actions().SilenceAction->setChecked(false);
        mForm.Options().SampleRate = 8000;
        mForm.Options().SixteenBit = false;
    }

    // One tenth of a second at 8000 Hz, 8 bits; the window thread then hands the buffer back.
    void Buffer(char value = '\xF0') {
        const std::string data(800, value);
        ASSERT_TRUE(mPort.CompleteInput(data.data(), data.size()));
        mPoster.ProcessPending();
    }
    std::string WavPath(const NoteRecord* note) const { return Folder() + note->FileName + ".wav"; }
    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const QString& name : QDir(QString::fromStdString(Folder())).entryList(QDir::Files)) {
            names.push_back(name.toStdString());
        }
        return names;
    }
};

// A power cut soon after Stop: the catalogue lists no more sound than the disk holds, and the
// read-me written for the new folder is there too.
TEST_F(RecordingSafety, APowerCutAfterStopKeepsEverythingTheCatalogueLists) {
    mForm.Audio().Recorder().HeaderInterval = std::chrono::hours(1); // only Stop flushes
    mForm.DictaphonePart().RecordActionExecute();
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdRecording) << mMessages.join("\n").toStdString();
    for (int i = 0; i < 30; ++i) {
        Buffer();
    }
    mForm.DictaphonePart().StopActionExecute();
    mDisk.PowerLoss();

    const auto cat = Reloaded();
    ASSERT_EQ(cat->Notes().All().size(), 1u);
    const NoteRecord& note = *cat->Notes().All().front();
    EXPECT_EQ(note.Duration.value_or(-1), 3000);
    const std::string wav = ReadFileBytes(WavPath(&note));
    ASSERT_EQ(wav.size(), 44u + 24000);
    EXPECT_EQ(ReadWaveHeader(WavPath(&note)).DataSize, 24000u);
    EXPECT_EQ(note.FileSizeKB.value_or(-1), 23); // 24044 / 1024
    EXPECT_NE(ReadFileBytes(Folder() + "ReadMe.txt").find("voice notes"), std::string::npos);
}

// A full disk while recording: the recording ends at once with what was written, the user is told
// why and how much was kept, and the failed catalogue save leaves no half-written file behind.
TEST_F(RecordingSafety, AFullDiskEndsTheRecordingWithWhatWasWritten) {
    mForm.Audio().Recorder().HeaderInterval = std::chrono::hours(1);
    mForm.DictaphonePart().RecordActionExecute();
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdRecording);
    const std::string savedBefore = Saved();
    mDisk.WriteBudget = 20 * 800 + 300; // two seconds and a bit
    for (int i = 0; i < 25 && mForm.Mode() == TDictaphoneMode::mdRecording; ++i) {
        Buffer();
    }
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle);
    ASSERT_GE(mMessages.size(), 1);
    EXPECT_TRUE(mMessages.join("\n").contains(
        "The recording file could not be written: No space left on device\n"
        "The note keeps what was recorded before: 0:00:02"))
        << mMessages.join("\n").toStdString();
    EXPECT_TRUE(mMessages.join("\n").contains("The catalogue could not be saved"))
        << mMessages.join("\n").toStdString();

    const NoteRecord* note = mCat.Notes().LastAddedNote();
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->Duration.value_or(-1), 2000);
    EXPECT_EQ(ReadWaveHeader(WavPath(note)).DataSize, 16000u);
    EXPECT_EQ(ReadFileBytes(WavPath(note)).size(), 44u + 16000);
    EXPECT_EQ(Saved(), savedBefore);
    for (const std::string& name : FolderEntries()) {
        EXPECT_EQ(name.find(".new"), std::string::npos) << name;
    }
    // Room again: the next change saves the completed note.
    mDisk.WriteBudget.reset();
    mForm.SaveCatalogue();
    EXPECT_EQ(Reloaded()->Notes().All().front()->Duration.value_or(-1), 2000);
}

// Before recording, a disk with room for less than a minute of the chosen format is named and
// the user decides.
TEST_F(RecordingSafety, LittleRoomLeftAsksBeforeRecording) {
    const struct {
        bool Sixteen;
        std::uint64_t Free;
        bool Answer;
        bool Asked;
        bool Records;
    } cases[] = {
        {false, 8000 * 60, true, false, true},      // exactly a minute
        {false, 8000 * 60 - 1, false, true, false}, // declined: nothing is added
        {false, 8000 * 30, true, true, true},       // accepted
        {true, 8000 * 60, false, true, false},      // 16-bit takes twice the room
        {true, 16000 * 60, false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Sixteen << " " << c.Free);
        mMessages.clear();
        mDisk.FreeBytes = c.Free;
        mAnswer = c.Answer;
        mForm.Options().SixteenBit = c.Sixteen;
        const std::size_t before = mCat.Notes().All().size();
        mForm.DictaphonePart().RecordActionExecute();
        EXPECT_EQ(mMessages.size(), c.Asked ? 1 : 0);
        if (c.Asked && !mMessages.isEmpty()) {
            EXPECT_TRUE(mMessages[0].startsWith(
                "The storage folder's disk has room for less than one minute"))
                << mMessages[0].toStdString();
            EXPECT_TRUE(mMessages[0].contains(c.Free == 8000 * 30 ? "0:00:30" : "0:00:"))
                << mMessages[0].toStdString();
        }
        EXPECT_EQ(mForm.Mode(), c.Records ? TDictaphoneMode::mdRecording : TDictaphoneMode::mdIdle);
        EXPECT_EQ(mCat.Notes().All().size(), before + (c.Records ? 1 : 0));
        if (mForm.Mode() == TDictaphoneMode::mdRecording) {
            mForm.DictaphonePart().StopActionExecute();
        }
    }
}

// A power cut while recording, then a new start: the repair gets back all but the last flush
// period and a second. Time runs five times faster here: a 100 ms buffer every 20 ms, the
// header brought up to date every 200 ms (one second of sound) and flushed every second update.
TEST_F(RecordingSafety, AfterAPowerCutTheNextStartRecoversAllButTheLastSeconds) {
    mForm.Audio().Recorder().HeaderInterval = std::chrono::milliseconds(200);
    mForm.Audio().Recorder().SyncEveryNthUpdate = 2;
    mForm.DictaphonePart().RecordActionExecute();
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdRecording);
    constexpr int Fed = 80; // eight seconds of sound
    for (int i = 0; i < Fed; ++i) {
        Buffer(static_cast<char>(i % 2 ? '\xF0' : '\x10'));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    mDisk.PowerLoss();

    auto cat = std::make_unique<Catalogue>(
        Storage(QString::fromStdString(mDocuments.Path()), "My Voice Notes", "ReadMe.txt"), "Notes",
        "Recycle Bin", RealFileSystem());
    cat->LoadCatalogue();
    ASSERT_EQ(cat->Notes().All().size(), 1u);
    NoteRecord& note = *cat->Notes().All().front();
    EXPECT_EQ(note.Duration.value_or(0), 0); // saved when the recording began
    const std::vector<RecoveredNote> recovered = RepairInterruptedRecordings(*cat, GraphSettings{});
    ASSERT_EQ(recovered.size(), 1u);
    ASSERT_EQ(cat->SaveCatalogue(), QString());

    const std::string wav = ReadFileBytes(WavPath(&note));
    const WaveInfo info = ReadWaveHeader(WavPath(&note));
    EXPECT_EQ(info.DataSize + 44, wav.size());
    EXPECT_EQ(GetU32(reinterpret_cast<const unsigned char*>(wav.data()) + 4), wav.size() - 8);
    // All but the flush period (two seconds of sound) and one second more.
    EXPECT_GE(info.DataSize, static_cast<std::uint32_t>((Fed - 30) * 800)) << info.DataSize;
    EXPECT_EQ(note.Duration.value_or(-1), static_cast<std::int32_t>(info.DataSize / 8));
    EXPECT_EQ(recovered[0].DurationMs, note.Duration.value_or(-1));
    EXPECT_EQ(recovered[0].FileName, note.FileName);
    EXPECT_TRUE(FileExists(Folder() + note.FileName + ".bmp"));
    const QString text = RecoveredNotesText(recovered);
    EXPECT_TRUE(text.startsWith("These recordings were cut off and have been recovered:\n"))
        << text.toStdString();
    EXPECT_TRUE(text.contains(ShortTime(note.Duration.value_or(0)))) << text.toStdString();
    // Saved: the next start finds nothing more to repair.
    auto again = Reloaded();
    EXPECT_EQ(again->Notes().All().front()->Duration, note.Duration);
    EXPECT_TRUE(RepairInterruptedRecordings(*again, GraphSettings{}).empty());
}

// One main window over its own folder and simulated disk, for a test that needs many.
struct Rig final : RecordingSafety {
    void TestBody() override {}
    using RecordingSafety::Folder;
    using RecordingSafety::mDisk;
    using RecordingSafety::mForm;
    using RecordingSafety::mMessages;
    using RecordingSafety::Reloaded;
    using RecordingSafety::WavPath;
};

// The power goes at each step of Record in turn (every write, flush, rename and folder flush of
// the sound file, the marker and the catalogue): whatever the catalogue on the disk then names has
// its sound file with a whole header, and the next start leaves no note without its file.
TEST_F(RecordingSafety, APowerCutAtAnyStepOfRecordLeavesNoNoteWithoutItsFile) {
    int at = 1;
    for (;; ++at) {
        SCOPED_TRACE(testing::Message() << "power lost at call " << at);
        Rig rig;
        rig.mForm.Audio().Recorder().HeaderInterval = std::chrono::hours(1);
        rig.mDisk.PowerLossAtCall = at;
        try {
            rig.mForm.DictaphonePart().RecordActionExecute();
        } catch (const std::exception&) {
            // the disk is gone: what counts is what it holds
        }
        const bool cut = rig.mDisk.PoweredOff();
        if (rig.mForm.Mode() == TDictaphoneMode::mdRecording) {
            try {
                rig.mForm.DictaphonePart().StopActionExecute();
            } catch (const std::exception&) {
            }
        }
        if (!cut) {
            break; // Record ran to its end: every step before it has had its power cut
        }
        if (!FileExists(rig.Folder() + "Tellamo.dat")) {
            continue;
        }
        const auto cat = rig.Reloaded();
        for (const auto& note : cat->Notes().All()) {
            EXPECT_NO_THROW(ReadWaveHeader(rig.WavPath(note.get()))) << note->FileName;
        }
        for (const RecoveredNote& found : RepairInterruptedRecordings(*cat, GraphSettings{})) {
            EXPECT_NE(found.Kind, RepairKind::FileMissing) << found.FileName;
        }
    }
    EXPECT_GT(at, 8); // the file, its folder, the marker and the catalogue each had their turn
}

// Catalogue saves fail (a full disk for the index file), the user records, and the program is
// killed: the next start brings the recording back as its note, in its folder with its
// description, and says so once; the marker goes with the save that names it.
TEST_F(RecordingSafety, ARecordingTheCatalogueNeverNamedComesBackAtTheNextStart) {
    mForm.Audio().Recorder().HeaderInterval = std::chrono::hours(1);
    // The index file's temporary name taken by a folder that cannot be removed: every save fails.
    ASSERT_EQ(::mkdir((Folder() + "Tellamo.new").c_str(), 0700), 0);
    WriteFileBytes(Folder() + "Tellamo.new/x", "x");
    mDescription.DescriptionEdit->setText("kept through a crash");
    mForm.DictaphonePart().RecordActionExecute();
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdRecording) << mMessages.join("\n").toStdString();
    EXPECT_TRUE(mMessages.join("\n").contains("The catalogue could not be saved"))
        << mMessages.join("\n").toStdString();
    for (int i = 0; i < 20; ++i) {
        Buffer();
    }
    const std::string name = mCat.Notes().LastAddedNote()->FileName;
    // Killed here: the recording's header still declares no sound, and the window never closes
    // before the next start looks at the folder.
    ::unlink((Folder() + "Tellamo.new/x").c_str());
    ::rmdir((Folder() + "Tellamo.new").c_str());

    // The next start over the same folder.
    auto cat = std::make_unique<Catalogue>(
        Storage(QString::fromStdString(mDocuments.Path()), "My Voice Notes", "ReadMe.txt"), "Notes",
        "Recycle Bin", RealFileSystem());
    cat->NewCatalogue(); // no index file was ever saved
    const std::vector<RecoveredNote> found = RepairInterruptedRecordings(*cat, GraphSettings{});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Kind, RepairKind::Recovered);
    ASSERT_EQ(cat->Notes().All().size(), 1u);
    const NoteRecord& note = *cat->Notes().All().front();
    EXPECT_EQ(note.FileName, name);
    EXPECT_EQ(note.Description, "kept through a crash");
    EXPECT_EQ(note.ParentPointer, cat->NotesNode());
    EXPECT_GT(note.Duration.value_or(0), 0);
}

// At start-up through the window: the marker goes once the catalogue is saved, and a note whose
// file is missing is named at one start, not at every start.
TEST_F(RecordingSafety, TheStartUpSaysOnceWhatItFoundAndDropsTheMarker) {
    WriteRecordingMarker(RealFileSystem(), Folder(), {{"777777", 0, 0, "back"}});
    WriteFileBytes(
        Folder() + "777777.wav",
        std::string(reinterpret_cast<const char*>(MakeWaveHeader(1, 8000, 8).data()), 44) +
            std::string(800, '\x40'));
    NoteRecord* ghost = mCat.AddRecordedNote(mCat.NotesNode(), "ghost", 8000, 8);
    const QString first = mForm.RecoverInterruptedRecordings();
    EXPECT_TRUE(first.contains("have been recovered:")) << first.toStdString();
    EXPECT_TRUE(first.contains("sound files are missing:")) << first.toStdString();
    EXPECT_TRUE(first.contains("ghost")) << first.toStdString();
    EXPECT_FALSE(FileExists(Folder() + RecordingMarkerName));
    EXPECT_EQ(Reloaded()->Notes().All().size(), 2u);
    EXPECT_EQ(mForm.RecoverInterruptedRecordings(), QString());
    EXPECT_EQ(mCat.Notes().All().size(), 2u); // the record without its file is kept
    // Another note found without its file is named; the one named before is not again.
    mCat.AddRecordedNote(mCat.NotesNode(), "second ghost", 8000, 8);
    const QString third = mForm.RecoverInterruptedRecordings();
    EXPECT_TRUE(third.contains("second ghost")) << third.toStdString();
    EXPECT_FALSE(third.contains("  ghost")) << third.toStdString();
    (void)ghost;
}

// Long before the header's 32-bit sizes run out, the recording goes on in a new note: every
// sample lands in exactly one of the files, in order, each file is whole with its own record in
// the recording's folder, and the description carries the part's number where it has room.
TEST_F(RecordingSafety, ALongRecordingGoesOnInANewNoteWithNoSoundLostAtTheSeam) {
    const std::string longText(NoteRecord::DescriptionBytes - 2, 'd');
    for (const std::string& description : {std::string("Lecture"), longText}) {
        SCOPED_TRACE(description.size());
        const std::size_t before = mCat.Notes().All().size();
        FolderNode* lectures = mCat.AddFolder(mCat.NotesNode(), "Lectures");
        mCat.SelectFolder(lectures);
        mDescription.DescriptionEdit->setText(QString::fromStdString(description));
        TRecorder& recorder = mForm.Audio().Recorder();
        recorder.HeaderInterval = std::chrono::hours(1);
        recorder.ContinueAtSize = 44 + 8000; // a second of sound per file
        recorder.PrepareMargin = 1600;
        mForm.DictaphonePart().RecordActionExecute();
        ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdRecording) << mMessages.join("\n").toStdString();
        std::string fed;
        // Ten buffers a file; the last part has come near enough its end for a fourth part to be
        // made ready, which Stop drops again.
        for (int i = 0; i < 28; ++i) {
            std::string data(800, '\0');
            for (std::size_t k = 0; k < data.size(); ++k) {
                data[k] = static_cast<char>((i * 800 + k) * 7 % 251);
            }
            fed += data;
            ASSERT_TRUE(mPort.CompleteInput(data.data(), data.size()));
            mPoster.ProcessPending();
        }
        mForm.DictaphonePart().StopActionExecute();
        EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();

        const auto cat = Reloaded();
        ASSERT_EQ(cat->Notes().All().size(), before + 3);
        std::string joined;
        std::int64_t total = 0;
        int part = 1;
        for (std::size_t n = before; n < before + 3; ++n) {
            const NoteRecord* note = cat->Notes().All()[n].get();
            SCOPED_TRACE(part);
            const std::string wav = ReadFileBytes(WavPath(note));
            const WaveInfo info = ReadWaveHeader(WavPath(note));
            EXPECT_EQ(info.DataSize + 44, wav.size());
            EXPECT_LE(wav.size(), 44u + 8000);
            joined += wav.substr(44);
            EXPECT_EQ(note->Duration.value_or(-1), static_cast<std::int32_t>(info.DataSize / 8));
            EXPECT_EQ(note->FileSizeKB.value_or(-1),
                      static_cast<std::int32_t>((wav.size() + 512) / 1024));
            total += note->Duration.value_or(0);
            EXPECT_EQ(note->FolderID, lectures->Id);
            const std::string mark = part == 1 ? "" : " (" + std::to_string(part) + ")";
            EXPECT_EQ(note->Description,
                      description.size() + mark.size() <= NoteRecord::DescriptionBytes
                          ? description + mark
                          : description);
            ++part;
        }
        EXPECT_EQ(joined, fed); // bit-exact across both seams
        EXPECT_EQ(total, 2800);
        EXPECT_FALSE(FileExists(Folder() + RecordingMarkerName));
        // No file of a part the recording never reached is left behind.
        std::size_t wavs = 0;
        for (const std::string& name : FolderEntries()) {
            wavs += name.size() > 4 && name.substr(name.size() - 4) == ".wav";
        }
        EXPECT_EQ(wavs, 3u * (description == longText ? 2 : 1));
    }
}

} // namespace
} // namespace tellamo::test
