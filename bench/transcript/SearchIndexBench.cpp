// The search index at the size of a large catalogue: 100,000 transcribed notes of about 150
// words, drawn from the recogniser's own dictionary with a Zipf distribution (seeded), so that
// common words are common and the vocabulary is that of the transcripts. The index is built
// once into /tmp and reused by later runs. Reported: the search per keystroke while
// "budget meeting" is typed (and single letters, the worst prefixes), the update per new note,
// and the index's size against the size of the transcripts' text.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "transcript/PocketSphinxRecogniser.h"
#include "transcript/SearchIndex.h"

using namespace tellamo;

namespace {

constexpr int Notes = 100'000;
constexpr int WordsPerNote = 150;
const std::string IndexPath = "/tmp/tellamo-search-bench-v2-" + std::to_string(Notes) + ".sqlite";

std::vector<std::string> Vocabulary() {
    std::ifstream dict(PocketSphinxRecogniser::DefaultModelFolder() + "/cmudict-en-us.dict");
    std::vector<std::string> words;
    for (std::string line; std::getline(dict, line);) {
        const std::string word = line.substr(0, line.find(' '));
        if (!word.empty() && word.find('(') == std::string::npos) {
            words.push_back(word);
        }
    }
    std::mt19937 shuffle(1234);
    std::shuffle(words.begin(), words.end(), shuffle);
    words.resize(std::min<std::size_t>(words.size(), 40'000)); // a speaker's vocabulary
    return words;
}

class Texts {
public:
    Texts() : mWords(Vocabulary()), mRandom(42) {
        std::vector<double> weights(mWords.size());
        for (std::size_t r = 0; r < weights.size(); ++r) {
            weights[r] = 1.0 / static_cast<double>(r + 1);
        }
        mRank = std::discrete_distribution<std::size_t>(weights.begin(), weights.end());
    }
    std::string Next() {
        std::string text;
        for (int i = 0; i < WordsPerNote; ++i) {
            text += (i ? " " : "") + mWords[mRank(mRandom)];
        }
        return text;
    }

private:
    std::vector<std::string> mWords;
    std::mt19937 mRandom;
    std::discrete_distribution<std::size_t> mRank;
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::uint64_t FileBytes(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

struct Built {
    double TextBytes = 0;
    double BuildCpuPerNoteMs = -1; // -1: reused from an earlier run
};

Built& TheIndex() {
    static Built built = [] {
        Built b;
        Texts texts;
        std::uint64_t textBytes = 0;
        const std::string done = IndexPath + ".text-bytes";
        if (std::ifstream in(done); in >> textBytes) {
            b.TextBytes = static_cast<double>(textBytes);
            return b;
        }
        SearchIndex::Discard(IndexPath);
        SearchIndex index(IndexPath);
        const double start = CpuSeconds();
        for (int n = 0; n < Notes; n += 1000) {
            index.BeginBatch();
            for (int i = n; i < n + 1000; ++i) {
                const std::string words = texts.Next();
                textBytes += words.size();
                index.Put(std::to_string(100000 + i),
                          {words, "Note " + std::to_string(i), SourceStamp{}});
            }
            index.CommitBatch();
        }
        b.BuildCpuPerNoteMs = (CpuSeconds() - start) * 1000.0 / Notes;
        b.TextBytes = static_cast<double>(textBytes);
        std::ofstream(done) << textBytes;
        return b;
    }();
    return built;
}

void Keystroke(benchmark::State& state, std::string typed) {
    const Built& built = TheIndex();
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
    TheIndex();
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
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
