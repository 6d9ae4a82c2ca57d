// Transcription with the model loaded once: CPU seconds per second of speech (the recogniser
// runs on the benchmark's own thread, so its CPU time is the work's), the model's load, the
// memory the recogniser holds and gives back, and the keyword figures on pocketsphinx-testdata's
// recordings at 16 kHz and 11,025 Hz, one-best and with the lattice's alternatives above a
// posterior threshold; the decoder's settings against the posterior threshold (KeywordSweep), and
// the length of the pieces it is given (ChunkLength).

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <time.h>

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

// The decoder's settings and the posterior threshold weighed together: each setting decodes the
// corpus once with the lattice's alternatives, and every threshold is scored from that one
// decoding ("tNN": alternatives of posterior NN % or more; t00: the one-best alone). cpu_s_per_s
// is the decoding's CPU time, alternatives included, over the speech's seconds.
struct SweepSetting {
    const char* Name;
    PocketSphinxRecogniser::DecoderSettings Switches;
};

const std::vector<SweepSetting>& SweepSettings() {
    static const std::vector<SweepSetting> settings = {
        {"program", {}},
        {"fwdflatbeam_1e-64", {{"-fwdflatbeam", "1e-64"}}}, // the decoder's own
        {"fwdflat_no", {{"-fwdflat", "no"}}},
        {"bestpath_no", {{"-bestpath", "no"}}},
        {"fwdflat_no_bestpath_no", {{"-fwdflat", "no"}, {"-bestpath", "no"}}},
        {"fwdflat_no_bestpath_no_lw_7.5",
         {{"-fwdflat", "no"}, {"-bestpath", "no"}, {"-lw", "7.5"}}},
        {"fwdflat_no_bestpath_no_lw_5.5",
         {{"-fwdflat", "no"}, {"-bestpath", "no"}, {"-lw", "5.5"}}},
        {"fwdflat_no_bestpath_no_beam_1e-60",
         {{"-fwdflat", "no"}, {"-bestpath", "no"}, {"-beam", "1e-60"}, {"-wbeam", "1e-40"}}},
        {"lw_5", {{"-lw", "5.0"}}},
        {"lw_8", {{"-lw", "8.0"}}},
        {"lw_10", {{"-lw", "10.0"}}},
        {"bestpathlw_7", {{"-bestpathlw", "7.0"}}},
        {"bestpathlw_12", {{"-bestpathlw", "12.0"}}},
        {"beam_1e-60", {{"-beam", "1e-60"}, {"-wbeam", "1e-40"}}},
        {"beam_1e-40", {{"-beam", "1e-40"}, {"-wbeam", "1e-24"}}},
        {"fwdflatbeam_1e-70", {{"-fwdflatbeam", "1e-70"}, {"-fwdflatwbeam", "1e-40"}}},
        {"fwdflatbeam_only_1e-70", {{"-fwdflatbeam", "1e-70"}}},
        {"fwdflatwbeam_only_1e-40", {{"-fwdflatwbeam", "1e-40"}}},
        {"fwdflatbeam_1e-80", {{"-fwdflatbeam", "1e-80"}, {"-fwdflatwbeam", "1e-50"}}},
        {"fwdflat_no_beam_1e-60", {{"-fwdflat", "no"}, {"-beam", "1e-60"}, {"-wbeam", "1e-40"}}},
        {"fwdflat_no_lw_8", {{"-fwdflat", "no"}, {"-lw", "8.0"}}},
    };
    return settings;
}

// Posterior thresholds in tenths of a percent; 0: the one-best alone.
constexpr int SweepThresholds[] = {0, 5, 10, 15, 20, 30, 40, 50, 100, 200, 500};

// What a decoding of the corpus heard, per recording.
struct Heard {
    std::vector<std::string> Best;              // the one-best words in order
    std::map<std::string, double> Alternatives; // each other word at its highest posterior
};

// Word errors (substitutions, insertions, deletions) of the one-best against what was said.
int WordErrors(const std::vector<std::string>& said, const std::vector<std::string>& heard) {
    std::vector<int> row(heard.size() + 1);
    for (std::size_t j = 0; j <= heard.size(); ++j) {
        row[j] = static_cast<int>(j);
    }
    for (std::size_t i = 1; i <= said.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (std::size_t j = 1; j <= heard.size(); ++j) {
            const int above = row[j];
            row[j] = std::min(
                {row[j] + 1, row[j - 1] + 1, diagonal + (said[i - 1] == heard[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[heard.size()];
}

// The keyword share and the false hits at every threshold, and the one-best's word error rate.
void ReportSweep(benchmark::State& state, const std::vector<std::string>& said,
                 const std::vector<Heard>& heard) {
    std::vector<std::set<std::string>> wanted;
    int errors = 0;
    int words = 0;
    for (std::size_t i = 0; i < said.size(); ++i) {
        wanted.push_back(Keywords(said[i]));
        const std::vector<std::string> reference = WordsOf(said[i]);
        errors += WordErrors(reference, heard[i].Best);
        words += static_cast<int>(reference.size());
    }
    for (const int t : SweepThresholds) {
        std::vector<std::set<std::string>> found;
        for (const Heard& h : heard) {
            std::set<std::string> set(h.Best.begin(), h.Best.end());
            for (const auto& [word, p] : h.Alternatives) {
                if (t > 0 && p >= t / 1000.0) {
                    set.insert(word);
                }
            }
            found.push_back(std::move(set));
        }
        const Figures f = Score(wanted, found);
        char name[24];
        std::snprintf(name, sizeof name, "t%.1f_found", t / 10.0);
        state.counters[name] = 100.0 * f.Found / std::max(1, f.Keywords);
        std::snprintf(name, sizeof name, "t%.1f_false", t / 10.0);
        state.counters[name] = f.FalseHits;
        if (t == 0) {
            state.counters["keywords"] = f.Keywords;
            state.counters["false_chances"] = f.FalseChances;
        }
    }
    state.counters["wer_pct"] = 100.0 * errors / std::max(1, words);
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void KeywordSweep(benchmark::State& state, const SweepSetting& setting, unsigned rate) {
    PocketSphinxRecogniser recogniser(PocketSphinxRecogniser::DefaultModelFolder(), true,
                                      setting.Switches);
    const auto corpus = Corpus(rate);
    double speechSeconds = 0;
    double cpu = 0;
    std::vector<std::string> said;
    std::vector<Heard> heard;
    for (auto _ : state) {
        said.clear();
        heard.clear();
        speechSeconds = 0;
        const double start = ProcessCpuSeconds();
        for (const auto& [r, samples] : corpus) {
            said.push_back(r.Said);
            speechSeconds += static_cast<double>(samples.size()) / 16000.0;
            Heard h;
            PhraseCutter cutter([&](const std::int16_t* s, std::size_t n, std::uint64_t) {
                const Recognition got = recogniser.Recognise(s, n);
                for (const RecognisedWord& w : got.Best) {
                    h.Best.push_back(w.Text);
                }
                for (const RecognisedWord& w : got.Alternatives) {
                    double& p = h.Alternatives[w.Text];
                    p = std::max(p, w.Posterior);
                }
            });
            cutter.Add(samples.data(), samples.size());
            cutter.Finish();
            heard.push_back(std::move(h));
        }
        cpu = ProcessCpuSeconds() - start;
    }
    ReportSweep(state, said, heard);
    state.counters["cpu_s_per_s"] = cpu / std::max(1e-9, speechSeconds);
}

[[maybe_unused]] const bool SweepRegistered = [] {
    for (const SweepSetting& setting : SweepSettings()) {
        for (const unsigned rate : {16000U, 11025U}) {
            benchmark::RegisterBenchmark(
                ("KeywordSweep/" + std::string(setting.Name) + "/" + std::to_string(rate)).c_str(),
                [&setting, rate](benchmark::State& state) { KeywordSweep(state, setting, rate); })
                ->Unit(benchmark::kSecond)
                ->Iterations(1)
                ->MeasureProcessCPUTime();
        }
    }
    return true;
}();

// How long a piece the recogniser decodes best: the corpus's recordings (each shorter than the
// cutter's shortest chunk, so alone they are never cut) joined in order into pieces of whole
// recordings up to the given length (0: each alone), every word scored against the recording
// its time falls in. The program's settings, with the lattice's alternatives.
void ChunkLength(benchmark::State& state) {
    const double limitSeconds = static_cast<double>(state.range(0));
    PocketSphinxRecogniser recogniser(PocketSphinxRecogniser::DefaultModelFolder(), true);
    const auto corpus = Corpus(16000);
    std::vector<std::string> said;
    std::vector<std::size_t> starts; // each recording's first sample in its piece
    std::vector<std::vector<std::size_t>> pieces;
    for (std::size_t i = 0, inPiece = 0; i < corpus.size(); ++i) {
        said.push_back(corpus[i].first.Said);
        const std::size_t n = corpus[i].second.size();
        if (pieces.empty() || limitSeconds == 0 ||
            static_cast<double>(inPiece + n) / 16000.0 > limitSeconds) {
            pieces.emplace_back();
            inPiece = 0;
        }
        pieces.back().push_back(i);
        starts.push_back(inPiece);
        inPiece += n;
    }
    std::vector<Heard> heard;
    double cpu = 0;
    double speechSeconds = 0;
    for (auto _ : state) {
        heard.assign(corpus.size(), Heard{});
        speechSeconds = 0;
        const double start = ProcessCpuSeconds();
        for (const std::vector<std::size_t>& piece : pieces) {
            std::vector<std::int16_t> samples;
            for (const std::size_t i : piece) {
                samples.insert(samples.end(), corpus[i].second.begin(), corpus[i].second.end());
            }
            speechSeconds += static_cast<double>(samples.size()) / 16000.0;
            const Recognition got = recogniser.Recognise(samples.data(), samples.size());
            // The recording a word belongs to: the last one that starts at or before its middle.
            const auto owner = [&](const RecognisedWord& w) {
                const auto middle = static_cast<std::size_t>((w.StartMs + w.EndMs) / 2 * 16);
                std::size_t at = piece.front();
                for (const std::size_t i : piece) {
                    if (starts[i] <= middle) {
                        at = i;
                    }
                }
                return at;
            };
            for (const RecognisedWord& w : got.Best) {
                heard[owner(w)].Best.push_back(w.Text);
            }
            for (const RecognisedWord& w : got.Alternatives) {
                double& p = heard[owner(w)].Alternatives[w.Text];
                p = std::max(p, w.Posterior);
            }
        }
        cpu = ProcessCpuSeconds() - start;
    }
    ReportSweep(state, said, heard);
    state.counters["pieces"] = static_cast<double>(pieces.size());
    state.counters["cpu_s_per_s"] = cpu / std::max(1e-9, speechSeconds);
}
// {longest piece in seconds; 0: each recording alone}
BENCHMARK(ChunkLength)
    ->Arg(0)
    ->Arg(8)
    ->Arg(12)
    ->Arg(20)
    ->Arg(30)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime();

} // namespace

BENCHMARK_MAIN();
