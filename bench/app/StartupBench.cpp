// Start-up to the main window shown, with 10,000 and 100,000 notes in the catalogue, and the
// program's resident memory afterwards; and start-up with a one-hour recording that was cut off
// (its repair runs before the window shows). Runs on Qt's offscreen platform unless another is
// set.
//
// With 100,000 notes that all have a current transcript beside them: start-up to the first idle
// moment done (where the transcript worker gets the notes and starts), with and without
// transcription; and the worker's own pass over those notes on its thread, with the search index
// still to be made and with it made.
//
//   build-bench/bench/app/startup_bench

#include <array>
#include <atomic>
#include <fstream>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "BenchSupport.h"
#include "app/TDM.h"
#include "app/TellamoProgram.h"
#include "app/Transcription.h"
#include "audio/WavFormat.h"
#include "audio/WindowPoster.h"
#include "catalogue/Catalogue.h"
#include "common/ByteIO.h"
#include "common/Errors.h"
#include "common/FileSystem.h"
#include "mainwindow/TellamoMainForm.h"
#include "support/FakeWavePort.h"
#include "transcript/Recogniser.h"
#include "transcript/SearchIndex.h"
#include "transcript/TranscriptFiles.h"
#include "transcript/TranscriptWorker.h"
#include "transcript/WebVtt.h"

namespace tellamo {
namespace {

void WriteCatalogue(const QString& documents, int notes) {
    Catalogue cat(Storage(documents, "My Voice Notes", "ReadMe.txt"), "Notes", "Recycle Bin",
                  RealFileSystem());
    cat.Files().EnsureStorageFolder([](const QString&, const QString&) {});
    cat.NewCatalogue();
    std::vector<FolderNode*> folders{cat.NotesNode()};
    for (int i = 0; i < 199; ++i) {
        folders.push_back(
            cat.AddFolder(folders[static_cast<std::size_t>(i) / 3], QString("Folder %1").arg(i)));
    }
    cat.SelectFolder(cat.NotesNode());
    for (int i = 0; i < notes; ++i) {
        // Half the notes in the selected folder, so that the list really shows many rows.
        FolderNode* folder =
            i % 2 ? cat.NotesNode() : folders[static_cast<std::size_t>(i) % folders.size()];
        cat.AddFoundNote(folder, QString("%1").arg(i, 6, 10, QChar('0')).toStdString(),
                         3'288'522'600'000LL + i * 60'000LL, 11025, 16);
        cat.CompleteNote(100, 1000 + i);
        cat.Notes().LastAddedNote()->Description =
            "Call about the quarterly report " + std::to_string(i % 97);
    }
    cat.SaveCatalogue();
}

void BM_StartupToWindowShown(benchmark::State& state) {
    QTemporaryDir dir;
    WriteCatalogue(dir.path(), static_cast<int>(state.range(0)));
    long resident = 0;
    FakeWavePort port;
    EventFdPoster poster;
    for (auto _ : state) {
        auto program = std::make_unique<TellamoProgram>(dir.path(), RealFileSystem(), port, poster,
                                                        (dir.path() + "/PLAY.TMP").toStdString());
        program->Start();
        program->Show();
        if (!QTest::qWaitForWindowExposed(&program->MainForm())) {
            state.SkipWithError("window not shown");
        }
        QCoreApplication::processEvents(); // the first paint of the list
        state.PauseTiming();
        resident = bench::ResidentKb();
        program->MainForm().hide();
        program.reset();
        state.ResumeTiming();
    }
    state.counters["resident_MB"] = resident / 1024.0;
}
BENCHMARK(BM_StartupToWindowShown)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// One hour at 22050 Hz, 16-bit mono (159 MB) whose header declares no sound and whose record has
// no duration, as a kill leaves it at worst, among 1,000 complete notes. Timed: from the start
// to the window shown, the repair (header, record, graph drawn from the whole hour, catalogue
// saved) included. The file is in the page cache, as it is right after the program died.
void BM_StartupRepairingAnInterruptedHour(benchmark::State& state) {
    QTemporaryDir dir;
    WriteCatalogue(dir.path(), 1000);
    std::string wavPath;
    std::string indexPath;
    std::string index;
    {
        Catalogue cat(Storage(dir.path(), "My Voice Notes", "ReadMe.txt"), "Notes", "Recycle Bin",
                      RealFileSystem());
        cat.LoadCatalogue();
        const NoteRecord* note = cat.AddRecordedNote(cat.NotesNode(), "interrupted", 22050, 16);
        cat.SaveCatalogue();
        wavPath = cat.Files().NoteWavPath(note->FileName).toStdString();
        indexPath = cat.Files().IndexFilePath().toStdString();
        std::ifstream in(indexPath, std::ios::binary);
        index.assign(std::istreambuf_iterator<char>(in), {});
    }
    {
        std::ofstream wav(wavPath, std::ios::binary);
        const auto header = MakeWaveHeader(1, 22050, 16);
        wav.write(reinterpret_cast<const char*>(header.data()), header.size());
        std::string second(44100, '\0');
        for (std::size_t i = 0; i < second.size(); i += 2) {
            const int v = static_cast<int>((i / 2) % 200) * 100 - 10000;
            second[i] = static_cast<char>(v & 0xFF);
            second[i + 1] = static_cast<char>((v >> 8) & 0xFF);
        }
        for (int s = 0; s < 3600; ++s) {
            wav.write(second.data(), static_cast<std::streamsize>(second.size()));
        }
    }
    FakeWavePort port;
    EventFdPoster poster;
    for (auto _ : state) {
        state.PauseTiming();
        {
            std::ofstream out(indexPath, std::ios::binary | std::ios::trunc);
            out.write(index.data(), static_cast<std::streamsize>(index.size()));
        }
        const int fd = ::open(wavPath.c_str(), O_WRONLY);
        const char zeros[4] = {};
        const bool reset =
            fd >= 0 && ::pwrite(fd, zeros, 4, 4) == 4 && ::pwrite(fd, zeros, 4, 40) == 4;
        if (fd >= 0) {
            ::close(fd);
        }
        if (!reset) {
            state.SkipWithError("cannot reset the recording's header");
            return;
        }
        state.ResumeTiming();
        auto program = std::make_unique<TellamoProgram>(dir.path(), RealFileSystem(), port, poster,
                                                        (dir.path() + "/PLAY.TMP").toStdString());
        program->Start();
        program->Show();
        if (!QTest::qWaitForWindowExposed(&program->MainForm())) {
            state.SkipWithError("window not shown");
        }
        state.PauseTiming();
        const NoteRecord* last = program->DM().Cat().Notes().All().back().get();
        if (last->Description != "interrupted" || last->Duration.value_or(0) != 3'600'000) {
            state.SkipWithError("the recording was not repaired");
        }
        program->MainForm().hide();
        program.reset();
        state.ResumeTiming();
    }
    ::unlink(wavPath.c_str());
}
BENCHMARK(BM_StartupRepairingAnInterruptedHour)->Unit(benchmark::kMillisecond)->Iterations(3);

// The worker's recogniser: every note here has its transcript, so none may be made.
TranscriptWorker::RecogniserFactory NoRecogniser(std::atomic<bool>& asked) {
    return [&asked]() -> std::unique_ptr<Recogniser> {
        asked = true;
        throw TellamoError("every note has its transcript: no recogniser is wanted");
    };
}

// A storage folder of 100,000 notes, each with a short WAV and a current transcript of a few
// words beside it, as after years of use with transcription on. Made once per run of the
// program, when the first benchmark that needs it starts (about 200,000 files).
class TranscribedFolder {
public:
    static constexpr int Notes = 100'000;

    static const TranscribedFolder& Get() {
        static const TranscribedFolder folder;
        return folder;
    }
    QString Documents() const { return mDir.path(); }
    Storage Folder() const { return Storage(mDir.path(), "My Voice Notes", "ReadMe.txt"); }
    std::string IndexPath() const {
        return (mDir.path() + "/cache/transcripts.sqlite").toStdString();
    }

    // A worker at the caller's priority with every note handed over, not started yet.
    std::unique_ptr<TranscriptWorker> LookingWorker(const Catalogue& cat,
                                                    std::atomic<bool>& recogniserAsked) const {
        auto worker =
            std::make_unique<TranscriptWorker>(IndexPath(), NoRecogniser(recogniserAsked));
        worker->SetIdlePriority(false);
        worker->SetStorageFolder(cat.Files().StorageFolder().toStdString());
        worker->SetNotes(TranscriptionLink::NotesNewestFirst(cat));
        return worker;
    }
    void DiscardIndex() const {
        SearchIndex::Discard(IndexPath());
        mIndexMade = false;
    }
    // The index as every start after the first finds it: made by a whole pass of the worker (once
    // a run, unless discarded since). False when the worker did not finish.
    bool MakeIndex(std::atomic<bool>& recogniserAsked) const {
        if (mIndexMade) {
            return true;
        }
        Catalogue cat(Folder(), "Notes", "Recycle Bin", RealFileSystem());
        cat.LoadCatalogue();
        auto worker = LookingWorker(cat, recogniserAsked);
        worker->Start();
        mIndexMade = worker->WaitUntilIdle(600'000);
        return mIndexMade;
    }
    void IndexMade() const { mIndexMade = true; }

private:
    TranscribedFolder() {
        WriteCatalogue(mDir.path(), Notes);
        Catalogue cat(Folder(), "Notes", "Recycle Bin", RealFileSystem());
        cat.LoadCatalogue();
        // 50 ms of 11025 Hz 16-bit mono: one disk block with its header.
        constexpr std::uint32_t SoundBytes = 1102;
        std::array<unsigned char, WaveHeaderSize> header = MakeWaveHeader(1, 11025, 16);
        PutU32(header.data() + 4, WaveHeaderSize + SoundBytes - 8);
        PutU32(header.data() + 40, SoundBytes);
        const std::string sound(SoundBytes, '\0');
        static constexpr const char* Words[] = {
            "budget", "meeting", "thursday", "call",        "back",     "about",  "the",
            "report", "quarter", "numbers",  "remember",    "to",       "send",   "invoice",
            "friday", "garden",  "doctor",   "appointment", "milk",     "bread",  "pick",
            "up",     "kids",    "school",   "project",     "deadline", "review", "draft"};
        constexpr std::size_t WordCount = std::size(Words);
        std::size_t n = 0;
        for (const auto& note : cat.Notes().All()) {
            const std::string wavPath = cat.Files().NoteWavPath(note->FileName).toStdString();
            {
                std::ofstream wav(wavPath, std::ios::binary);
                wav.write(reinterpret_cast<const char*>(header.data()), header.size());
                wav.write(sound.data(), static_cast<std::streamsize>(sound.size()));
            }
            Transcript transcript;
            transcript.Source = StampOf(wavPath);
            transcript.HasSource = true;
            for (std::int64_t c = 0; c < 2; ++c) {
                Cue cue{c * 4000 + 200, c * 4000 + 3000, {}};
                for (std::int64_t w = 0; w < 5; ++w) {
                    const std::int64_t at = cue.StartMs + w * 500;
                    cue.Words.push_back(
                        {Words[(n * 7 + static_cast<std::size_t>(c * 5 + w) * 3) % WordCount], at,
                         at + 400});
                }
                transcript.Cues.push_back(std::move(cue));
            }
            std::ofstream vtt(TranscriptPathFor(wavPath), std::ios::binary);
            vtt << FormatWebVtt(transcript);
            ++n;
        }
    }

    // In memory where there is a shared-memory folder: on a slow disk, making and removing
    // 200,000 files would cost a run minutes of writing back instead of seconds.
    static QString FolderTemplate() {
        const QFileInfo memory(QStringLiteral("/dev/shm"));
        const QString base =
            memory.isDir() && memory.isWritable() ? memory.filePath() : QDir::tempPath();
        return base + QStringLiteral("/startup_bench-XXXXXX");
    }

    QTemporaryDir mDir{FolderTemplate()};
    mutable bool mIndexMade = false; // by a whole pass since the index was last discarded
};

// The first idle moment comes when the window thread's loop is about to wait (QTest's waits
// never wait in the loop); the timer ends each wait.
void RunToFirstIdle(TellamoProgram& program) {
    while (!program.FirstIdleDone()) {
        QTimer::singleShot(10, [] {});
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// From the program made to its first idle moment done: with transcription (range 1), the notes'
// hand-over to the worker and its start. The time is the window thread's own (the CPU column
// is that thread's time): the worker's pass over the notes, which begins as the timing ends, runs
// on its own thread. It runs at the caller's priority here, so that the worker a round leaves
// behind finishes its batch and ends promptly on a busy machine (at the lowest priority it might
// not run for minutes).
void BM_StartupToFirstIdle(benchmark::State& state) {
    const TranscribedFolder& folder = TranscribedFolder::Get();
    const bool transcription = state.range(0) != 0;
    long resident = 0;
    std::atomic<bool> recogniserAsked{false};
    FakeWavePort port;
    EventFdPoster poster;
    for (auto _ : state) {
        // As in main(), the worker is made first and outlives the program.
        std::unique_ptr<TranscriptWorker> worker;
        if (transcription) {
            worker = std::make_unique<TranscriptWorker>(folder.IndexPath(),
                                                        NoRecogniser(recogniserAsked));
            worker->SetIdlePriority(false);
        }
        auto program =
            std::make_unique<TellamoProgram>(folder.Documents(), RealFileSystem(), port, poster,
                                             (folder.Documents() + "/PLAY.TMP").toStdString());
        if (worker) {
            program->SetTranscription({worker.get(), true, folder.IndexPath()});
        }
        program->Start();
        program->Show();
        if (!QTest::qWaitForWindowExposed(&program->MainForm())) {
            state.SkipWithError("window not shown");
        }
        RunToFirstIdle(*program);
        QCoreApplication::processEvents(); // the first paint of the list
        state.PauseTiming();
        resident = bench::ResidentKb();
        if (transcription && program->Transcripts() == nullptr) {
            state.SkipWithError("the program made no transcription");
        }
        program->MainForm().hide();
        program.reset();
        worker.reset();
        state.ResumeTiming();
    }
    if (recogniserAsked) {
        state.SkipWithError("a note without a current transcript was found");
    }
    state.counters["resident_MB"] = resident / 1024.0;
}
BENCHMARK(BM_StartupToFirstIdle)
    ->ArgName("transcription")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// The worker's pass over the 100,000 transcribed notes from its start until its queues are
// empty: each note's WAV and transcript looked at, and with no index yet (range 0) every
// transcript read and put into a new one; with the index made (range 1) only compared with it.
// The CPU column is the process's: the window thread only waits here, so it is the worker's.
void BM_WorkerLooksAtTranscribedNotes(benchmark::State& state) {
    const TranscribedFolder& folder = TranscribedFolder::Get();
    const bool indexMade = state.range(0) != 0;
    Catalogue cat(folder.Folder(), "Notes", "Recycle Bin", RealFileSystem());
    cat.LoadCatalogue();
    std::atomic<bool> recogniserAsked{false};
    if (indexMade && !folder.MakeIndex(recogniserAsked)) {
        state.SkipWithError("the worker did not make the index");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        if (!indexMade) {
            folder.DiscardIndex();
        }
        auto worker = folder.LookingWorker(cat, recogniserAsked);
        state.ResumeTiming();
        worker->Start();
        if (!worker->WaitUntilIdle(600'000)) {
            state.SkipWithError("the worker did not finish");
            return;
        }
        state.PauseTiming();
        folder.IndexMade();
        worker.reset();
        state.ResumeTiming();
    }
    if (recogniserAsked) {
        state.SkipWithError("a note without a current transcript was found");
    }
}
BENCHMARK(BM_WorkerLooksAtTranscribedNotes)
    ->ArgName("index_made")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Iterations(1);

// What the window thread spends while the worker of a program just started looks at the
// 100,000 transcribed notes (the index made, as at every start after the first): the worker's
// progress and index news come to it in batches. The time is from the first idle moment to the
// worker's queues empty; the CPU column is the window thread's own.
void BM_WindowWhileWorkerLooks(benchmark::State& state) {
    const TranscribedFolder& folder = TranscribedFolder::Get();
    std::atomic<bool> recogniserAsked{false};
    if (!folder.MakeIndex(recogniserAsked)) {
        state.SkipWithError("the worker did not make the index");
        return;
    }
    FakeWavePort port;
    EventFdPoster poster;
    for (auto _ : state) {
        state.PauseTiming();
        auto worker =
            std::make_unique<TranscriptWorker>(folder.IndexPath(), NoRecogniser(recogniserAsked));
        worker->SetIdlePriority(false);
        auto program =
            std::make_unique<TellamoProgram>(folder.Documents(), RealFileSystem(), port, poster,
                                             (folder.Documents() + "/PLAY.TMP").toStdString());
        program->SetTranscription({worker.get(), true, folder.IndexPath()});
        program->Start();
        program->Show();
        if (!QTest::qWaitForWindowExposed(&program->MainForm())) {
            state.SkipWithError("window not shown");
            return;
        }
        RunToFirstIdle(*program);
        state.ResumeTiming();
        if (!QTest::qWaitFor([&] { return worker->WaitUntilIdle(0); }, 600'000)) {
            state.SkipWithError("the worker did not finish");
            return;
        }
        QCoreApplication::processEvents(); // what the worker said last
        state.PauseTiming();
        program->MainForm().hide();
        program.reset();
        worker.reset();
        state.ResumeTiming();
    }
    if (recogniserAsked) {
        state.SkipWithError("a note without a current transcript was found");
    }
}
BENCHMARK(BM_WindowWhileWorkerLooks)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
} // namespace tellamo

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
