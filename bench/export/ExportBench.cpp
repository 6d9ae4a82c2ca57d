// Wall time of saving a one-hour note (22050 Hz, 16-bit mono, 159 MB) as TrueSpeech and as Ogg
// Opus, the way Save As does it: the converter on a worker thread, reporting its progress, the
// file written beside the target and renamed into place. The window thread only waits. The CPU
// column is the whole process's, the worker's included: the work one core has to do.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QFile>

#include "audio/WavFormat.h"
#include "common/ByteIO.h"
#include "common/FileSystem.h"
#include "export/BackgroundWork.h"
#include "export/ConvertCtrl.h"

namespace {

constexpr unsigned Rate = 22050;
constexpr unsigned Seconds = 3600;

// A voice-like hour: a tone with harmonics whose pitch and loudness wander like speech, with a
// little noise and short pauses, so that the encoders see neither silence nor a pure tone.
std::string MakeNote(const std::string& folder) {
    const std::string path = folder + "/000001.wav";
    const std::uint64_t samples = std::uint64_t{Rate} * Seconds;
    auto header = tellamo::MakeWaveHeader(1, Rate, 16);
    tellamo::PutU32(&header[4], static_cast<std::uint32_t>(36 + samples * 2));
    tellamo::PutU32(&header[40], static_cast<std::uint32_t>(samples * 2));
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        throw std::runtime_error("cannot write " + path);
    }
    std::fwrite(header.data(), 1, header.size(), f);
    std::vector<std::int16_t> block(Rate);
    std::uint32_t noise = 12345;
    double phase = 0;
    for (unsigned s = 0; s < Seconds; ++s) {
        for (unsigned i = 0; i < Rate; ++i) {
            const double t = s + static_cast<double>(i) / Rate;
            const double pitch = 120 + 40 * std::sin(2 * M_PI * 0.7 * t);
            phase += 2 * M_PI * pitch / Rate;
            const double envelope =
                std::max(0.0, std::sin(2 * M_PI * 3 * t)) * (s % 7 == 6 ? 0.05 : 1);
            double v = 0;
            for (int h = 1; h <= 6; ++h) {
                v += std::sin(phase * h) / h;
            }
            noise = noise * 1664525u + 1013904223u;
            const double n = static_cast<double>(static_cast<std::int32_t>(noise)) / 2147483648.0;
            block[i] = static_cast<std::int16_t>(5000 * envelope * v + 300 * n);
        }
        std::fwrite(block.data(), 2, block.size(), f);
    }
    std::fclose(f);
    return path;
}

struct Scratch {
    Scratch() {
        char pattern[] = "/tmp/tellamo-bench-XXXXXX";
        if (!::mkdtemp(pattern)) {
            throw std::runtime_error("mkdtemp failed");
        }
        Folder = pattern;
        Note = MakeNote(Folder);
    }
    ~Scratch() { std::filesystem::remove_all(Folder); }
    std::string Folder;
    std::string Note;
};

Scratch& Files() {
    static Scratch scratch;
    return scratch;
}

void SaveAs(benchmark::State& state, const QString& compressor, int format, const char* name) {
    const std::string target = Files().Folder + "/" + name;
    for (auto _ : state) {
        tellamo::BackgroundWork job([&](const tellamo::WorkProgress& progress) {
            tellamo::ConvertCtrl converter;
            tellamo::CompressorList& list = converter.AudioCompressors();
            for (int i = 0; i < list.Count(); ++i) {
                if (list.Item(i).Name() == compressor) {
                    list.SetSelection(i);
                }
            }
            converter.SetSourceFile(QFile::decodeName(Files().Note.c_str()));
            converter.SetTargetFile(QFile::decodeName(target.c_str()));
            converter.SetTargetFormat(format);
            converter.SetProgress(progress);
            converter.StartConvert();
        });
        if (!job.Finish()) {
            state.SkipWithError("cancelled");
        }
    }
    state.counters["target_kB"] = static_cast<double>(std::filesystem::file_size(target)) / 1024;
}

void BM_SaveAsTrueSpeech_OneHour(benchmark::State& state) {
    SaveAs(state, tellamo::ConvertCtrl::TrueSpeechName, tellamo::ConvertCtrl::TargetFormatWav,
           "ts.wav");
}
void BM_SaveAsOggOpus_OneHour(benchmark::State& state) {
    SaveAs(state, tellamo::ConvertCtrl::OpusName, tellamo::ConvertCtrl::TargetFormatOgg,
           "opus.opus");
}

BENCHMARK(BM_SaveAsTrueSpeech_OneHour)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Iterations(1);
BENCHMARK(BM_SaveAsOggOpus_OneHour)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
