// The worker with a scripted recogniser: newest notes first, progress, the model made once and
// given back when idle, a changed note transcribed again, a missing model said once, a damaged
// index rebuilt from the transcripts, and a kill in the middle after which a new start goes on
// where the last one stopped with nothing half-written.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "audio/WavFormat.h"
#include "common/Errors.h"
#include "support/TempDir.h"
#include "transcript/Recogniser.h"
#include "transcript/SearchIndex.h"
#include "transcript/TranscriptFiles.h"
#include "transcript/TranscriptWorker.h"

namespace tellamo {
namespace {

// The worker runs at the lowest priority: on a busy machine it gets the CPU last.
constexpr int IdleTimeoutMs = 180'000;

struct Counters {
    std::atomic<int> Made{0};
    std::atomic<int> Alive{0};
    std::atomic<int> Recognised{0};
};

// Hears one word per chunk, named after the chunk's middle sample ("w1003"), so that each note
// is told apart by the level it was written with.
class ScriptedRecogniser final : public Recogniser {
public:
    ScriptedRecogniser(Counters& counters, int delayMs) : mCounters(counters), mDelayMs(delayMs) {
        ++mCounters.Made;
        ++mCounters.Alive;
    }
    ~ScriptedRecogniser() override { --mCounters.Alive; }
    Recognition Recognise(const std::int16_t* samples, std::size_t count) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(mDelayMs));
        ++mCounters.Recognised;
        Recognition r;
        r.Best.push_back({"w" + std::to_string(samples[count / 2]), 100, 400, 1.0});
        r.Best.push_back({"spoken", 500, 800, 1.0});
        return r;
    }

private:
    Counters& mCounters;
    int mDelayMs;
};

void WriteNote(const std::string& path, std::int16_t level, double seconds = 1.0) {
    const auto header = MakeWaveHeader(1, 16000, 16);
    std::string bytes(reinterpret_cast<const char*>(header.data()), header.size());
    const auto samples = static_cast<std::size_t>(seconds * 16000);
    for (std::size_t i = 0; i < samples; ++i) {
        bytes.push_back(static_cast<char>(level & 0xFF));
        bytes.push_back(static_cast<char>((level >> 8) & 0xFF));
    }
    const std::uint32_t data = static_cast<std::uint32_t>(samples * 2);
    for (int i = 0; i < 4; ++i) {
        bytes[4 + i] = static_cast<char>(((data + 36) >> (8 * i)) & 0xFF);
        bytes[40 + i] = static_cast<char>((data >> (8 * i)) & 0xFF);
    }
    test::WriteFileBytes(path, bytes);
}

class WorkerFixture : public ::testing::Test {
protected:
    std::string Name(int i) const {
        char name[8];
        std::snprintf(name, sizeof name, "%06d", i);
        return name;
    }
    std::string Wav(int i) const { return mDir.File(Name(i) + ".wav"); }
    std::string IndexPath() const { return mDir.File("cache/transcripts.sqlite"); }
    // Notes 1..count, note `count` the newest; each at level 1000 + its number.
    NoteQueue MakeNotes(int count) {
        for (int i = count; i >= 1; --i) {
            WriteNote(Wav(i), static_cast<std::int16_t>(1000 + i));
        }
        return Notes(count);
    }
    // The queue of notes 1..count, newest first, as the catalogue hands them over.
    NoteQueue Notes(int count) const {
        NoteQueue notes;
        for (int i = count; i >= 1; --i) {
            notes.Push(Name(i), "Note number " + std::to_string(i));
        }
        return notes;
    }
    std::unique_ptr<TranscriptWorker> MakeWorker(int delayMs = 0, bool modelMissing = false) {
        auto worker = std::make_unique<TranscriptWorker>(
            IndexPath(), [this, delayMs, modelMissing]() -> std::unique_ptr<Recogniser> {
                if (modelMissing) {
                    throw TellamoError("no model here");
                }
                return std::make_unique<ScriptedRecogniser>(mCounters, delayMs);
            });
        worker->SetStorageFolder(mDir.Path() + "/");
        return worker;
    }

    // A worker on note 1, a long note of one level, at work on it: its first chunk heard.
    std::unique_ptr<TranscriptWorker> BusyOnALongNote(double seconds) {
        mCounters.Recognised = 0;
        WriteNote(Wav(1), 1001, seconds);
        ::mkdir(mDir.File("cache").c_str(), 0700);
        auto worker = MakeWorker(300);
        worker->SetNotes(Notes(1));
        worker->Start();
        for (int i = 0; i < IdleTimeoutMs / 5 && mCounters.Recognised == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return worker;
    }

    test::TempDir mDir;
    Counters mCounters;
};

TEST_F(WorkerFixture, TranscribesNewestFirstIndexesAndGivesTheModelBack) {
    NoteQueue notes = MakeNotes(4);
    notes.Push("nosound", "no WAV"); // a name of another kind, whose sound is gone
    std::mutex lock;
    std::vector<std::string> order;
    std::vector<std::pair<int, int>> progress;
    auto worker = MakeWorker();
    QObject::connect(
        worker.get(), &TranscriptWorker::TranscriptWritten, worker.get(),
        [&](const QString& name) {
            const std::lock_guard guard(lock);
            order.push_back(name.toStdString());
        },
        Qt::DirectConnection);
    QObject::connect(
        worker.get(), &TranscriptWorker::ProgressChanged, worker.get(),
        [&](int done, int total) {
            const std::lock_guard guard(lock);
            progress.emplace_back(done, total);
        },
        Qt::DirectConnection);
    worker->SetNotes(std::move(notes));
    worker->Start();
    ASSERT_TRUE(worker->WaitUntilIdle(IdleTimeoutMs));
    // Idle means the recogniser has gone too; give the thread its last step.
    for (int i = 0; i < 200 && mCounters.Alive > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(order, (std::vector<std::string>{"000004", "000003", "000002", "000001"}));
    EXPECT_EQ(mCounters.Made, 1);  // loaded once for the whole queue
    EXPECT_EQ(mCounters.Alive, 0); // and given back when it was empty
    {
        const std::lock_guard guard(lock);
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(progress.back(), std::make_pair(4, 4));
        EXPECT_EQ(worker->CurrentProgress().Idle, true);
    }
    for (int i = 1; i <= 4; ++i) {
        EXPECT_TRUE(TranscriptIsCurrent(Wav(i)));
        EXPECT_EQ(ReadTranscriptFile(TranscriptPathFor(Wav(i))).Text(),
                  "w" + std::to_string(1000 + i) + " spoken");
    }
    SearchIndex index(IndexPath());
    EXPECT_EQ(index.Find("w1003"), std::vector<std::string>{"000003"});
    EXPECT_EQ(index.Find("spoken number 2"), std::vector<std::string>{"000002"});
    EXPECT_EQ(TranscriptWorker::ProgressText(3, 120),
              QStringLiteral("Transcribing 3 of 120 notes…"));

    // A recording comes first; a description change and a deletion reach the index.
    WriteNote(Wav(9), 1009);
    worker->NoteRecorded(Name(9), "Fresh");
    worker->DescriptionChanged("000001", "Renamed");
    worker->NotesDeleted({"000002"});
    ASSERT_TRUE(worker->WaitUntilIdle(IdleTimeoutMs));
    EXPECT_EQ(index.Find("w1009 fresh"), std::vector<std::string>{"000009"});
    EXPECT_EQ(index.Find("renamed w1001"), std::vector<std::string>{"000001"});
    EXPECT_TRUE(index.Find("w1002").empty());
}

TEST_F(WorkerFixture, OnlyNotesWithoutACurrentTranscriptAreTranscribedAgain) {
    {
        auto worker = MakeWorker();
        worker->SetNotes(MakeNotes(3));
        worker->Start();
        ASSERT_TRUE(worker->WaitUntilIdle(IdleTimeoutMs));
    }
    EXPECT_EQ(mCounters.Recognised, 3);
    // Note 2's sound is replaced (another level), note 3's transcript is deleted.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    WriteNote(Wav(2), 1502, 1.5);
    ::unlink(TranscriptPathFor(Wav(3)).c_str());
    auto worker = MakeWorker();
    worker->SetNotes(Notes(3));
    worker->Start();
    ASSERT_TRUE(worker->WaitUntilIdle(IdleTimeoutMs));
    EXPECT_EQ(mCounters.Recognised, 5);
    EXPECT_EQ(ReadTranscriptFile(TranscriptPathFor(Wav(2))).Text(), "w1502 spoken");
    SearchIndex index(IndexPath());
    EXPECT_EQ(index.Find("w1502"), std::vector<std::string>{"000002"});
    EXPECT_TRUE(index.Find("w1002").empty());
}

TEST_F(WorkerFixture, AMissingModelIsSaidOnceAndTheIndexStillFollowsTheTranscripts) {
    MakeNotes(3);
    {
        auto worker = MakeWorker();
        worker->SetNotes(Notes(1));
        worker->Start();
        ASSERT_TRUE(worker->WaitUntilIdle(IdleTimeoutMs));
    }
    ::unlink(IndexPath().c_str());
    std::atomic<int> said{0};
    auto worker = MakeWorker(0, true);
    QObject::connect(
        worker.get(), &TranscriptWorker::TranscriptionUnavailable, worker.get(),
        [&](const QString& text) {
            EXPECT_EQ(text, QStringLiteral("no model here"));
            ++said;
        },
        Qt::DirectConnection);
    worker->SetNotes(Notes(3));
    worker->Start();
    ASSERT_TRUE(worker->WaitUntilIdle(IdleTimeoutMs));
    EXPECT_EQ(said, 1);
    EXPECT_FALSE(test::FileExists(TranscriptPathFor(Wav(3))));
    SearchIndex index(IndexPath());
    EXPECT_EQ(index.Find("w1001"), std::vector<std::string>{"000001"});
    EXPECT_EQ(index.Find("number 3"), std::vector<std::string>{"000003"}); // its description
}

TEST_F(WorkerFixture, ADamagedIndexIsMadeAgainFromTheTranscripts) {
    {
        auto worker = MakeWorker();
        worker->SetNotes(MakeNotes(3));
        worker->Start();
        ASSERT_TRUE(worker->WaitUntilIdle(IdleTimeoutMs));
    }
    test::WriteFileBytes(IndexPath(), std::string(8192, '\x17'));
    ::unlink((IndexPath() + "-wal").c_str());
    auto worker = MakeWorker();
    worker->SetNotes(Notes(3));
    worker->Start();
    ASSERT_TRUE(worker->WaitUntilIdle(IdleTimeoutMs));
    EXPECT_EQ(mCounters.Recognised, 3); // nothing transcribed again
    SearchIndex index(IndexPath());
    EXPECT_FALSE(index.WasRebuilt());
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(index.Find("w" + std::to_string(1000 + i)), std::vector<std::string>{Name(i)});
    }
}

TEST_F(WorkerFixture, AKillInTheMiddleLeavesWholeTranscriptsAndTheNextStartGoesOn) {
    constexpr int Count = 12;
    MakeNotes(Count);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto worker = MakeWorker(250);
        worker->SetNotes(Notes(Count));
        worker->Start();
        worker->WaitUntilIdle(60000);
        _exit(0);
    }
    const auto transcribed = [&] {
        int n = 0;
        for (int i = 1; i <= Count; ++i) {
            n += test::FileExists(TranscriptPathFor(Wav(i))) ? 1 : 0;
        }
        return n;
    };
    // The child spends a quarter of a second on each note: plenty of time to kill it between
    // two notes or in the middle of one, even on a loaded machine.
    for (int i = 0; i < 30000 && transcribed() < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child finished before it was killed";
    const int before = transcribed();
    ASSERT_GE(before, 3);
    ASSERT_LT(before, Count);
    for (int i = 1; i <= Count; ++i) {
        if (test::FileExists(TranscriptPathFor(Wav(i)))) {
            EXPECT_TRUE(TranscriptIsCurrent(Wav(i)));
            EXPECT_EQ(ReadTranscriptFile(TranscriptPathFor(Wav(i))).Text(),
                      "w" + std::to_string(1000 + i) + " spoken");
        }
    }
    auto worker = MakeWorker();
    worker->SetNotes(Notes(Count));
    worker->Start();
    ASSERT_TRUE(worker->WaitUntilIdle(IdleTimeoutMs));
    EXPECT_EQ(mCounters.Recognised, Count - before); // the finished ones were not done again
    SearchIndex index(IndexPath());
    for (int i = 1; i <= Count; ++i) {
        EXPECT_TRUE(TranscriptIsCurrent(Wav(i)));
        EXPECT_EQ(index.Find("w" + std::to_string(1000 + i)), std::vector<std::string>{Name(i)});
    }
}

TEST_F(WorkerFixture, APausedWorkerTranscribesNothingButTheIndexFollowsTheNotes) {
    MakeNotes(3);
    auto worker = MakeWorker();
    worker->Pause();
    EXPECT_TRUE(worker->IsPaused());
    worker->SetNotes(Notes(3));
    ::mkdir(mDir.File("cache").c_str(), 0700);
    SearchIndex index(IndexPath()); // made before the worker opens it
    worker->Start();
    worker->DescriptionChanged("000001", "Renamed");
    worker->NotesDeleted({"000003"});
    WriteNote(Wav(9), 1009);
    worker->NoteRecorded(Name(9), "Fresh");
    // Descriptions, deletions and the notes handed over reach the index without a recogniser.
    const auto found = [&](const char* typed) { return index.Find(typed); };
    for (int i = 0; i < IdleTimeoutMs / 10 && found("note number").size() != 1; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (int i = 0; i < IdleTimeoutMs / 10 && found("fresh").empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(found("note number"), std::vector<std::string>{"000002"});
    EXPECT_EQ(found("renamed"), std::vector<std::string>{"000001"});
    EXPECT_EQ(found("fresh"), std::vector<std::string>{"000009"});
    EXPECT_FALSE(worker->WaitUntilIdle(300)); // the transcripts wait
    EXPECT_EQ(mCounters.Made, 0);
    EXPECT_EQ(mCounters.Recognised, 0);

    worker->Resume();
    ASSERT_TRUE(worker->WaitUntilIdle(IdleTimeoutMs));
    EXPECT_EQ(mCounters.Recognised, 3);
    EXPECT_EQ(found("renamed w1001"), std::vector<std::string>{"000001"});
    EXPECT_EQ(found("fresh w1009"), std::vector<std::string>{"000009"});
    EXPECT_FALSE(test::FileExists(TranscriptPathFor(Wav(3))));
}

TEST_F(WorkerFixture, ANoteHeldByAPauseDoesNotHoldUpTheDescriptions) {
    auto worker = BusyOnALongNote(60.0); // several chunks: the pause comes between two
    SearchIndex index(IndexPath());
    worker->Pause();
    ASSERT_FALSE(test::FileExists(TranscriptPathFor(Wav(1))))
        << "the note was finished before the pause came";
    worker->DescriptionChanged("000001", "Renamed");
    for (int i = 0; i < IdleTimeoutMs / 10 && index.Find("renamed").empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(index.Find("renamed"), std::vector<std::string>{"000001"});
    EXPECT_FALSE(test::FileExists(TranscriptPathFor(Wav(1))));
    worker->Resume();
    ASSERT_TRUE(worker->WaitUntilIdle(IdleTimeoutMs));
    EXPECT_GT(mCounters.Recognised, 1);
    EXPECT_EQ(index.Find("renamed w1001"), std::vector<std::string>{"000001"});
}

// The window deletes a note (its WAV and whatever else bears its name) while the worker is
// transcribing it, running or held by a pause: the rest of the note is not heard, and no
// transcript appears afterwards as a file that no note names.
TEST_F(WorkerFixture, ANoteDeletedWhileItIsTranscribedLeavesNoTranscriptBehind) {
    for (const bool paused : {false, true}) {
        SCOPED_TRACE(paused ? "held by a pause" : "running");
        auto worker = BusyOnALongNote(200.0); // ten chunks: the deletion comes between two
        SearchIndex index(IndexPath());
        if (paused) {
            worker->Pause();
        }
        ASSERT_FALSE(test::FileExists(TranscriptPathFor(Wav(1))))
            << "the note was finished before the deletion came";
        ::unlink(Wav(1).c_str());
        worker->NotesDeleted({"000001"});
        ASSERT_TRUE(worker->WaitUntilIdle(IdleTimeoutMs));
        EXPECT_FALSE(test::FileExists(TranscriptPathFor(Wav(1))));
        EXPECT_FALSE(index.Get("000001"));
        EXPECT_LT(mCounters.Recognised, 5) << "the deleted note was heard to its end";
    }
}

// The window looks at the folder for the note's files before it tells the worker; a transcript
// renamed into place between the two is still removed with the note.
TEST_F(WorkerFixture, ATranscriptTheWindowMissedGoesWithItsNote) {
    NoteQueue notes = MakeNotes(1);
    auto worker = MakeWorker();
    worker->SetNotes(std::move(notes));
    worker->Start();
    ASSERT_TRUE(worker->WaitUntilIdle(IdleTimeoutMs));
    ASSERT_TRUE(test::FileExists(TranscriptPathFor(Wav(1))));
    ::unlink(Wav(1).c_str());
    worker->NotesDeleted({"000001"});
    ASSERT_TRUE(worker->WaitUntilIdle(IdleTimeoutMs));
    EXPECT_FALSE(test::FileExists(TranscriptPathFor(Wav(1))));
}

} // namespace
} // namespace tellamo
