// The level graphs' costs:
//   - BuildGraphFile for a one-hour note at 22050 Hz, 16-bit (158.76 MB of data, in the page
//     cache after the first run), with the real clock; the counter cut_short counts the columns
//     whose time slot ran out before they had gathered all their samples (target: 0, and at most
//     100 ms per graph);
//   - the capture thread's side of the hand-over (LiveGraphFeed::Push of a tenth of a second at
//     22050 Hz, 16-bit), with every heap allocation counted (target: 0 and at most 20 us);
//   - DrawBufferGraph of such a buffer on the window thread, on a 32-bit image.
//
//   build/bench/dictaphone/graph_bench
//
// The note is written under $TMPDIR (default /tmp) and removed at the end.

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <QImage>

#include "BenchSupport.h"
#include "audio/WavFormat.h"
#include "common/ByteIO.h"
#include "dictaphone/GraphFile.h"
#include "dictaphone/LiveGraphFeed.h"
#include "dictaphone/TellamoGraph.h"

namespace tellamo {
namespace {

constexpr int Rate = 22050;

// A tenth of a second of something voice-like: a tone whose loudness swells and fades.
std::vector<unsigned char> VoiceBuffer(int samples, int offset) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(samples) * 2);
    for (int i = 0; i < samples; ++i) {
        const double t = static_cast<double>(offset + i) / Rate;
        const double envelope = 0.5 + 0.5 * std::sin(2 * M_PI * 0.3 * t);
        const auto v = static_cast<std::int16_t>(20000 * envelope * std::sin(2 * M_PI * 220 * t));
        PutU16(&bytes[2 * static_cast<std::size_t>(i)], static_cast<std::uint16_t>(v));
    }
    return bytes;
}

std::string TempPath(const char* name) {
    const char* base = std::getenv("TMPDIR");
    return std::string(base && *base ? base : "/tmp") + "/" + name;
}

// Writes the one-hour note once per run.
const std::string& OneHourNote() {
    static const std::string path = [] {
        const std::string p = TempPath("tellamo-bench-onehour.wav");
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        constexpr std::uint32_t seconds = 3600;
        const std::uint32_t dataSize = seconds * Rate * 2;
        auto header = MakeWaveHeader(1, Rate, 16);
        PutU32(&header[4], dataSize + 36);
        PutU32(&header[40], dataSize);
        out.write(reinterpret_cast<const char*>(header.data()), header.size());
        const std::vector<unsigned char> second = VoiceBuffer(Rate, 0);
        for (std::uint32_t s = 0; s < seconds; ++s) {
            out.write(reinterpret_cast<const char*>(second.data()),
                      static_cast<std::streamsize>(second.size()));
        }
        return p;
    }();
    return path;
}

void BM_BuildGraphFileOneHour(benchmark::State& state) {
    const std::string& wav = OneHourNote();
    const std::string graph = TempPath("tellamo-bench-onehour.bmp");
    const GraphSettings settings;
    BuildGraphFile(wav, graph, settings); // brings the note into the page cache
    int cutShort = 0;
    int drawn = 0;
    for (auto _ : state) {
        const GraphBuildResult result = BuildGraphFile(wav, graph, settings);
        cutShort = std::max(cutShort, result.Stats.ColumnsCutShort);
        drawn = result.Stats.ColumnsDrawn;
    }
    state.counters["cut_short"] = cutShort;
    state.counters["columns"] = drawn;
    state.SetBytesProcessed(state.iterations() * 3600LL * Rate * 2);
    std::remove(graph.c_str());
}
BENCHMARK(BM_BuildGraphFileOneHour)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_CaptureThreadPush(benchmark::State& state) {
    constexpr int PerBatch = 16;
    LiveGraphFeed feed(32, 65535);
    const std::vector<unsigned char> buffer = VoiceBuffer(Rate / 10, 0);
    const auto bytes = static_cast<std::uint16_t>(buffer.size());
    long allocations = 0;
    for (auto _ : state) {
        const long before = static_cast<long>(bench::AllocationCount());
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < PerBatch; ++i) {
            benchmark::DoNotOptimize(feed.Push(buffer.data(), bytes, true, Rate));
        }
        const auto elapsed = std::chrono::steady_clock::now() - start;
        allocations += static_cast<long>(bench::AllocationCount()) - before;
        state.SetIterationTime(std::chrono::duration<double>(elapsed).count() / PerBatch);
        feed.Drain([](const LiveGraphFeed::Buffer& b) { benchmark::DoNotOptimize(b.Samples); });
    }
    state.counters["allocations"] = static_cast<double>(allocations);
    state.counters["dropped"] = static_cast<double>(feed.DroppedBuffers());
    if (allocations != 0) {
        state.SkipWithError("Push allocated");
    }
}
BENCHMARK(BM_CaptureThreadPush)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_DrawBufferGraph(benchmark::State& state) {
    QImage image(600, 100, QImage::Format_RGB32);
    QImageSurface surface(image);
    GraphSettings settings;
    settings.Silence = true;
    GraphState graph;
    ClearGraph(graph, &surface, 600, 100, settings);
    std::vector<std::vector<unsigned char>> buffers;
    for (int i = 0; i < 30; ++i) {
        buffers.push_back(VoiceBuffer(Rate / 10, i * Rate / 10));
    }
    std::size_t next = 0;
    for (auto _ : state) {
        const auto& b = buffers[next++ % buffers.size()];
        DrawBufferGraph(graph, settings, b.data(), static_cast<std::uint16_t>(b.size()), true,
                        Rate);
    }
    benchmark::DoNotOptimize(image.constBits());
}
BENCHMARK(BM_DrawBufferGraph)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace tellamo

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(tellamo::TempPath("tellamo-bench-onehour.wav").c_str());
    return 0;
}
