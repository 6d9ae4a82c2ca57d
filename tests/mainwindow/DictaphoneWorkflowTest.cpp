#include <cerrno>

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "MainWindowFixture.h"
#include "audio/Audio.h"
#include "audio/WavFormat.h"
#include "audio/WindowPoster.h"
#include "catalogue/Catalogue.h"
#include "catalogue/NoteFilter.h"
#include "catalogue/NoteTexts.h"
#include "common/ByteIO.h"
#include "common/Errors.h"
#include "common/FileSystem.h"
#include "dialogs/TDescriptionForm.h"
#include "dictaphone/GraphBitmap.h"
#include "dictaphone/GraphSettings.h"
#include "dictaphone/MediaPlayer.h"
#include "dictaphone/SleepInhibitor.h"
#include "mainwindow/GraphWidgets.h"
#include "mainwindow/Messages.h"
#include "mainwindow/TellamoMainForm.h"
#include "support/FakeWavePort.h"
#include "support/FaultyFileSystem.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

// The main window over a fake sound card and a fresh storage folder. The test plays the device:
// it hands the recorder full buffers and runs the window thread's posts in between.
class Workflow : public MainWindowFixture {
protected:
    Workflow() {
        mForm.Actions().AskDescriptionAction->setChecked(false);
        mForm.Options().SampleRate = 8000;
        mForm.Options().SixteenBit = false;
        mForm.Options().NoiseLevelPercent = 10;
    }

    // One buffer of a tenth of a second at 8000 Hz, 8 bits: loud or silent.
    void Buffer(bool loud) {
        const std::string data(800, loud ? '\xF0' : '\x80');
        ASSERT_TRUE(mPort.CompleteInput(data.data(), data.size()));
        mPoster.ProcessPending();
    }
    std::string WavOf(const NoteRecord* note) const {
        return ReadFileBytes(Folder() + note->FileName + ".wav");
    }
    // A note's sound file of the given size in the storage folder, 8000 Hz, 8 bits, loud.
    void WriteLoudNote(const std::string& name, std::uint32_t bytes) const {
        const auto header = MakeWaveHeader(1, 8000, 8);
        std::string wav(reinterpret_cast<const char*>(header.data()), header.size());
        wav += std::string(bytes, '\xF0');
        PutU32(reinterpret_cast<unsigned char*>(wav.data() + 40), bytes);
        WriteFileBytes(Folder() + name + ".wav", wav);
    }
};

TEST_F(Workflow, AThousandFullBuffersMakeA100SecondNote) {
    mForm.DictaphonePart().RecordActionExecute();
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdRecording) << mMessages.join("\n").toStdString();
    EXPECT_EQ(mPort.LastFormat().SamplesPerSec, 8000u);
    EXPECT_EQ(mForm.Audio().Recorder().NoSamples(), 800);
    for (int i = 0; i < 1000; ++i) {
        Buffer(i % 2 == 0);
    }
    EXPECT_EQ(NamedChild<QLabel>(mForm, "TimeLabel").text(), "0:01:40");
    const std::string partial(300, '\xF0');
    mPort.FillInputPartly(partial.data(), partial.size()); // in hand at the stop: dropped
    mForm.DictaphonePart().StopActionExecute();
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle);
    const NoteRecord* note = mCat.Notes().LastAddedNote();
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(WavOf(note).size(), 800'044u);
    EXPECT_EQ(DurationText(note->Duration), "0:01:40");
    EXPECT_EQ(note->FileSizeKB, 781);
    EXPECT_EQ(note->SampleRate, 8000);
    EXPECT_EQ(note->BitRate, 8);
    // The catalogue on disk knows the completed note.
    EXPECT_NE(ReadFileBytes(mDocuments.Path() + "/My Voice Notes/Tellamo.dat").find(note->FileName),
              std::string::npos);
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
}

TEST_F(Workflow, SilenceIsLeftOutWhenTheOptionIsOn) {
    mForm.Actions().SilenceAction->setChecked(true);
    mForm.DictaphonePart().RecordActionExecute();
    for (int i = 0; i < 100; ++i) {
        Buffer(true);
    }
    for (int i = 0; i < 200; ++i) {
        Buffer(false);
    }
    mForm.DictaphonePart().StopActionExecute();
    const NoteRecord* note = mCat.Notes().LastAddedNote();
    EXPECT_EQ(note->Duration, 10'400) << "ten loud seconds and the four quiet buffers after them";
    EXPECT_EQ(WavOf(note).size(), 44u + 104 * 800);
}

TEST_F(Workflow, TotalSilenceRecordsNothing) {
    mForm.Actions().SilenceAction->setChecked(true);
    NamedChild<QLabel>(mForm, "TimeLabel").setText("0:00:07|0:00:07");
    mForm.DictaphonePart().RecordActionExecute();
    for (int i = 0; i < 30; ++i) {
        Buffer(false);
    }
    EXPECT_EQ(NamedChild<QLabel>(mForm, "TimeLabel").text(), "0:00:00")
        << "the recording's length so far, while it waits for speech";
    mForm.DictaphonePart().StopActionExecute();
    const NoteRecord* note = mCat.Notes().LastAddedNote();
    EXPECT_EQ(WavOf(note).size(), 44u);
    EXPECT_EQ(DurationText(note->Duration), "0:00:00");
    EXPECT_EQ(note->FileSizeKB, 0);
}

TEST_F(Workflow, AHiddenNewNoteStillGetsItsRecording) {
    NoteRecord* old = mCat.AddFoundNote(mCat.NotesNode(), "000001", 0, 8000, 8);
    old->Description = "shown";
    mCat.Notes().SetFilter(NoteFilter({mCat.NotesNode(), false, true, false, "shown"}));
    mCat.Notes().SetCurrent(old);
    mDescription.DescriptionEdit->setText("not matching");
    mForm.DictaphonePart().RecordActionExecute();
    for (int i = 0; i < 5; ++i) {
        Buffer(true);
    }
    mForm.DictaphonePart().StopActionExecute();
    const NoteRecord* recorded = mCat.Notes().LastAddedNote();
    EXPECT_NE(recorded, old);
    EXPECT_EQ(recorded->Description, "not matching");
    EXPECT_EQ(recorded->Duration, 500);
    EXPECT_EQ(WavOf(recorded).size(), 4'044u);
    EXPECT_EQ(recorded->FileSizeKB, 4) << "3.95 KB rounds to the nearest kilobyte";
    EXPECT_FALSE(old->Duration.has_value());
    EXPECT_EQ(mCat.Notes().Current(), old);
}

TEST_F(Workflow, CancellingLeavesTheCatalogueUnchanged) {
    FolderNode* inBin = mCat.AddFolder(mCat.RecycleBinNode(), "Old");
    mCat.SelectFolder(inBin);
    mAnswer = false;
    mForm.DictaphonePart().RecordActionExecute();
    EXPECT_EQ(mMessages, QStringList{"The note will be created in the Recycle Bin. Are you sure?"});
    EXPECT_TRUE(mCat.Notes().All().empty());
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle);

    mCat.SelectFolder(mCat.NotesNode());
    mForm.Actions().AskDescriptionAction->setChecked(true);
    QTimer::singleShot(0, &mDescription, [&] { mDescription.reject(); });
    mForm.DictaphonePart().RecordActionExecute();
    EXPECT_TRUE(mCat.Notes().All().empty());
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle);
}

TEST_F(Workflow, ADeviceThatCannotRecordIsShownAndTheNoteStaysEmpty) {
    mPort.ErrorTexts[-5] = "No such device";
    mPort.Fail(FakeCall::OpenInput, -5);
    mForm.DictaphonePart().RecordActionExecute();
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle);
    ASSERT_EQ(mMessages.size(), 1);
    EXPECT_EQ(mMessages[0].toStdString(),
              "Could not open the input device for recording:  No such device");
    ASSERT_EQ(mCat.Notes().All().size(), 1u);
    EXPECT_FALSE(mCat.Notes().All()[0]->Duration.has_value());
}

// The desktop is kept from suspending exactly while a recording runs, whichever way it ends:
// Stop, a write that fails (a full disk), the window closing; a recording that never started
// asks for nothing.
TEST_F(Workflow, TheComputerIsKeptAwakeExactlyWhileRecording) {
    struct LoggingInhibitor : SleepInhibitor {
        void Inhibit(const QString& reason) override {
            Log << "inhibit " + reason;
            Held = true;
        }
        void Release() override {
            if (Held) {
                Log << QStringLiteral("release");
            }
            Held = false;
        }
        QStringList Log;
        bool Held = false;
    } inhibitor;
    mForm.SetSleepInhibitor(&inhibitor);
    mForm.Audio().Recorder().HeaderInterval = std::chrono::hours(1);
    const std::string once = "inhibit Recording a voice note / release";
    const auto log = [&inhibitor] { return inhibitor.Log.join(" / ").toStdString(); };

    mForm.DictaphonePart().RecordActionExecute();
    Buffer(true);
    EXPECT_TRUE(inhibitor.Held);
    mForm.DictaphonePart().PauseActionExecute(); // a pause is still a recording
    EXPECT_TRUE(inhibitor.Held);
    mForm.DictaphonePart().StopActionExecute();
    EXPECT_EQ(log(), once);

    inhibitor.Log.clear();
    mForm.DictaphonePart().RecordActionExecute();
    mDisk.WriteBudget = 3 * 800;
    for (int i = 0; i < 10 && mForm.Mode() == TDictaphoneMode::mdRecording; ++i) {
        Buffer(true);
    }
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle) << "the full disk ended the recording";
    EXPECT_EQ(log(), once) << "after a failed write";
    mDisk.WriteBudget.reset();

    inhibitor.Log.clear();
    mPort.Fail(FakeCall::OpenInput, -5);
    mForm.DictaphonePart().RecordActionExecute();
    EXPECT_EQ(log(), "") << "a device that cannot record";

    // The file taken away during the recording: Stop says so, and the recording is over.
    inhibitor.Log.clear();
    mForm.DictaphonePart().RecordActionExecute();
    Buffer(true);
    const NoteRecord* note = mCat.Notes().LastAddedNote();
    ASSERT_NE(note, nullptr);
    ASSERT_TRUE(QFile::remove(mCat.Files().NoteWavPath(note->FileName)));
    EXPECT_THROW(mForm.DictaphonePart().StopActionExecute(), TellamoError);
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle);
    EXPECT_EQ(log(), once) << "after a recording whose file went away";

    inhibitor.Log.clear();
    mForm.DictaphonePart().RecordActionExecute();
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdRecording);
    mForm.close();
    EXPECT_EQ(log(), once) << "at the exit";
    mForm.SetSleepInhibitor(nullptr);
}

// The capture thread may hand over its first buffer before the window has switched to
// recording; that sound is in the file, so it must be in the note's duration as well.
TEST_F(Workflow, ABufferCapturedWhileTheRecordingStartsCountsInTheDuration) {
    struct EarlyBuffer : SleepInhibitor {
        explicit EarlyBuffer(FakeWavePort& port) : Port(port) {}
        void Inhibit(const QString&) override {
            const std::string data(800, '\xF0');
            Delivered = Port.CompleteInput(data.data(), data.size());
        }
        void Release() override {}
        FakeWavePort& Port;
        bool Delivered = false;
    } early(mPort);
    mForm.SetSleepInhibitor(&early);
    mForm.DictaphonePart().RecordActionExecute();
    ASSERT_TRUE(early.Delivered);
    mPoster.ProcessPending();
    Buffer(true);
    mForm.DictaphonePart().StopActionExecute();
    mForm.SetSleepInhibitor(nullptr);
    const NoteRecord* note = mCat.Notes().LastAddedNote();
    EXPECT_EQ(WavOf(note).size(), 44u + 1600u);
    EXPECT_EQ(note->Duration, 200);
}

TEST_F(Workflow, PauseDropsTheSoundAndStopResumesFirst) {
    mForm.DictaphonePart().RecordActionExecute();
    Buffer(true);
    mForm.DictaphonePart().PauseActionExecute();
    EXPECT_TRUE(mForm.Actions().PauseAction->isChecked());
    Buffer(true);
    Buffer(true);
    EXPECT_EQ(mForm.DictaphonePart().RecordedSamples(), 800);
    mForm.DictaphonePart().StopActionExecute();
    EXPECT_FALSE(mForm.Actions().PauseAction->isChecked());
    EXPECT_EQ(mCat.Notes().LastAddedNote()->Duration, 100);
}

TEST_F(Workflow, StoppingBuildsAndShowsTheNotesGraph) {
    mForm.resize(640, 480);
    mForm.DictaphonePart().RecordActionExecute();
    EXPECT_TRUE(NamedChild<SoundPaintBox>(mForm, "SoundPaintBox").isVisibleTo(&mForm));
    EXPECT_FALSE(NamedChild<GraphImage>(mForm, "GraphImage").isVisibleTo(&mForm));
    for (int i = 0; i < 20; ++i) {
        Buffer(true);
    }
    mForm.DictaphonePart().StopActionExecute();
    const NoteRecord* note = mCat.Notes().LastAddedNote();
    const std::string graph = mDocuments.Path() + "/My Voice Notes/" + note->FileName + ".bmp";
    EXPECT_EQ(ReadFileBytes(graph).size(), 76918u);
    EXPECT_FALSE(NamedChild<SoundPaintBox>(mForm, "SoundPaintBox").isVisibleTo(&mForm));
    EXPECT_TRUE(NamedChild<GraphImage>(mForm, "GraphImage").isVisibleTo(&mForm));
    // Toggling the bi-directional graph twice gives the same picture back; no file changes. Both
    // show the rows the bars reach; mirrored (bi-directional is on) is twice as high.
    const QImage first = NamedChild<GraphImage>(mForm, "GraphImage").Picture();
    const std::string file = ReadFileBytes(graph);
    mForm.Actions().BiDirectionalAction->trigger();
    const QImage standing = NamedChild<GraphImage>(mForm, "GraphImage").Picture();
    EXPECT_EQ(standing.width(), 600);
    EXPECT_LT(standing.height(), 256);
    EXPECT_EQ(first.size(), QSize(600, 2 * standing.height()));
    mForm.Actions().BiDirectionalAction->trigger();
    EXPECT_EQ(NamedChild<GraphImage>(mForm, "GraphImage").Picture(), first);
    EXPECT_EQ(ReadFileBytes(graph), file);

    // Redrawing all graphs deletes them and builds the current note's again at once.
    WriteFileBytes(mDocuments.Path() + "/My Voice Notes/999999.bmp", "stale");
    mCat.Notes().SetFilter({});
    mCat.Notes().SetCurrent(mCat.Notes().LastAddedNote());
    mForm.GraphOptions().VoiceColor = ColorLime;
    mForm.DictaphonePart().RedrawAllGraphs();
    EXPECT_FALSE(FileExists(mDocuments.Path() + "/My Voice Notes/999999.bmp"));
    EXPECT_EQ(ReadFileBytes(graph).size(), 76918u);
    EXPECT_NE(ReadFileBytes(graph), file) << "drawn in the new voice colour";
}

// The stored graph of quiet speech fills the panel's height, standing or mirrored, instead of
// being squeezed whole into the 40-pixel strip; a silent note is not blown up into noise.
TEST_F(Workflow, TheStoredGraphIsScaledToThePanelsHeight) {
    const struct {
        char Sample;
        bool BiDirectional;
        bool Filled; // the highest bar reaches the picture's top seventh
    } cases[] = {
        {'\x94', true, true}, {'\x94', false, true}, {'\x6C', true, true}, {'\x80', true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.Sample) << " " << c.BiDirectional);
        mForm.Actions().BiDirectionalAction->setChecked(c.BiDirectional);
        mForm.DictaphonePart().RecordActionExecute();
        for (int i = 0; i < 20; ++i) {
            const std::string data(800, c.Sample); // a level of 20 of 255: quiet speech
            ASSERT_TRUE(mPort.CompleteInput(data.data(), data.size()));
            mPoster.ProcessPending();
        }
        mForm.DictaphonePart().StopActionExecute();
        const QImage picture = NamedChild<GraphImage>(mForm, "GraphImage").Picture();
        ASSERT_FALSE(picture.isNull());
        const QRgb voice = ColorToQRgb(mForm.GraphOptions().VoiceColor);
        int top = -1;
        for (int y = 0; y < picture.height() && top < 0; ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                if (picture.pixel(x, y) == voice) {
                    top = y;
                    break;
                }
            }
        }
        if (c.Filled) {
            ASSERT_GE(top, 0);
            EXPECT_LE(top * 7, picture.height()) << top << " of " << picture.height();
        } else {
            EXPECT_GE(picture.height(), 512 / 8); // at least an eighth of the picture
        }
    }
}

// With silence skipping on, the live view keeps moving while the recorder waits for speech, and
// says so; a pause says "Paused"; sound taken again clears both.
TEST_F(Workflow, TheLiveViewShowsWaitingForSpeechAndPaused) {
    mForm.resize(640, 480);
    mForm.Actions().SilenceAction->setChecked(true);
    mForm.DictaphonePart().RecordActionExecute();
    const auto& box = NamedChild<SoundPaintBox>(mForm, "SoundPaintBox");
    const QRgb voice = ColorToQRgb(mForm.GraphOptions().VoiceColor);
    const auto voicePixels = [&] {
        int n = 0;
        for (int y = 0; y < box.Picture().height(); ++y) {
            for (int x = 0; x < box.Picture().width(); ++x) {
                n += box.Picture().pixel(x, y) == voice;
            }
        }
        return n;
    };
    EXPECT_EQ(box.StateText(), "");
    for (int i = 0; i < 30; ++i) {
        const std::string murmur(800, '\x86'); // below the noise level of 10 %
        ASSERT_TRUE(mPort.CompleteInput(murmur.data(), murmur.size()));
        mPoster.ProcessPending();
    }
    EXPECT_EQ(mForm.DictaphonePart().RecordedSamples(), 0);
    EXPECT_EQ(box.StateText(), "Waiting for speech");
    EXPECT_TRUE(mForm.DictaphonePart().StateHint().contains("Waiting for speech"))
        << mForm.DictaphonePart().StateHint().toStdString();
    const int drawnWhileWaiting = voicePixels();
    EXPECT_GT(drawnWhileWaiting, 0) << "the view stood still";
    Buffer(true);
    EXPECT_EQ(box.StateText(), "");
    EXPECT_EQ(mForm.DictaphonePart().RecordedSamples(), 800);
    mForm.DictaphonePart().PauseActionExecute();
    EXPECT_EQ(box.StateText(), "Paused");
    EXPECT_TRUE(mForm.DictaphonePart().StateHint().contains("Paused"));
    mForm.DictaphonePart().PauseActionExecute();
    EXPECT_EQ(box.StateText(), "");
    mForm.DictaphonePart().StopActionExecute();
}

TEST_F(Workflow, AMissingOrDamagedSoundStillGetsAGraphOnce) {
    NoteRecord* note = mCat.AddFoundNote(mCat.NotesNode(), "123456", 0, 8000, 8);
    mCat.Notes().SetFilter({});
    mCat.Notes().SetCurrent(note);
    mForm.Actions().BiDirectionalAction->setChecked(false);
    mForm.ActionListUpdate();
    const std::string graph = mDocuments.Path() + "/My Voice Notes/123456.bmp";
    GraphBitmap plain(GraphFileWidth, GraphFileHeight);
    plain.Fill(mForm.GraphOptions().BackgroundColor);
    EXPECT_EQ(NamedChild<GraphImage>(mForm, "GraphImage").Picture(), GraphBitmapToImage(plain))
        << "a note without sound shows a plain graph";
    EXPECT_FALSE(FileExists(graph)) << "and keeps no file for it";
    EXPECT_TRUE(mForm.DictaphonePart().ShowsGraphOf(mCat.NoteGraphPath()));
    // A damaged graph file is drawn again instead of failing at every idle moment.
    WriteFileBytes(Folder() + "123456.wav", std::string(100, 'x'));
    WriteFileBytes(graph, "BM damaged");
    mForm.DictaphonePart().ForgetShownGraph();
    mForm.ActionListUpdate();
    EXPECT_EQ(NamedChild<GraphImage>(mForm, "GraphImage").Picture(), GraphBitmapToImage(plain));
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
}

TEST_F(Workflow, AReadOnlyStorageFolderGivesOneClearErrorFirst) {
    // An older note with sound but no graph yet, in a folder that takes no writes.
    WriteLoudNote("200001", 4000);
    FaultyFileSystem readOnly;
    readOnly.FailAt = 1;
    readOnly.FailAll = true;
    readOnly.FailError = EROFS;
    Catalogue cat{
        Storage(QString::fromStdString(mDocuments.Path()), "My Voice Notes", "ReadMe.txt"), "Notes",
        "Recycle Bin", readOnly};
    cat.NewCatalogue();
    cat.AddFoundNote(cat.NotesNode(), "200001", 0, 8000, 8);
    TTellamoMainForm form(cat, AudioServices{mPort, mPoster, mDocuments.File("PLAY2.TMP")});
    form.Actions().AskDescriptionAction->setChecked(false);
    form.Actions().BiDirectionalAction->setChecked(false);
    const QStringList before = QDir(QString::fromStdString(Folder())).entryList(QDir::Files);

    // Selecting the note, twice: its graph is shown from memory, without a message.
    for (int i = 0; i < 2; ++i) {
        form.DictaphonePart().ForgetShownGraph();
        form.ActionListUpdate();
        const QImage& picture = NamedChild<GraphImage>(form, "GraphImage").Picture();
        EXPECT_EQ(picture.pixel(300, picture.height() - 1),
                  ColorToQRgb(form.GraphOptions().VoiceColor));
    }
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();

    form.DictaphonePart().RecordActionExecute();
    form.ActionListUpdate();
    ASSERT_EQ(mMessages.size(), 1) << mMessages.join("\n").toStdString();
    EXPECT_TRUE(mMessages[0].startsWith("The recording could not start"))
        << mMessages[0].toStdString();
    EXPECT_TRUE(mMessages[0].contains("Read-only file system")) << mMessages[0].toStdString();
    EXPECT_EQ(form.Mode(), TDictaphoneMode::mdIdle);
    EXPECT_EQ(cat.Notes().All().size(), 1u) << "no note was added";
    EXPECT_EQ(QDir(QString::fromStdString(Folder())).entryList(QDir::Files), before)
        << "nothing was written";
}

TEST_F(Workflow, AGraphMadeBeforeTheMagnitudeMarkIsDrawnAgainOnce) {
    WriteLoudNote("123456", 6000);
    NoteRecord* note = mCat.AddFoundNote(mCat.NotesNode(), "123456", 0, 8000, 8);
    mCat.Notes().SetFilter({});
    mCat.Notes().SetCurrent(note);
    mForm.Actions().BiDirectionalAction->setChecked(false);
    // A plain lime picture, stored as files were before the mark (reserved words 0).
    GraphBitmap lime(GraphFileWidth, GraphFileHeight);
    lime.Fill(ColorLime);
    std::string older = EncodeGraphFile(lime);
    older[6] = '\0';
    const std::string graph = Folder() + "123456.bmp";
    WriteFileBytes(graph, older);

    mForm.ActionListUpdate();
    const std::string redrawn = ReadFileBytes(graph);
    ASSERT_EQ(redrawn.size(), 76918u);
    EXPECT_EQ(redrawn[6], static_cast<char>(GraphFileMagnitudeMark)) << "drawn again and marked";
    const GraphBitmap shown = DecodeGraphFile(redrawn, graph);
    EXPECT_EQ(shown.ColorAt(300, 255), mForm.GraphOptions().VoiceColor) << "the loud note's bars";
    EXPECT_EQ(shown.ColorAt(300, 0), mForm.GraphOptions().BackgroundColor);
    const auto [firstRow, rows] =
        GraphContentRows(shown, mForm.GraphOptions().BackgroundColor, false);
    EXPECT_EQ(NamedChild<GraphImage>(mForm, "GraphImage").Picture(),
              GraphBitmapToImage(shown).copy(0, firstRow, GraphFileWidth, rows));

    // A marked file is shown as it is, not drawn again.
    WriteFileBytes(graph, EncodeGraphFile(lime));
    mForm.DictaphonePart().ForgetShownGraph();
    mForm.ActionListUpdate();
    EXPECT_EQ(NamedChild<GraphImage>(mForm, "GraphImage").Picture(), GraphBitmapToImage(lime));
    EXPECT_EQ(ReadFileBytes(graph), EncodeGraphFile(lime));
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
}

TEST_F(Workflow, TheSlidersHintsCarryTheirValues) {
    NamedChild<QSlider>(mForm, "VolumeRxSlider").setValue(35);
    NamedChild<QSlider>(mForm, "SilenceRxSlider").setValue(25);
    EXPECT_EQ(mForm.DictaphonePart().SliderHint(&NamedChild<QSlider>(mForm, "VolumeRxSlider")),
              "Volume: 35%");
    EXPECT_EQ(mForm.DictaphonePart().SliderHint(&NamedChild<QSlider>(mForm, "SilenceRxSlider")),
              "Noise level: 25%");
}

// Playback of a recorded note.
class Playback : public Workflow {
protected:
    void SetUp() override {
        mForm.DictaphonePart().RecordActionExecute();
        for (int i = 0; i < 10; ++i) {
            Buffer(true);
        }
        mForm.DictaphonePart().StopActionExecute();
        mCat.Notes().SetFilter({});
        mCat.Notes().SetCurrent(mCat.Notes().LastAddedNote());
        mMessages.clear();
    }
    void Played(int buffers) {
        for (int i = 0; i < buffers; ++i) {
            ASSERT_TRUE(mPort.CompleteOutput());
            mPoster.ProcessPending();
        }
    }
};

TEST_F(Playback, TheTimerStopsAtTheEnd) {
    mForm.DictaphonePart().PlayActionExecute();
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdPlaying) << mMessages.join("\n").toStdString();
    EXPECT_TRUE(NamedChild<QTimer>(mForm, "Timer").isActive());
    EXPECT_EQ(NamedChild<QSlider>(mForm, "PositionRxSlider").maximum(), 1000);
    Played(5);
    mForm.DictaphonePart().TimerTimer();
    EXPECT_EQ(NamedChild<QLabel>(mForm, "TimeLabel").text(), "0:00:00|0:00:01");
    EXPECT_EQ(NamedChild<QSlider>(mForm, "PositionRxSlider").value(), 500);
    // A sound server's delay that never drains keeps the device's count a byte short for good:
    // the last buffer coming back is the end all the same, and the running timer finds it.
    mPort.PlayedShortfall = 1;
    Played(5);
    QElapsedTimer waited;
    waited.start();
    while (mForm.Mode() != TDictaphoneMode::mdIdle && waited.elapsed() < 5000) {
        QTest::qWait(10);
    }
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle);
    EXPECT_FALSE(NamedChild<QTimer>(mForm, "Timer").isActive());
    mForm.ActionListUpdate();
    EXPECT_TRUE(mForm.Actions().PlayAction->isEnabled());
    EXPECT_FALSE(mForm.Actions().StopAction->isEnabled());
    EXPECT_TRUE(NamedChild<QTableView>(mForm, "RxDBGrid").isEnabled());
    EXPECT_EQ(NamedChild<QSlider>(mForm, "PositionRxSlider").value(), 0);
    EXPECT_EQ(NamedChild<QLabel>(mForm, "TimeLabel").text(), "0:00:00|0:00:01");
    EXPECT_FALSE(mForm.DictaphonePart().Player().IsOpen());
}

TEST_F(Playback, SeekingWhilePausedStaysPaused) {
    mForm.DictaphonePart().PlayActionExecute();
    mForm.DictaphonePart().PauseActionExecute();
    emit NamedChild<QSlider>(mForm, "PositionRxSlider").sliderPressed();
    NamedChild<QSlider>(mForm, "PositionRxSlider").setValue(600);
    emit NamedChild<QSlider>(mForm, "PositionRxSlider").sliderReleased();
    EXPECT_EQ(mForm.DictaphonePart().Player().CurrentMode(), MediaPlayer::Mode::Paused);
    EXPECT_EQ(mForm.DictaphonePart().Player().Position(), 600u);
    mForm.DictaphonePart().StopActionExecute();
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle);
}

TEST_F(Playback, TheVolumeSliderSetsTheMastersLine) {
    FakeWavePort port;
    port.Mixer = {FakeWavePort::Destination{
        {"Master", 2, {{MixerControlType::Volume, 1, {0, 0}}, {MixerControlType::Mute, 2, {0, 0}}}},
        {}}};
    EventFdPoster poster;
    TTellamoMainForm form(mCat, AudioServices{port, poster, mDocuments.File("PLAY2.TMP")});
    for (int value : {0, 100, 50}) {
        NamedChild<QSlider>(form, "VolumeRxSlider").setValue(value);
        const auto values = port.ControlValues(1);
        const std::uint32_t expected = value == 0 ? 0 : value == 100 ? 65535 : 32768;
        EXPECT_EQ(values[0], expected) << value;
        EXPECT_EQ(values[1], expected) << value;
    }
    form.Actions().MuteAction->trigger();
    EXPECT_EQ(port.ControlValues(2)[0], 1u);
    // A change made by another program moves the slider.
    port.SetControlValues(1, {32767, 32767});
    NamedChild<QSlider>(form, "VolumeRxSlider").setValue(10);
    port.SetControlValues(1, {32767, 32767});
    port.RaiseControlChange(1);
    poster.ProcessPending();
    EXPECT_EQ(NamedChild<QSlider>(form, "VolumeRxSlider").value(), 50);
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
}

} // namespace
} // namespace tellamo::test
