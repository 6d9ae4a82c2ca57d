// Transcription with the model loaded once: CPU seconds per second of speech (the recogniser
// runs on the benchmark's own thread, so its CPU time is the work's), the model's load, the
// memory the recogniser holds and gives back, and the keyword figures on pocketsphinx-testdata's
// recordings at 16 kHz and 11,025 Hz, one-best and with the lattice's alternatives above a
// posterior threshold.

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <malloc.h>

#include "audio/NoteAudio.h"
#include "audio/WavFormat.h"
#include "support/BenchSupport.h"
#include "transcript/PocketSphinxRecogniser.h"
#include "transcript/Transcriber.h"

using namespace tellamo;

namespace {

const std::string TestData = "/usr/share/pocketsphinx/test/data/";

struct Recording {
    std::string File;
    std::string Said;
};

std::vector<Recording> Recordings() {
    std::vector<Recording> list;
    const auto add = [&](const std::string& listFile, const std::string& folder) {
        FILE* f = std::fopen((TestData + listFile).c_str(), "r");
        if (!f) {
            return;
        }
        char line[2048];
        while (std::fgets(line, sizeof line, f)) {
            std::string text(line);
            const std::size_t open = text.rfind('(');
            const std::size_t close = text.rfind(')');
            if (open == std::string::npos || close == std::string::npos) {
                continue;
            }
            const std::string id = text.substr(open + 1, close - open - 1);
            std::string said = text.substr(0, open);
            for (const char* mark : {"<s>", "</s>"}) {
                for (std::size_t at; (at = said.find(mark)) != std::string::npos;) {
                    said.erase(at, std::string(mark).size());
                }
            }
            list.push_back({folder + id + ".wav", said});
        }
        std::fclose(f);
    };
    add("librivox/transcription", "librivox/");
    add("cards/cards.transcription", "cards/");
    return list;
}

std::vector<std::int16_t> Read(const std::string& path, unsigned rate) {
    std::vector<std::int16_t> samples;
    ReadNoteAsMono(path, rate, [&](const std::int16_t* s, std::size_t n) {
        samples.insert(samples.end(), s, s + n);
    });
    return samples;
}

std::vector<std::int16_t> RawGoForward() {
    std::vector<std::int16_t> samples;
    FILE* f = std::fopen((TestData + "goforward.raw").c_str(), "rb");
    if (f) {
        std::int16_t buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 2, 4096, f)) > 0) {
            samples.insert(samples.end(), buffer, buffer + n);
        }
        std::fclose(f);
    }
    return samples;
}

std::vector<std::string> WordsOf(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) {
        words.push_back(w);
    }
    return words;
}

// The words a search would be typed with: not the short function words (the same rule as the
// recogniser's tests).
std::set<std::string> Keywords(const std::string& text) {
    static const std::set<std::string> common = {
        "there", "then", "than", "have", "been",   "with",  "this",   "that",
        "might", "much", "more", "them", "rather", "would", "unless", "even"};
    std::set<std::string> keys;
    for (const std::string& w : WordsOf(text)) {
        if (w.size() >= 4 && !common.contains(w)) {
            keys.insert(w);
        }
    }
    return keys;
}

// Every recording at the given rate as 16 kHz samples the way a note of that rate reaches the
// recogniser: resampled to the rate first, then back up to 16 kHz by the note reader.
std::vector<std::pair<Recording, std::vector<std::int16_t>>> Corpus(unsigned rate) {
    std::vector<Recording> list = Recordings();
    list.push_back({"goforward.raw", "go forward ten meters"});
    std::vector<std::pair<Recording, std::vector<std::int16_t>>> corpus;
    char tmp[] = "/tmp/transcribe-bench-XXXXXX";
    const std::string dir = mkdtemp(tmp);
    for (const Recording& r : list) {
        std::vector<std::int16_t> at16 =
            r.File == "goforward.raw" ? RawGoForward() : Read(TestData + r.File, 16000);
        // Through a WAV at the note's rate, as a note recorded at that rate would be.
        const auto header = MakeWaveHeader(1, 16000, 16);
        std::string bytes(reinterpret_cast<const char*>(header.data()), header.size());
        bytes.append(reinterpret_cast<const char*>(at16.data()), at16.size() * 2);
        const auto data = static_cast<std::uint32_t>(at16.size() * 2);
        for (int i = 0; i < 4; ++i) {
            bytes[40 + i] = static_cast<char>((data >> (8 * i)) & 0xFF);
        }
        const std::string wav16 = dir + "/16.wav";
        FILE* f = std::fopen(wav16.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        std::vector<std::int16_t> samples = at16;
        if (rate != 16000) {
            const std::vector<std::int16_t> low = Read(wav16, rate);
            const auto lowHeader = MakeWaveHeader(1, static_cast<std::uint16_t>(rate), 16);
            std::string lowBytes(reinterpret_cast<const char*>(lowHeader.data()), lowHeader.size());
            lowBytes.append(reinterpret_cast<const char*>(low.data()), low.size() * 2);
            const auto lowData = static_cast<std::uint32_t>(low.size() * 2);
            for (int i = 0; i < 4; ++i) {
                lowBytes[40 + i] = static_cast<char>((lowData >> (8 * i)) & 0xFF);
            }
            const std::string wavLow = dir + "/low.wav";
            FILE* g = std::fopen(wavLow.c_str(), "wb");
            std::fwrite(lowBytes.data(), 1, lowBytes.size(), g);
            std::fclose(g);
            samples = Read(wavLow, 16000);
            std::remove(wavLow.c_str());
        }
        std::remove(wav16.c_str());
        corpus.emplace_back(r, std::move(samples));
    }
    std::remove(dir.c_str());
    return corpus;
}

void TranscriptionCpu(benchmark::State& state) {
    PocketSphinxRecogniser recogniser;
    std::vector<std::int16_t> speech;
    for (const auto& [r, samples] : Corpus(16000)) {
        speech.insert(speech.end(), samples.begin(), samples.end());
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(TranscribeSamples(recogniser, speech.data(), speech.size()));
    }
    const double seconds = static_cast<double>(speech.size()) / 16000.0;
    state.counters["speech_s"] = seconds;
    // CPU seconds per iteration over the speech's seconds.
    state.counters["cpu_s_per_speech_s"] = benchmark::Counter(
        seconds, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(TranscriptionCpu)->Unit(benchmark::kSecond)->Iterations(2)->MeasureProcessCPUTime();

void ModelLoad(benchmark::State& state) {
    malloc_trim(0);
    const long before = bench::ResidentKb();
    long loaded = 0;
    for (auto _ : state) {
        PocketSphinxRecogniser recogniser;
        const std::vector<std::int16_t> speech = RawGoForward();
        benchmark::DoNotOptimize(recogniser.Recognise(speech.data(), speech.size()));
        loaded = std::max(loaded, bench::ResidentKb());
    }
    malloc_trim(0);
    state.counters["rss_added_mb"] = static_cast<double>(loaded - before) / 1024.0;
    state.counters["rss_left_mb"] = static_cast<double>(bench::ResidentKb() - before) / 1024.0;
}
BENCHMARK(ModelLoad)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime();

// Found: a keyword of the recording heard in its own transcript; a false hit: a keyword of some
// recording heard in a recording whose words do not contain it.
struct Figures {
    int Keywords = 0;
    int Found = 0;
    int FalseHits = 0;
    int FalseChances = 0;
};

Figures Score(const std::vector<std::set<std::string>>& wanted,
              const std::vector<std::set<std::string>>& heard) {
    std::set<std::string> every;
    for (const auto& w : wanted) {
        every.insert(w.begin(), w.end());
    }
    Figures f;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const std::set<std::string>& reference = wanted[i];
        for (const std::string& k : reference) {
            ++f.Keywords;
            f.Found += heard[i].contains(k) ? 1 : 0;
        }
        for (const std::string& k : every) {
            if (!reference.contains(k)) {
                ++f.FalseChances;
                f.FalseHits += heard[i].contains(k) ? 1 : 0;
            }
        }
    }
    return f;
}

void KeywordFigures(benchmark::State& state) {
    const auto rate = static_cast<unsigned>(state.range(0));
    const double threshold = static_cast<double>(state.range(1)) / 100.0; // 0: one-best only
    PocketSphinxRecogniser recogniser(PocketSphinxRecogniser::DefaultModelFolder(), threshold > 0);
    const auto corpus = Corpus(rate);
    Figures figures;
    for (auto _ : state) {
        std::vector<std::set<std::string>> wanted;
        std::vector<std::set<std::string>> heard;
        for (const auto& [r, samples] : corpus) {
            wanted.push_back(Keywords(r.Said));
            std::set<std::string> words;
            PhraseCutter cutter([&](const std::int16_t* s, std::size_t n, std::uint64_t) {
                const Recognition got = recogniser.Recognise(s, n);
                for (const RecognisedWord& w : got.Best) {
                    words.insert(w.Text);
                }
                for (const RecognisedWord& w : got.Alternatives) {
                    if (w.Posterior >= threshold) {
                        words.insert(w.Text);
                    }
                }
            });
            cutter.Add(samples.data(), samples.size());
            cutter.Finish();
            heard.push_back(words);
        }
        figures = Score(wanted, heard);
    }
    state.counters["keywords"] = figures.Keywords;
    state.counters["found_pct"] = 100.0 * figures.Found / std::max(1, figures.Keywords);
    state.counters["false_hit_pct"] = 100.0 * figures.FalseHits / std::max(1, figures.FalseChances);
    state.counters["false_hits"] = figures.FalseHits;
}
// {rate, posterior threshold in percent}
BENCHMARK(KeywordFigures)
    ->Args({16000, 0})
    ->Args({11025, 0})
    ->Args({16000, 1})
    ->Args({16000, 5})
    ->Args({16000, 20})
    ->Args({16000, 50})
    ->Args({11025, 20})
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime();

} // namespace

BENCHMARK_MAIN();
