// What the transcript worker costs the program for a lifetime of notes: the time the window
// thread spends handing 100,000 notes over, the resident memory they take while they wait in
// the worker's queue (the worker not started yet, as right after the start-up), and the
// resident memory left once the worker has looked at every note of 20,000 and its queue is
// empty. The notes have no WAV files, so that no recogniser is needed: each look only puts the
// note's description into the index.
//
//   build-bench/bench/app/transcription_queue_bench

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "BenchSupport.h"
#include "app/Transcription.h"
#include "catalogue/Catalogue.h"
#include "common/Errors.h"
#include "common/FileSystem.h"
#include "transcript/Recogniser.h"
#include "transcript/SearchIndex.h"
#include "transcript/TranscriptWorker.h"

namespace tellamo {
namespace {

std::unique_ptr<Catalogue> MakeCatalogue(const QString& documents, int notes) {
    auto cat = std::make_unique<Catalogue>(Storage(documents, "My Voice Notes", "ReadMe.txt"),
                                           "Notes", "Recycle Bin", RealFileSystem());
    cat->Files().EnsureStorageFolder([](const QString&, const QString&) {});
    cat->NewCatalogue();
    for (int i = 0; i < notes; ++i) {
        cat->AddFoundNote(cat->NotesNode(), QString("%1").arg(i, 6, 10, QChar('0')).toStdString(),
                          3'288'522'600'000LL + i * 60'000LL, 11025, 16);
        cat->CompleteNote(100, 1000 + i);
        cat->Notes().LastAddedNote()->Description =
            "Call about the quarterly report " + std::to_string(i % 97);
    }
    return cat;
}

std::unique_ptr<TranscriptWorker> MakeWorker(const QString& dir, const Catalogue& cat) {
    auto worker = std::make_unique<TranscriptWorker>(
        (dir + "/cache/transcripts.sqlite").toStdString(),
        []() -> std::unique_ptr<Recogniser> { throw TellamoError("no recogniser here"); });
    worker->SetStorageFolder(cat.Files().StorageFolder().toStdString());
    return worker;
}

// Resident memory with what earlier rounds freed given back first, so that it does not hide
// this round's growth.
long SettledResidentKb() {
    malloc_trim(0);
    return bench::ResidentKb();
}

void BM_HandOverNotes(benchmark::State& state) {
    QTemporaryDir dir;
    const auto cat = MakeCatalogue(dir.path(), static_cast<int>(state.range(0)));
    long added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto worker = MakeWorker(dir.path(), *cat);
        const long before = SettledResidentKb();
        state.ResumeTiming();
        worker->SetNotes(TranscriptionLink::NotesNewestFirst(*cat));
        state.PauseTiming();
        added = bench::ResidentKb() - before;
        worker.reset();
        state.ResumeTiming();
    }
    state.counters["queued_MB"] = added / 1024.0;
}
BENCHMARK(BM_HandOverNotes)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ResidentOnceTheQueueIsEmpty(benchmark::State& state) {
    QTemporaryDir dir;
    const auto cat = MakeCatalogue(dir.path(), static_cast<int>(state.range(0)));
    long added = 0;
    for (auto _ : state) {
        SearchIndex::Discard((dir.path() + "/cache/transcripts.sqlite").toStdString());
        const long before = SettledResidentKb();
        auto worker = MakeWorker(dir.path(), *cat);
        worker->SetIdlePriority(false);
        worker->SetNotes(TranscriptionLink::NotesNewestFirst(*cat));
        worker->Start();
        if (!worker->WaitUntilIdle(600'000)) {
            state.SkipWithError("the worker did not finish");
        }
        added = bench::ResidentKb() - before;
        worker.reset();
    }
    state.counters["left_MB"] = added / 1024.0;
}
BENCHMARK(BM_ResidentOnceTheQueueIsEmpty)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
} // namespace tellamo

int main(int argc, char** argv) {
    // As the program does (see TellamoProgram): large arrays get pages of their own.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
