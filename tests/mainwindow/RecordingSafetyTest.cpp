// What the user recorded survives a power cut, a full disk and a killed program: the recording
// workflow over a simulated disk, and the repair of cut-off recordings at start-up.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>

#include "MainWindowFixture.h"
#include "audio/Audio.h"
#include "audio/WavFormat.h"
#include "catalogue/Catalogue.h"
#include "common/ByteIO.h"
#include "dictaphone/GraphSettings.h"
#include "dictaphone/RecordingRepair.h"
#include "dictaphone/TellamoWav.h"

namespace tellamo::test {
namespace {

class RecordingSafety : public MainWindowFixture {
protected:
    RecordingSafety() {
        Form.Actions().AskDescriptionAction->setChecked(false);
        Form.Actions().SilenceAction->setChecked(false);
        Form.Options().SampleRate = 8000;
        Form.Options().SixteenBit = false;
    }

    // One tenth of a second at 8000 Hz, 8 bits; the window thread then hands the buffer back.
    void Buffer(char value = '\xF0') {
        const std::string data(800, value);
        ASSERT_TRUE(Port.CompleteInput(data.data(), data.size()));
        Poster.ProcessPending();
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
    Form.Audio().Recorder().HeaderInterval = std::chrono::hours(1); // only Stop flushes
    Form.DictaphonePart().RecordActionExecute();
    ASSERT_EQ(Form.Mode(), TDictaphoneMode::mdRecording) << Messages.join("\n").toStdString();
    for (int i = 0; i < 30; ++i) {
        Buffer();
    }
    Form.DictaphonePart().StopActionExecute();
    Disk.PowerLoss();

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
    Form.Audio().Recorder().HeaderInterval = std::chrono::hours(1);
    Form.DictaphonePart().RecordActionExecute();
    ASSERT_EQ(Form.Mode(), TDictaphoneMode::mdRecording);
    const std::string savedBefore = Saved();
    Disk.WriteBudget = 20 * 800 + 300; // two seconds and a bit
    for (int i = 0; i < 25 && Form.Mode() == TDictaphoneMode::mdRecording; ++i) {
        Buffer();
    }
    EXPECT_EQ(Form.Mode(), TDictaphoneMode::mdIdle);
    ASSERT_GE(Messages.size(), 1);
    EXPECT_TRUE(Messages.join("\n").contains(
        "The recording file could not be written: No space left on device\n"
        "The note keeps what was recorded before: 0:00:02"))
        << Messages.join("\n").toStdString();
    EXPECT_TRUE(Messages.join("\n").contains("The catalogue could not be saved"))
        << Messages.join("\n").toStdString();

    const NoteRecord* note = Cat.Notes().LastAddedNote();
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->Duration.value_or(-1), 2000);
    EXPECT_EQ(ReadWaveHeader(WavPath(note)).DataSize, 16000u);
    EXPECT_EQ(ReadFileBytes(WavPath(note)).size(), 44u + 16000);
    EXPECT_EQ(Saved(), savedBefore);
    for (const std::string& name : FolderEntries()) {
        EXPECT_EQ(name.find(".new"), std::string::npos) << name;
    }
    // Room again: the next change saves the completed note.
    Disk.WriteBudget.reset();
    Form.SaveCatalogue();
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
        Messages.clear();
        Disk.FreeBytes = c.Free;
        Answer = c.Answer;
        Form.Options().SixteenBit = c.Sixteen;
        const std::size_t before = Cat.Notes().All().size();
        Form.DictaphonePart().RecordActionExecute();
        EXPECT_EQ(Messages.size(), c.Asked ? 1 : 0);
        if (c.Asked && !Messages.isEmpty()) {
            EXPECT_TRUE(Messages[0].startsWith(
                "The storage folder's disk has room for less than one minute"))
                << Messages[0].toStdString();
            EXPECT_TRUE(Messages[0].contains(c.Free == 8000 * 30 ? "0:00:30" : "0:00:"))
                << Messages[0].toStdString();
        }
        EXPECT_EQ(Form.Mode(), c.Records ? TDictaphoneMode::mdRecording : TDictaphoneMode::mdIdle);
        EXPECT_EQ(Cat.Notes().All().size(), before + (c.Records ? 1 : 0));
        if (Form.Mode() == TDictaphoneMode::mdRecording) {
            Form.DictaphonePart().StopActionExecute();
        }
    }
}

// A power cut while recording, then a new start: the repair gets back all but the last flush
// period and a second. Time runs five times faster here: a 100 ms buffer every 20 ms, the
// header brought up to date every 200 ms (one second of sound) and flushed every second update.
TEST_F(RecordingSafety, AfterAPowerCutTheNextStartRecoversAllButTheLastSeconds) {
    Form.Audio().Recorder().HeaderInterval = std::chrono::milliseconds(200);
    Form.Audio().Recorder().SyncEveryNthUpdate = 2;
    Form.DictaphonePart().RecordActionExecute();
    ASSERT_EQ(Form.Mode(), TDictaphoneMode::mdRecording);
    constexpr int Fed = 80; // eight seconds of sound
    for (int i = 0; i < Fed; ++i) {
        Buffer(static_cast<char>(i % 2 ? '\xF0' : '\x10'));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Disk.PowerLoss();

    auto cat = std::make_unique<Catalogue>(
        Storage(QString::fromStdString(Documents.Path()), "My Voice Notes", "ReadMe.txt"), "Notes",
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

} // namespace
} // namespace tellamo::test
