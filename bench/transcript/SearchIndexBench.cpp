// The search index at the size of a large catalogue: 100,000 transcribed notes of about 150
// words (SpokenCorpus.h; the index is built once into /tmp and reused by later runs). Reported: the
// search per keystroke while "budget meeting" is typed (and single letters, the worst prefixes),
// the update per new note, and the index's size against the size of the transcripts' text.

#include <optional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include "SpokenCorpus.h"
#include "common/FileSystem.h"
#include "transcript/TranscriptFiles.h"

using namespace tellamo;
using namespace tellamo::bench;

namespace {

const std::string& IndexPath = CorpusIndexPath;

void Keystroke(benchmark::State& state, std::string typed) {
    const CorpusIndex& built = TheCorpusIndex();
    SearchIndex index(IndexPath);
    std::size_t found = 0;
    for (auto _ : state) {
        found = index.Find(typed).size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["notes_found"] = static_cast<double>(found);
    state.counters["index_to_text"] =
        static_cast<double>(FileBytes(IndexPath) + FileBytes(IndexPath + "-wal")) / built.TextBytes;
    state.counters["text_mb"] = built.TextBytes / 1e6;
    state.counters["index_mb"] = static_cast<double>(FileBytes(IndexPath)) / 1e6;
    if (built.BuildCpuPerNoteMs >= 0) {
        state.counters["build_cpu_ms_per_note"] = built.BuildCpuPerNoteMs;
    }
}

void NewNote(benchmark::State& state) {
    TheCorpusIndex();
    SearchIndex index(IndexPath);
    Texts texts;
    int n = 0;
    for (auto _ : state) {
        // One note as the worker adds it after a transcription: its own transaction.
        index.Put("new" + std::to_string(n++), {texts.Next(), "A new note", SourceStamp{1, 1}});
    }
    index.BeginBatch();
    for (int i = 0; i < n; ++i) {
        index.Remove("new" + std::to_string(i));
    }
    index.CommitBatch();
}

// One note as the worker adds it once its transcript is written: the .vtt's stamp taken from
// the file, the description the index already holds kept, the words put in their own
// transaction. Timed in wall time too, since the commit's journal write is part of the cost.
void WorkerUpdate(benchmark::State& state) {
    TheCorpusIndex();
    char folder[] = "/tmp/tellamo-worker-update-XXXXXX";
    if (!::mkdtemp(folder)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string vttPath = std::string(folder) + "/new.vtt";
    Texts texts;
    Transcript transcript;
    std::int64_t ms = 0;
    for (int phrase = 0; phrase < 10; ++phrase) { // ten phrases of 15 words
        Cue cue{ms, 0, {}};
        for (std::string& word : texts.NextWords()) {
            if (cue.Words.size() == 15) {
                break;
            }
            cue.Words.push_back({std::move(word), ms, ms + 300});
            ms += 400;
        }
        cue.EndMs = ms;
        transcript.Cues.push_back(std::move(cue));
        ms += 1000;
    }
    WriteTranscriptFile(RealFileSystem(), vttPath, transcript);
    SearchIndex index(IndexPath);
    int n = 0;
    for (auto _ : state) {
        const std::string name = "new" + std::to_string(n++);
        const std::optional<IndexEntry> known = index.Get(name);
        index.Put(name,
                  {transcript.Text(), known ? known->Description : "A new note", StampOf(vttPath)});
    }
    index.BeginBatch();
    for (int i = 0; i < n; ++i) {
        index.Remove("new" + std::to_string(i));
    }
    index.CommitBatch();
    ::unlink(vttPath.c_str());
    ::rmdir(folder);
}

} // namespace

int main(int argc, char** argv) {
    for (const char* typed : {"b", "bu", "bud", "budg", "budge", "budget", "budget m", "budget me",
                              "budget mee", "budget meet", "budget meeting", "t", "s the a"}) {
        benchmark::RegisterBenchmark(("Keystroke/\"" + std::string(typed) + "\"").c_str(),
                                     Keystroke, std::string(typed))
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime();
    }
    benchmark::RegisterBenchmark("NewNote", NewNote)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(200)
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("WorkerUpdate/cpu", WorkerUpdate)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(200)
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("WorkerUpdate/wall", WorkerUpdate)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(200)
        ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
