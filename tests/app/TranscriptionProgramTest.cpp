// The transcript worker inside the program, with a recogniser of the test's own: a finished
// recording gets its transcript and is found by a spoken word, a note deleted for good takes its
// transcript with it, progress and pause in the status bar, the option's round trip through the
// settings file, and a missing model said once without a box.

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include "app/TDM.h"
#include "app/TellamoProgram.h"
#include "app/Transcription.h"
#include "audio/WindowPoster.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueFixture.h"
#include "common/Errors.h"
#include "common/FileSystem.h"
#include "common/IniFile.h"
#include "dialogs/TOptionsForm.h"
#include "mainwindow/Messages.h"
#include "mainwindow/TellamoMainForm.h"
#include "mainwindow/TranscriptPane.h"
#include "support/FakeWavePort.h"
#include "support/NamedChild.h"
#include "support/TempDir.h"
#include "transcript/NoteQueue.h"
#include "transcript/Recogniser.h"
#include "transcript/SearchIndex.h"
#include "transcript/TranscriptWorker.h"

namespace tellamo::test {
namespace {

// The worker runs at normal priority here (see Start), so a minute is plenty.
constexpr int WorkerTimeoutMs = 60'000;

// Runs the window thread's events until done() or the time is up.
bool Eventually(const std::function<bool()>& done) {
    return QTest::qWaitFor(done, WorkerTimeoutMs);
}

void RunUntilIdle() {
    QEventLoop loop;
    QTimer::singleShot(30, &loop, &QEventLoop::quit);
    loop.exec();
}

// Hears "budget meeting" in every chunk; held at the start of a chunk while Hold is set.
struct Script {
    std::atomic<bool> Hold{false};
    std::atomic<int> Chunks{0};
};

class ScriptedRecogniser final : public Recogniser {
public:
    explicit ScriptedRecogniser(Script& script) : mScript(script) {}
    Recognition Recognise(const std::int16_t*, std::size_t) override {
        ++mScript.Chunks;
        while (mScript.Hold.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        Recognition r;
        r.Best = {{"budget", 200, 600, 1.0}, {"meeting", 700, 1100, 1.0}};
        return r;
    }

private:
    Script& mScript;
};

class Transcription : public ::testing::Test {
protected:
    Transcription() {
        SetMessageHandler([this](MessageKind, const QString& text, const QString& caption) {
            mMessages << caption + ": " + text;
            return true;
        });
    }
    ~Transcription() override { SetMessageHandler({}); }

    std::unique_ptr<TellamoProgram> Start(bool modelInstalled = true) {
        auto program = std::make_unique<TellamoProgram>(QString::fromStdString(mDocuments.Path()),
                                                        RealFileSystem(), mPort, mPoster,
                                                        mDocuments.File("PLAY.TMP"));
        TranscriptWorker::RecogniserFactory make = [this]() -> std::unique_ptr<Recogniser> {
            return std::make_unique<ScriptedRecogniser>(mSpeech);
        };
        if (!modelInstalled) {
            make = []() -> std::unique_ptr<Recogniser> { throw TellamoError("no model"); };
        }
        // As in main(), the worker outlives the program. The lowest priority is the worker
        // tests' business: here it would wait for minutes while the machine is busy.
        mWorkers.push_back(std::make_unique<TranscriptWorker>(IndexPath(), make));
        mWorkers.back()->SetIdlePriority(false);
        program->SetTranscription({mWorkers.back().get(), modelInstalled, IndexPath()});
        EXPECT_TRUE(program->Start());
        program->Show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&program->MainForm()));
        RunUntilIdle(); // the first idle moment starts the worker
        EXPECT_TRUE(program->FirstIdleDone());
        return program;
    }
    std::string IndexPath() const { return mDocuments.Path() + "/cache/transcripts.sqlite"; }
    std::string Folder() const { return mDocuments.Path() + "/My Voice Notes/"; }

    // Two loud seconds through the fake sound card; returns the new note's file name.
    std::string Record(TellamoProgram& program) {
        TTellamoMainForm& form = program.MainForm();
        form.Actions().AskDescriptionAction->setChecked(false);
        form.Options().SampleRate = 8000;
        form.Options().SixteenBit = false;
        form.DictaphonePart().RecordActionExecute();
        EXPECT_EQ(form.Mode(), TDictaphoneMode::mdRecording) << mMessages.join('\n').toStdString();
        const std::string data(800, '\xF0');
        for (int i = 0; i < 20; ++i) {
            EXPECT_TRUE(mPort.CompleteInput(data.data(), data.size()));
            mPoster.ProcessPending();
        }
        form.DictaphonePart().StopActionExecute();
        const NoteRecord* note = program.DM().Cat().Notes().LastAddedNote();
        return note ? note->FileName : std::string();
    }
    int Shown(TellamoProgram& program) {
        return static_cast<int>(program.DM().Cat().Notes().Shown().size());
    }
    void Filter(TellamoProgram& program, const QString& text) {
        NamedChild<QLineEdit>(program.MainForm(), "FilterEdit").setText(text);
    }

    TempDir mDocuments;
    FakeWavePort mPort;
    EventFdPoster mPoster;
    Script mSpeech;
    std::vector<std::unique_ptr<TranscriptWorker>> mWorkers; // one a start
    QStringList mMessages;
};

TEST_F(Transcription, ARecordingGetsItsTranscriptAndIsFoundByASpokenWord) {
    auto program = Start();
    TTellamoMainForm& form = program->MainForm();
    const std::string name = Record(*program);
    ASSERT_FALSE(name.empty());
    const std::string vtt = Folder() + name + ".vtt";
    ASSERT_TRUE(Eventually([&] { return FileExists(vtt); }));
    EXPECT_FALSE(FileExists(vtt + ".new"));
    // The pane shows the note on view as soon as its transcript is there.
    EXPECT_TRUE(Eventually([&] { return !form.Transcript().Words().empty(); }));
    EXPECT_EQ(form.Transcript().TranscriptText(), "budget meeting");

    // Without "Search spoken words" the filter searches the description only, as before.
    form.Actions().FilterAction->trigger();
    Filter(*program, "budg");
    EXPECT_EQ(Shown(*program), 0);
    form.Actions().SpokenWordsAction->trigger();
    EXPECT_EQ(Shown(*program), 1);
    Filter(*program, "meeting budget");
    EXPECT_EQ(Shown(*program), 1);
    EXPECT_EQ(form.Transcript().MarkedWords(), (std::vector<int>{0, 1}));
    Filter(*program, "budget lunch");
    EXPECT_EQ(Shown(*program), 0);

    // Deleted for good: the transcript goes with the note, and the index forgets it.
    Filter(*program, "");
    ASSERT_NE(program->DM().Cat().Notes().Current(), nullptr);
    program->DM().Cat().DeleteCurrentNote();
    EXPECT_FALSE(FileExists(Folder() + name + ".wav"));
    EXPECT_FALSE(FileExists(vtt));
    EXPECT_TRUE(Eventually([&] { return SearchIndex(IndexPath()).Find("budget").empty(); }));
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join('\n').toStdString();
}

TEST_F(Transcription, ProgressShowsInTheStatusBarAndThePauseHoldsTheWork) {
    auto program = Start();
    TTellamoMainForm& form = program->MainForm();
    QLabel& label = NamedChild<QLabel>(form, "TranscriptionLabel");
    EXPECT_FALSE(form.statusBar()->isVisible()) << "nothing to say, nothing shown";
    mSpeech.Hold = true;
    const std::string name = Record(*program);
    ASSERT_TRUE(Eventually([&] { return mSpeech.Chunks.load() > 0; }));
    EXPECT_TRUE(Eventually([&] { return !label.text().isEmpty(); }));
    EXPECT_EQ(label.text(), "Transcribing 1 of 1 notes…");
    EXPECT_TRUE(form.statusBar()->isVisible());

    // Paused: the note in hand is not finished.
    form.Actions().PauseTranscriptionAction->trigger();
    EXPECT_TRUE(program->Transcripts()->Worker().IsPaused());
    mSpeech.Hold = false;
    QTest::qWait(300);
    EXPECT_FALSE(FileExists(Folder() + name + ".vtt"));
    EXPECT_TRUE(NamedChild<QWidget>(form, "PauseTranscriptionButton").isVisible());

    form.Actions().PauseTranscriptionAction->trigger();
    EXPECT_TRUE(Eventually([&] { return FileExists(Folder() + name + ".vtt"); }));
    EXPECT_TRUE(Eventually([&] { return !form.statusBar()->isVisible(); }));
}

TEST_F(Transcription, TheOptionIsOnWhereTheModelIsAndSurvivesARestart) {
    {
        auto program = Start();
        QCheckBox* box = program->Options().TranscribeCheckBox;
        EXPECT_TRUE(box->isEnabled());
        EXPECT_TRUE(box->isChecked());
        EXPECT_TRUE(program->Options().TranscribeNoteLabel->isHidden());
        box->click();
        EXPECT_FALSE(program->MainForm().Actions().TranscribeAction->isChecked());
        EXPECT_TRUE(program->Transcripts()->Worker().IsPaused());
        program->MainForm().close();
    }
    const IniFile ini = IniFile::Load(Folder() + "tellamo.INI");
    EXPECT_EQ(ini.Read("TTellamoMainForm", "TranscribeAction_Checked"), "False");
    auto program = Start();
    EXPECT_FALSE(program->MainForm().Actions().TranscribeAction->isChecked());
    EXPECT_FALSE(program->Options().TranscribeCheckBox->isChecked());
    EXPECT_TRUE(program->Transcripts()->Worker().IsPaused());
    // Nothing is transcribed while it is off.
    const std::string name = Record(*program);
    QTest::qWait(300);
    EXPECT_EQ(mSpeech.Chunks.load(), 0);
    EXPECT_FALSE(FileExists(Folder() + name + ".vtt"));
    TranscriptPane& pane = program->MainForm().Transcript();
    EXPECT_EQ(pane.Placeholder(), "Transcription is off");

    // The index still follows the descriptions, also of a note the change takes out of the
    // filtered list, so that "Search spoken words" finds by today's.
    Catalogue& cat = program->DM().Cat();
    ASSERT_NE(cat.Notes().Current(), nullptr);
    ASSERT_EQ(cat.Notes().Current()->FileName, name);
    const auto found = [&](const char* word) { return SearchIndex(IndexPath()).Find(word); };
    const std::vector<std::string> just{name};
    cat.SetNoteDescription("Quarterly figures");
    EXPECT_TRUE(Eventually([&] { return found("quarterly") == just; }));
    program->MainForm().Actions().FilterAction->trigger();
    Filter(*program, "figures");
    EXPECT_EQ(Shown(*program), 1);
    cat.SetNoteDescription("Monthly sums");
    EXPECT_EQ(Shown(*program), 0);
    EXPECT_TRUE(Eventually([&] { return found("monthly") == just; }));
    EXPECT_TRUE(found("quarterly").empty());
    EXPECT_EQ(mSpeech.Chunks.load(), 0);

    // On again: the note waits for its transcript, then shows it.
    Filter(*program, "");
    program->MainForm().Actions().TranscribeAction->trigger();
    EXPECT_TRUE(pane.Placeholder() == "No transcript yet" || !pane.Words().empty());
    EXPECT_TRUE(Eventually([&] { return !pane.Words().empty(); }));
    EXPECT_TRUE(pane.Placeholder().isEmpty());
}

TEST_F(Transcription, AMissingModelIsSaidOnceWithoutABox) {
    auto program = Start(false);
    const MainActions& a = program->MainForm().Actions();
    EXPECT_FALSE(a.TranscribeAction->isChecked());
    EXPECT_FALSE(a.TranscribeAction->isEnabled());
    TOptionsForm& options = program->Options();
    EXPECT_FALSE(options.TranscribeCheckBox->isEnabled());
    EXPECT_EQ(options.TranscribeNoteLabel->text(), TranscriptionLink::UnavailableText(false));
    EXPECT_FALSE(options.TranscribeNoteLabel->isHidden());
    EXPECT_EQ(NamedChild<QLabel>(program->MainForm(), "TranscriptionLabel").text(),
              TranscriptionLink::UnavailableText(false));
    EXPECT_TRUE(program->MainForm().statusBar()->isVisible());
    // A note without a transcript says why in the pane, for as long as the model is missing.
    Record(*program);
    EXPECT_EQ(program->MainForm().Transcript().Placeholder(),
              TranscriptionLink::UnavailableText(false));
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join('\n').toStdString();
}

// The worker hears the newest notes first, whatever order the catalogue holds them in (the order
// of recording, turned round by a sort, or mixed); notes of the same start keep the catalogue's
// order, and a note still being recorded is not handed over.
class TranscriptionHandOver : public CatalogueFixture {};

TEST_F(TranscriptionHandOver, NotesGoNewestFirstWhateverTheCataloguesOrder) {
    const struct {
        const char* What;
        std::vector<int> Minutes; // the start of note i, in minutes
        std::vector<std::string> Expected;
    } cases[] = {
        {"as recorded", {1, 2, 3}, {"000002", "000001", "000000"}},
        {"turned round", {3, 2, 1}, {"000000", "000001", "000002"}},
        {"mixed", {2, 3, 1, 4}, {"000003", "000001", "000000", "000002"}},
        {"ties", {1, 2, 2, 3}, {"000003", "000001", "000002", "000000"}},
        {"all at once", {5, 5}, {"000000", "000001"}},
    };
    for (const auto& c : cases) {
        Reopen();
        Catalogue& cat = *mCat;
        cat.NewCatalogue();
        for (std::size_t i = 0; i < c.Minutes.size(); ++i) {
            const std::string name = "00000" + std::to_string(i);
            cat.AddFoundNote(cat.NotesNode(), name, 3'288'522'600'000LL + c.Minutes[i] * 60'000LL,
                             11025, 16);
            cat.CompleteNote(100, 1000);
        }
        cat.AddFoundNote(cat.NotesNode(), "000099", 3'288'522'600'000LL + 99 * 60'000LL, 11025,
                         16); // still recording: no duration yet
        NoteQueue queue = TranscriptionLink::NotesNewestFirst(cat);
        std::vector<std::string> names;
        for (; queue.Size() > 0; queue.PopFront()) {
            names.push_back(queue.FrontName());
        }
        EXPECT_EQ(names, c.Expected) << c.What;
    }
}

} // namespace
} // namespace tellamo::test
