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
        Form.Actions().AskDescriptionAction->setChecked(false);
        Form.Options().SampleRate = 8000;
        Form.Options().SixteenBit = false;
        Form.Options().NoiseLevelPercent = 10;
    }

    // One buffer of a tenth of a second at 8000 Hz, 8 bits: loud or silent.
    void Buffer(bool loud) {
        const std::string data(800, loud ? '\xF0' : '\x80');
        ASSERT_TRUE(Port.CompleteInput(data.data(), data.size()));
        Poster.ProcessPending();
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
    Form.DictaphonePart().RecordActionExecute();
    ASSERT_EQ(Form.Mode(), TDictaphoneMode::mdRecording) << Messages.join("\n").toStdString();
    EXPECT_EQ(Port.LastFormat().SamplesPerSec, 8000u);
    EXPECT_EQ(Form.Audio().Recorder().NoSamples(), 800);
    for (int i = 0; i < 1000; ++i) {
        Buffer(i % 2 == 0);
    }
    EXPECT_EQ(NamedChild<QLabel>(Form, "TimeLabel").text(), "0:01:40");
    const std::string partial(300, '\xF0');
    Port.FillInputPartly(partial.data(), partial.size()); // in hand at the stop: dropped
    Form.DictaphonePart().StopActionExecute();
    EXPECT_EQ(Form.Mode(), TDictaphoneMode::mdIdle);
    const NoteRecord* note = Cat.Notes().LastAddedNote();
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(WavOf(note).size(), 800'044u);
    EXPECT_EQ(DurationText(note->Duration), "0:01:40");
    EXPECT_EQ(note->FileSizeKB, 781);
    EXPECT_EQ(note->SampleRate, 8000);
    EXPECT_EQ(note->BitRate, 8);
    // The catalogue on disk knows the completed note.
    EXPECT_NE(ReadFileBytes(Documents.Path() + "/My Voice Notes/Tellamo.dat").find(note->FileName),
              std::string::npos);
    EXPECT_TRUE(Messages.isEmpty()) << Messages.join("\n").toStdString();
}

TEST_F(Workflow, SilenceIsLeftOutWhenTheOptionIsOn) {
    Form.Actions().SilenceAction->setChecked(true);
    Form.DictaphonePart().RecordActionExecute();
    for (int i = 0; i < 100; ++i) {
        Buffer(true);
    }
    for (int i = 0; i < 200; ++i) {
        Buffer(false);
    }
    Form.DictaphonePart().StopActionExecute();
    const NoteRecord* note = Cat.Notes().LastAddedNote();
    EXPECT_EQ(note->Duration, 10'400) << "ten loud seconds and the four quiet buffers after them";
    EXPECT_EQ(WavOf(note).size(), 44u + 104 * 800);
}

TEST_F(Workflow, TotalSilenceRecordsNothing) {
    Form.Actions().SilenceAction->setChecked(true);
    NamedChild<QLabel>(Form, "TimeLabel").setText("0:00:07|0:00:07");
    Form.DictaphonePart().RecordActionExecute();
    for (int i = 0; i < 30; ++i) {
        Buffer(false);
    }
    EXPECT_EQ(NamedChild<QLabel>(Form, "TimeLabel").text(), "0:00:00")
        << "the recording's length so far, while it waits for speech";
    Form.DictaphonePart().StopActionExecute();
    const NoteRecord* note = Cat.Notes().LastAddedNote();
    EXPECT_EQ(WavOf(note).size(), 44u);
    EXPECT_EQ(DurationText(note->Duration), "0:00:00");
    EXPECT_EQ(note->FileSizeKB, 0);
}

TEST_F(Workflow, AHiddenNewNoteStillGetsItsRecording) {
    NoteRecord* old = Cat.AddFoundNote(Cat.NotesNode(), "000001", 0, 8000, 8);
    old->Description = "shown";
    Cat.Notes().SetFilter(NoteFilter({Cat.NotesNode(), false, true, false, "shown"}));
    Cat.Notes().SetCurrent(old);
    Description.DescriptionEdit->setText("not matching");
    Form.DictaphonePart().RecordActionExecute();
    for (int i = 0; i < 5; ++i) {
        Buffer(true);
    }
    Form.DictaphonePart().StopActionExecute();
    const NoteRecord* recorded = Cat.Notes().LastAddedNote();
    EXPECT_NE(recorded, old);
    EXPECT_EQ(recorded->Description, "not matching");
    EXPECT_EQ(recorded->Duration, 500);
    EXPECT_EQ(WavOf(recorded).size(), 4'044u);
    EXPECT_EQ(recorded->FileSizeKB, 4) << "3.95 KB rounds to the nearest kilobyte";
    EXPECT_FALSE(old->Duration.has_value());
    EXPECT_EQ(Cat.Notes().Current(), old);
}

TEST_F(Workflow, CancellingLeavesTheCatalogueUnchanged) {
    FolderNode* inBin = Cat.AddFolder(Cat.RecycleBinNode(), "Old");
    Cat.SelectFolder(inBin);
    Answer = false;
    Form.DictaphonePart().RecordActionExecute();
    EXPECT_EQ(Messages, QStringList{"The note will be created in the Recycle Bin. Are you sure?"});
    EXPECT_TRUE(Cat.Notes().All().empty());
    EXPECT_EQ(Form.Mode(), TDictaphoneMode::mdIdle);

    Cat.SelectFolder(Cat.NotesNode());
    Form.Actions().AskDescriptionAction->setChecked(true);
    QTimer::singleShot(0, &Description, [&] { Description.reject(); });
    Form.DictaphonePart().RecordActionExecute();
    EXPECT_TRUE(Cat.Notes().All().empty());
    EXPECT_EQ(Form.Mode(), TDictaphoneMode::mdIdle);
}

TEST_F(Workflow, ADeviceThatCannotRecordIsShownAndTheNoteStaysEmpty) {
    Port.ErrorTexts[-5] = "No such device";
    Port.Fail(FakeCall::OpenInput, -5);
    Form.DictaphonePart().RecordActionExecute();
    EXPECT_EQ(Form.Mode(), TDictaphoneMode::mdIdle);
    ASSERT_EQ(Messages.size(), 1);
    EXPECT_EQ(Messages[0].toStdString(),
              "Could not open the input device for recording:  No such device");
    ASSERT_EQ(Cat.Notes().All().size(), 1u);
    EXPECT_FALSE(Cat.Notes().All()[0]->Duration.has_value());
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
    Form.SetSleepInhibitor(&inhibitor);
    Form.Audio().Recorder().HeaderInterval = std::chrono::hours(1);
    const std::string once = "inhibit Recording a voice note / release";
    const auto log = [&inhibitor] { return inhibitor.Log.join(" / ").toStdString(); };

    Form.DictaphonePart().RecordActionExecute();
    Buffer(true);
    EXPECT_TRUE(inhibitor.Held);
    Form.DictaphonePart().PauseActionExecute(); // a pause is still a recording
    EXPECT_TRUE(inhibitor.Held);
    Form.DictaphonePart().StopActionExecute();
    EXPECT_EQ(log(), once);

    inhibitor.Log.clear();
    Form.DictaphonePart().RecordActionExecute();
    Disk.WriteBudget = 3 * 800;
    for (int i = 0; i < 10 && Form.Mode() == TDictaphoneMode::mdRecording; ++i) {
        Buffer(true);
    }
    ASSERT_EQ(Form.Mode(), TDictaphoneMode::mdIdle) << "the full disk ended the recording";
    EXPECT_EQ(log(), once) << "after a failed write";
    Disk.WriteBudget.reset();

    inhibitor.Log.clear();
    Port.Fail(FakeCall::OpenInput, -5);
    Form.DictaphonePart().RecordActionExecute();
    EXPECT_EQ(log(), "") << "a device that cannot record";

    // The file taken away during the recording: Stop says so, and the recording is over.
    inhibitor.Log.clear();
    Form.DictaphonePart().RecordActionExecute();
    Buffer(true);
    const NoteRecord* note = Cat.Notes().LastAddedNote();
    ASSERT_NE(note, nullptr);
    ASSERT_TRUE(QFile::remove(Cat.Files().NoteWavPath(note->FileName)));
    EXPECT_THROW(Form.DictaphonePart().StopActionExecute(), TellamoError);
    EXPECT_EQ(Form.Mode(), TDictaphoneMode::mdIdle);
    EXPECT_EQ(log(), once) << "after a recording whose file went away";

    inhibitor.Log.clear();
    Form.DictaphonePart().RecordActionExecute();
    ASSERT_EQ(Form.Mode(), TDictaphoneMode::mdRecording);
    Form.close();
    EXPECT_EQ(log(), once) << "at the exit";
    Form.SetSleepInhibitor(nullptr);
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
    } early(Port);
    Form.SetSleepInhibitor(&early);
    Form.DictaphonePart().RecordActionExecute();
    ASSERT_TRUE(early.Delivered);
    Poster.ProcessPending();
    Buffer(true);
    Form.DictaphonePart().StopActionExecute();
    Form.SetSleepInhibitor(nullptr);
    const NoteRecord* note = Cat.Notes().LastAddedNote();
    EXPECT_EQ(WavOf(note).size(), 44u + 1600u);
    EXPECT_EQ(note->Duration, 200);
}

TEST_F(Workflow, PauseDropsTheSoundAndStopResumesFirst) {
    Form.DictaphonePart().RecordActionExecute();
    Buffer(true);
    Form.DictaphonePart().PauseActionExecute();
    EXPECT_TRUE(Form.Actions().PauseAction->isChecked());
    Buffer(true);
    Buffer(true);
    EXPECT_EQ(Form.DictaphonePart().RecordedSamples(), 800);
    Form.DictaphonePart().StopActionExecute();
    EXPECT_FALSE(Form.Actions().PauseAction->isChecked());
    EXPECT_EQ(Cat.Notes().LastAddedNote()->Duration, 100);
}

TEST_F(Workflow, StoppingBuildsAndShowsTheNotesGraph) {
    Form.resize(640, 480);
    Form.DictaphonePart().RecordActionExecute();
    EXPECT_TRUE(NamedChild<SoundPaintBox>(Form, "SoundPaintBox").isVisibleTo(&Form));
    EXPECT_FALSE(NamedChild<GraphImage>(Form, "GraphImage").isVisibleTo(&Form));
    for (int i = 0; i < 20; ++i) {
        Buffer(true);
    }
    Form.DictaphonePart().StopActionExecute();
    const NoteRecord* note = Cat.Notes().LastAddedNote();
    const std::string graph = Documents.Path() + "/My Voice Notes/" + note->FileName + ".bmp";
    EXPECT_EQ(ReadFileBytes(graph).size(), 76918u);
    EXPECT_FALSE(NamedChild<SoundPaintBox>(Form, "SoundPaintBox").isVisibleTo(&Form));
    EXPECT_TRUE(NamedChild<GraphImage>(Form, "GraphImage").isVisibleTo(&Form));
    // Toggling the bi-directional graph twice gives the same picture back; no file changes. Both
    // show the rows the bars reach; mirrored (bi-directional is on) is twice as high.
    const QImage first = NamedChild<GraphImage>(Form, "GraphImage").Picture();
    const std::string file = ReadFileBytes(graph);
    Form.Actions().BiDirectionalAction->trigger();
    const QImage standing = NamedChild<GraphImage>(Form, "GraphImage").Picture();
    EXPECT_EQ(standing.width(), 600);
    EXPECT_LT(standing.height(), 256);
    EXPECT_EQ(first.size(), QSize(600, 2 * standing.height()));
    Form.Actions().BiDirectionalAction->trigger();
    EXPECT_EQ(NamedChild<GraphImage>(Form, "GraphImage").Picture(), first);
    EXPECT_EQ(ReadFileBytes(graph), file);

    // Redrawing all graphs deletes them and builds the current note's again at once.
    WriteFileBytes(Documents.Path() + "/My Voice Notes/999999.bmp", "stale");
    Cat.Notes().SetFilter({});
    Cat.Notes().SetCurrent(Cat.Notes().LastAddedNote());
    Form.GraphOptions().VoiceColor = ColorLime;
    Form.DictaphonePart().RedrawAllGraphs();
    EXPECT_FALSE(FileExists(Documents.Path() + "/My Voice Notes/999999.bmp"));
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
        Form.Actions().BiDirectionalAction->setChecked(c.BiDirectional);
        Form.DictaphonePart().RecordActionExecute();
        for (int i = 0; i < 20; ++i) {
            const std::string data(800, c.Sample); // a level of 20 of 255: quiet speech
            ASSERT_TRUE(Port.CompleteInput(data.data(), data.size()));
            Poster.ProcessPending();
        }
        Form.DictaphonePart().StopActionExecute();
        const QImage picture = NamedChild<GraphImage>(Form, "GraphImage").Picture();
        ASSERT_FALSE(picture.isNull());
        const QRgb voice = ColorToQRgb(Form.GraphOptions().VoiceColor);
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
    Form.resize(640, 480);
    Form.Actions().SilenceAction->setChecked(true);
    Form.DictaphonePart().RecordActionExecute();
    const auto& box = NamedChild<SoundPaintBox>(Form, "SoundPaintBox");
    const QRgb voice = ColorToQRgb(Form.GraphOptions().VoiceColor);
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
        ASSERT_TRUE(Port.CompleteInput(murmur.data(), murmur.size()));
        Poster.ProcessPending();
    }
    EXPECT_EQ(Form.DictaphonePart().RecordedSamples(), 0);
    EXPECT_EQ(box.StateText(), "Waiting for speech");
    EXPECT_TRUE(Form.DictaphonePart().StateHint().contains("Waiting for speech"))
        << Form.DictaphonePart().StateHint().toStdString();
    const int drawnWhileWaiting = voicePixels();
    EXPECT_GT(drawnWhileWaiting, 0) << "the view stood still";
    Buffer(true);
    EXPECT_EQ(box.StateText(), "");
    EXPECT_EQ(Form.DictaphonePart().RecordedSamples(), 800);
    Form.DictaphonePart().PauseActionExecute();
    EXPECT_EQ(box.StateText(), "Paused");
    EXPECT_TRUE(Form.DictaphonePart().StateHint().contains("Paused"));
    Form.DictaphonePart().PauseActionExecute();
    EXPECT_EQ(box.StateText(), "");
    Form.DictaphonePart().StopActionExecute();
}

TEST_F(Workflow, AMissingOrDamagedSoundStillGetsAGraphOnce) {
    NoteRecord* note = Cat.AddFoundNote(Cat.NotesNode(), "123456", 0, 8000, 8);
    Cat.Notes().SetFilter({});
    Cat.Notes().SetCurrent(note);
    Form.Actions().BiDirectionalAction->setChecked(false);
    Form.ActionListUpdate();
    const std::string graph = Documents.Path() + "/My Voice Notes/123456.bmp";
    GraphBitmap plain(GraphFileWidth, GraphFileHeight);
    plain.Fill(Form.GraphOptions().BackgroundColor);
    EXPECT_EQ(NamedChild<GraphImage>(Form, "GraphImage").Picture(), GraphBitmapToImage(plain))
        << "a note without sound shows a plain graph";
    EXPECT_FALSE(FileExists(graph)) << "and keeps no file for it";
    EXPECT_TRUE(Form.DictaphonePart().ShowsGraphOf(Cat.NoteGraphPath()));
    // A damaged graph file is drawn again instead of failing at every idle moment.
    WriteFileBytes(Folder() + "123456.wav", std::string(100, 'x'));
    WriteFileBytes(graph, "BM damaged");
    Form.DictaphonePart().ForgetShownGraph();
    Form.ActionListUpdate();
    EXPECT_EQ(NamedChild<GraphImage>(Form, "GraphImage").Picture(), GraphBitmapToImage(plain));
    EXPECT_TRUE(Messages.isEmpty()) << Messages.join("\n").toStdString();
}

TEST_F(Workflow, AReadOnlyStorageFolderGivesOneClearErrorFirst) {
    // An older note with sound but no graph yet, in a folder that takes no writes.
    WriteLoudNote("200001", 4000);
    FaultyFileSystem readOnly;
    readOnly.FailAt = 1;
    readOnly.FailAll = true;
    readOnly.FailError = EROFS;
    Catalogue cat{Storage(QString::fromStdString(Documents.Path()), "My Voice Notes", "ReadMe.txt"),
                  "Notes", "Recycle Bin", readOnly};
    cat.NewCatalogue();
    cat.AddFoundNote(cat.NotesNode(), "200001", 0, 8000, 8);
    TTellamoMainForm form(cat, AudioServices{Port, Poster, Documents.File("PLAY2.TMP")});
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
    EXPECT_TRUE(Messages.isEmpty()) << Messages.join("\n").toStdString();

    form.DictaphonePart().RecordActionExecute();
    form.ActionListUpdate();
    ASSERT_EQ(Messages.size(), 1) << Messages.join("\n").toStdString();
    EXPECT_TRUE(Messages[0].startsWith("The recording could not start"))
        << Messages[0].toStdString();
    EXPECT_TRUE(Messages[0].contains("Read-only file system")) << Messages[0].toStdString();
    EXPECT_EQ(form.Mode(), TDictaphoneMode::mdIdle);
    EXPECT_EQ(cat.Notes().All().size(), 1u) << "no note was added";
    EXPECT_EQ(QDir(QString::fromStdString(Folder())).entryList(QDir::Files), before)
        << "nothing was written";
}

TEST_F(Workflow, AGraphMadeBeforeTheMagnitudeMarkIsDrawnAgainOnce) {
    WriteLoudNote("123456", 6000);
    NoteRecord* note = Cat.AddFoundNote(Cat.NotesNode(), "123456", 0, 8000, 8);
    Cat.Notes().SetFilter({});
    Cat.Notes().SetCurrent(note);
    Form.Actions().BiDirectionalAction->setChecked(false);
    // A plain lime picture, stored as files were before the mark (reserved words 0).
    GraphBitmap lime(GraphFileWidth, GraphFileHeight);
    lime.Fill(ColorLime);
    std::string older = EncodeGraphFile(lime);
    older[6] = '\0';
    const std::string graph = Folder() + "123456.bmp";
    WriteFileBytes(graph, older);

    Form.ActionListUpdate();
    const std::string redrawn = ReadFileBytes(graph);
    ASSERT_EQ(redrawn.size(), 76918u);
    EXPECT_EQ(redrawn[6], static_cast<char>(GraphFileMagnitudeMark)) << "drawn again and marked";
    const GraphBitmap shown = DecodeGraphFile(redrawn, graph);
    EXPECT_EQ(shown.ColorAt(300, 255), Form.GraphOptions().VoiceColor) << "the loud note's bars";
    EXPECT_EQ(shown.ColorAt(300, 0), Form.GraphOptions().BackgroundColor);
    const auto [firstRow, rows] =
        GraphContentRows(shown, Form.GraphOptions().BackgroundColor, false);
    EXPECT_EQ(NamedChild<GraphImage>(Form, "GraphImage").Picture(),
              GraphBitmapToImage(shown).copy(0, firstRow, GraphFileWidth, rows));

    // A marked file is shown as it is, not drawn again.
    WriteFileBytes(graph, EncodeGraphFile(lime));
    Form.DictaphonePart().ForgetShownGraph();
    Form.ActionListUpdate();
    EXPECT_EQ(NamedChild<GraphImage>(Form, "GraphImage").Picture(), GraphBitmapToImage(lime));
    EXPECT_EQ(ReadFileBytes(graph), EncodeGraphFile(lime));
    EXPECT_TRUE(Messages.isEmpty()) << Messages.join("\n").toStdString();
}

TEST_F(Workflow, TheSlidersHintsCarryTheirValues) {
    NamedChild<QSlider>(Form, "VolumeRxSlider").setValue(35);
    NamedChild<QSlider>(Form, "SilenceRxSlider").setValue(25);
    EXPECT_EQ(Form.DictaphonePart().SliderHint(&NamedChild<QSlider>(Form, "VolumeRxSlider")),
              "Volume: 35%");
    EXPECT_EQ(Form.DictaphonePart().SliderHint(&NamedChild<QSlider>(Form, "SilenceRxSlider")),
              "Noise level: 25%");
}

// Playback of a recorded note.
class Playback : public Workflow {
protected:
    void SetUp() override {
        Form.DictaphonePart().RecordActionExecute();
        for (int i = 0; i < 10; ++i) {
            Buffer(true);
        }
        Form.DictaphonePart().StopActionExecute();
        Cat.Notes().SetFilter({});
        Cat.Notes().SetCurrent(Cat.Notes().LastAddedNote());
        Messages.clear();
    }
    void Played(int buffers) {
        for (int i = 0; i < buffers; ++i) {
            ASSERT_TRUE(Port.CompleteOutput());
            Poster.ProcessPending();
        }
    }
};

TEST_F(Playback, TheTimerStopsAtTheEnd) {
    Form.DictaphonePart().PlayActionExecute();
    ASSERT_EQ(Form.Mode(), TDictaphoneMode::mdPlaying) << Messages.join("\n").toStdString();
    EXPECT_TRUE(NamedChild<QTimer>(Form, "Timer").isActive());
    EXPECT_EQ(NamedChild<QSlider>(Form, "PositionRxSlider").maximum(), 1000);
    Played(5);
    Form.DictaphonePart().TimerTimer();
    EXPECT_EQ(NamedChild<QLabel>(Form, "TimeLabel").text(), "0:00:00|0:00:01");
    EXPECT_EQ(NamedChild<QSlider>(Form, "PositionRxSlider").value(), 500);
    // A sound server's delay that never drains keeps the device's count a byte short for good:
    // the last buffer coming back is the end all the same, and the running timer finds it.
    Port.PlayedShortfall = 1;
    Played(5);
    QElapsedTimer waited;
    waited.start();
    while (Form.Mode() != TDictaphoneMode::mdIdle && waited.elapsed() < 5000) {
        QTest::qWait(10);
    }
    EXPECT_EQ(Form.Mode(), TDictaphoneMode::mdIdle);
    EXPECT_FALSE(NamedChild<QTimer>(Form, "Timer").isActive());
    Form.ActionListUpdate();
    EXPECT_TRUE(Form.Actions().PlayAction->isEnabled());
    EXPECT_FALSE(Form.Actions().StopAction->isEnabled());
    EXPECT_TRUE(NamedChild<QTableView>(Form, "RxDBGrid").isEnabled());
    EXPECT_EQ(NamedChild<QSlider>(Form, "PositionRxSlider").value(), 0);
    EXPECT_EQ(NamedChild<QLabel>(Form, "TimeLabel").text(), "0:00:00|0:00:01");
    EXPECT_FALSE(Form.DictaphonePart().Player().IsOpen());
}

TEST_F(Playback, SeekingWhilePausedStaysPaused) {
    Form.DictaphonePart().PlayActionExecute();
    Form.DictaphonePart().PauseActionExecute();
    emit NamedChild<QSlider>(Form, "PositionRxSlider").sliderPressed();
    NamedChild<QSlider>(Form, "PositionRxSlider").setValue(600);
    emit NamedChild<QSlider>(Form, "PositionRxSlider").sliderReleased();
    EXPECT_EQ(Form.DictaphonePart().Player().CurrentMode(), TMediaPlayer::Mode::Paused);
    EXPECT_EQ(Form.DictaphonePart().Player().Position(), 600u);
    Form.DictaphonePart().StopActionExecute();
    EXPECT_EQ(Form.Mode(), TDictaphoneMode::mdIdle);
}

TEST_F(Playback, TheVolumeSliderSetsTheMastersLine) {
    FakeWavePort port;
    port.Mixer = {FakeWavePort::Destination{
        {"Master", 2, {{MixerControlType::Volume, 1, {0, 0}}, {MixerControlType::Mute, 2, {0, 0}}}},
        {}}};
    EventFdPoster poster;
    TTellamoMainForm form(Cat, AudioServices{port, poster, Documents.File("PLAY2.TMP")});
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
    EXPECT_TRUE(Messages.isEmpty()) << Messages.join("\n").toStdString();
}

} // namespace
} // namespace tellamo::test
