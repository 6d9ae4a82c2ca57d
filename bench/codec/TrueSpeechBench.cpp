// Speed of the TrueSpeech codec: encoding with the resampling of a note included, encoding
// alone and decoding. The "x_realtime" counter is seconds of sound per second of CPU time.
// The sound is espeak-ng speech (about 30 s, several voices), made once at start-up.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "audio/NoteAudio.h"
#include "codec/TrueSpeechDecoder.h"
#include "codec/TrueSpeechEncoder.h"
#include "codec/TrueSpeechWav.h"

namespace {

const char* const Sentences[] = {
    "Please call Stella. Ask her to bring these things with her from the store: six spoons of "
    "fresh snow peas, five thick slabs of blue cheese, and maybe a snack for her brother Bob.",
    "Remember the meeting on Thursday at half past nine in room twelve, and bring the figures "
    "for the second quarter, the travel plans and the new price list.",
    "We also need a small plastic snake and a big toy frog for the kids. She can scoop these "
    "things into three red bags, and we will go meet her Wednesday at the train station.",
};
const char* const Voices[] = {"en-us", "en+f3", "en+m3"};

// A private folder for the generated sound, removed when the program ends.
class ScratchFolder {
public:
    ScratchFolder() {
        char pattern[] = "/tmp/tellamo-bench-XXXXXX";
        if (!::mkdtemp(pattern)) {
            throw std::runtime_error("mkdtemp failed");
        }
        Path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(Path, ignored);
    }
    std::string Path;
};

std::string Directory() {
    static const ScratchFolder folder;
    return folder.Path;
}

// A note file at the given rate, 16-bit mono, made of all sentences in all voices.
std::string NoteFile(int rate) {
    const std::string path = Directory() + "/note-" + std::to_string(rate) + ".wav";
    if (::access(path.c_str(), R_OK) == 0) {
        return path;
    }
    std::string parts;
    for (int i = 0; i < 3; ++i) {
        const std::string part = Directory() + "/part" + std::to_string(i) + ".wav";
        const std::string command =
            std::string("espeak-ng -v ") + Voices[i] + " -w " + part + " \"" + Sentences[i] + "\"";
        if (std::system(command.c_str()) != 0) {
            throw std::runtime_error("espeak-ng failed");
        }
        parts += " " + part;
    }
    const std::string command =
        "sox" + parts + " -r " + std::to_string(rate) + " -b 16 -c 1 " + path;
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("sox failed");
    }
    return path;
}

std::vector<std::int16_t> Speech8k() {
    static const std::vector<std::int16_t> samples = [] {
        std::vector<std::int16_t> all;
        tellamo::ReadNoteAs8kHzMono(NoteFile(8000), [&](const std::int16_t* s, std::size_t n) {
            all.insert(all.end(), s, s + n);
        });
        return all;
    }();
    return samples;
}

void SetRealTime(benchmark::State& state, double secondsOfSound) {
    state.counters["x_realtime"] =
        benchmark::Counter(secondsOfSound, benchmark::Counter::kIsIterationInvariantRate);
}

// Reading a note, resampling to 8000 Hz and encoding: the converter's work minus the final
// write of about 1 kB per second.
void BM_ResampleAndEncode(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    const std::string path = NoteFile(rate);
    double seconds = 0;
    for (auto _ : state) {
        tellamo::truespeech::WavEncoder encoder;
        tellamo::ReadNoteAs8kHzMono(
            path, [&](const std::int16_t* s, std::size_t n) { encoder.Write(s, n); });
        const std::string file = encoder.Finish();
        seconds = static_cast<double>(file.size() - 90) / 32 * 0.03;
        benchmark::DoNotOptimize(file.data());
    }
    SetRealTime(state, seconds);
}
BENCHMARK(BM_ResampleAndEncode)->Arg(8000)->Arg(11025)->Arg(22050)->Unit(benchmark::kMillisecond);

void BM_Encode(benchmark::State& state) {
    const std::vector<std::int16_t> speech = Speech8k();
    const std::size_t frames = speech.size() / 240;
    for (auto _ : state) {
        tellamo::truespeech::Encoder encoder;
        for (std::size_t i = 0; i < frames; ++i) {
            benchmark::DoNotOptimize(encoder.EncodeFrameBytes(speech.data() + i * 240));
        }
    }
    SetRealTime(state, frames * 0.03);
}
BENCHMARK(BM_Encode)->Unit(benchmark::kMillisecond);

void BM_Decode(benchmark::State& state) {
    const std::vector<std::int16_t> speech = Speech8k();
    const std::size_t frames = speech.size() / 240;
    std::vector<tellamo::truespeech::FrameBytesArray> coded;
    tellamo::truespeech::Encoder encoder;
    for (std::size_t i = 0; i < frames; ++i) {
        coded.push_back(encoder.EncodeFrameBytes(speech.data() + i * 240));
    }
    std::vector<std::int16_t> pcm(240);
    for (auto _ : state) {
        tellamo::truespeech::Decoder decoder;
        for (const auto& frame : coded) {
            decoder.DecodeFrame(frame.data(), pcm.data());
        }
        benchmark::DoNotOptimize(pcm.data());
    }
    SetRealTime(state, frames * 0.03);
}
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
