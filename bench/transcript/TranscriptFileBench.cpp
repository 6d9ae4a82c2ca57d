// A note's transcript as the worker writes it and the window, the transcript pane and
// tellamo-find read it: a minute of speech (about 150 words in 12 phrases) formatted as WebVTT,
// parsed back, and read from a file in the page cache. Per note; the write to the disk itself
// (fsync) is the file system's and not measured here.

#include <cstdio>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>

#include "transcript/TranscriptFiles.h"
#include "transcript/WebVtt.h"

using namespace tellamo;

namespace {

Transcript Minute() {
    static const char* const words[] = {"budget",  "meeting", "thursday", "quarter", "report",
                                        "the",     "and",     "we",       "will",    "review",
                                        "numbers", "before",  "lunch"};
    Transcript t;
    t.HasSource = true;
    t.Source = {1'323'000, 1'700'000'000'000'000'000};
    std::int64_t at = 0;
    for (int c = 0; c < 12; ++c) {
        Cue cue;
        cue.StartMs = at;
        for (int w = 0; w < 13; ++w) {
            const std::string text = words[(c * 7 + w) % 13];
            cue.Words.push_back({text, at, at + 300});
            at += 350;
        }
        cue.EndMs = at - 50;
        at += 400;
        t.Cues.push_back(std::move(cue));
    }
    return t;
}

void BM_FormatTranscript(benchmark::State& state) {
    const Transcript t = Minute();
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatWebVtt(t));
    }
}
BENCHMARK(BM_FormatTranscript)->Unit(benchmark::kMicrosecond);

void BM_ParseTranscript(benchmark::State& state) {
    const std::string bytes = FormatWebVtt(Minute());
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseWebVtt(bytes, "000001.vtt"));
    }
    state.counters["vtt_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_ParseTranscript)->Unit(benchmark::kMicrosecond);

void BM_ReadTranscriptFile(benchmark::State& state) {
    char folder[] = "/tmp/transcript-file-bench-XXXXXX";
    const std::string path = std::string(mkdtemp(folder)) + "/000001.vtt";
    std::ofstream(path, std::ios::binary) << FormatWebVtt(Minute());
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadTranscriptFile(path));
    }
    std::remove(path.c_str());
    std::remove(folder);
}
BENCHMARK(BM_ReadTranscriptFile)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
