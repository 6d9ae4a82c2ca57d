// What listening at another speed costs, and how exact it is:
//   - BM_StretchNoteSecond/N: TimeStretch at N tenths (22050 Hz, 16-bit mono, voice-like
//     sound), one note second per iteration in device buffers of a tenth of a second; the CPU
//     column is CPU time per note second; the counters give CPU per played second, operator-new
//     allocations and heap calls (malloc, calloc, realloc, posix_memalign, aligned_alloc,
//     memalign: a C library's own buffers come from these) per buffer, once the run is under way
//     (targets at 20 tenths: at most 2 ms per second of sound, 0 allocations);
//   - BM_PlayerFeedBuffer/N: the media player's whole path for one returned buffer (the post,
//     the file read, the stretch, the write), over a port that only keeps the buffers;
//     allocations and heap calls per buffer (target 0);
//   - BM_PlayToFirstSound/N: Play from a stopped note until its four buffers are written; the
//     counter first_sound_ms is where the note's first sound lies in the first buffer (target:
//     within that buffer, 100 ms);
//   - BM_SeekAccuracy/N: a seek to 2 s in a note whose tone begins at 3 s, played to its end;
//     seek_error_ms is how far from 3 s the position reports the tone's onset (target: within a
//     buffer, 100 ms).
//
//   build-bench/bench/dictaphone/playback_bench
//
// The notes are written under $TMPDIR (default /tmp) and removed at the end.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "audio/WavFormat.h"
#include "audio/WavePort.h"
#include "audio/WindowPoster.h"
#include "common/ByteIO.h"
#include "dictaphone/MediaPlayer.h"
#include "dictaphone/TimeStretch.h"
#include "export/ExportTestSupport.h"

namespace tellamo {
namespace {

constexpr unsigned Rate = 22050;

std::string TempPath(const char* name) {
    const char* base = std::getenv("TMPDIR");
    return std::string(base && *base ? base : "/tmp") + "/" + name;
}

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Voice-like sound, silent before `onset` seconds.
std::vector<std::int16_t> Voice(double seconds, double onset = 0) {
    std::vector<std::int16_t> samples = test::VoiceLike(Rate, seconds);
    std::fill_n(samples.begin(), static_cast<std::size_t>(Rate * onset), std::int16_t{0});
    return samples;
}

std::string WriteNote(const char* name, const std::vector<std::int16_t>& samples) {
    const std::string path = TempPath(name);
    auto header = MakeWaveHeader(1, Rate, 16);
    const auto dataSize = static_cast<std::uint32_t>(samples.size() * 2);
    PutU32(&header[4], dataSize + 36);
    PutU32(&header[40], dataSize);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(header.data()), header.size());
    out.write(reinterpret_cast<const char*>(samples.data()), dataSize);
    return path;
}

std::size_t Onset(const std::int16_t* s, std::size_t count, int threshold) {
    for (std::size_t i = 0; i < count; ++i) {
        if (std::abs(s[i]) >= threshold) {
            return i;
        }
    }
    return count;
}

// Allocations and heap calls made between Open and Close, summed over every such window.
class AllocationWindow {
public:
    void Open() {
        mAllocationsAt = bench::AllocationCount();
        mHeapCallsAt = bench::HeapCallCount();
    }
    void Close() {
        mAllocations += bench::AllocationCount() - mAllocationsAt;
        mHeapCalls += bench::HeapCallCount() - mHeapCallsAt;
    }
    void Report(benchmark::State& state, double buffers) const {
        state.counters["allocs_per_buffer"] = static_cast<double>(mAllocations) / buffers;
        state.counters["heap_calls_per_buffer"] = static_cast<double>(mHeapCalls) / buffers;
    }

private:
    std::uint64_t mAllocationsAt = 0, mHeapCallsAt = 0;
    std::uint64_t mAllocations = 0, mHeapCalls = 0;
};

// The note's frames from memory, over and over.
class LoopingSource final : public FrameSource {
public:
    explicit LoopingSource(std::vector<std::int16_t> samples) : mSamples(std::move(samples)) {}
    std::size_t ReadFrames(unsigned char* data, std::size_t frames) override {
        const std::size_t n = std::min(frames, mSamples.size() - mAt);
        std::memcpy(data, mSamples.data() + mAt, n * 2);
        mAt = (mAt + n) % mSamples.size();
        return n;
    }

private:
    std::vector<std::int16_t> mSamples;
    std::size_t mAt = 0;
};

void BM_StretchNoteSecond(benchmark::State& state) {
    const double speed = static_cast<double>(state.range(0)) / 10;
    const std::size_t frames = Rate / 10;
    LoopingSource source(Voice(10));
    TimeStretch stretch(Rate, 1, true);
    stretch.Start(speed);
    std::vector<unsigned char> buffer(frames * 2);
    // Under way: the stretcher has filled its windows.
    for (int i = 0; i < 5; ++i) {
        stretch.Fill(buffer.data(), frames, source);
    }
    // Counted inside the work only, not in the benchmark's own bookkeeping between iterations.
    AllocationWindow allocations;
    const double cpuBefore = ThreadCpuSeconds();
    std::uint64_t buffers = 0;
    std::uint64_t playedFrames = 0;
    for (auto _ : state) {
        // One note second: speed × 10 buffers of output, the last one partly.
        std::size_t left = static_cast<std::size_t>(std::lround(Rate / speed));
        allocations.Open();
        while (left > 0) {
            const std::size_t n = std::min(left, frames);
            playedFrames += stretch.Fill(buffer.data(), n, source);
            left -= n;
            ++buffers;
        }
        allocations.Close();
        benchmark::DoNotOptimize(buffer.data());
    }
    const double cpu = ThreadCpuSeconds() - cpuBefore;
    state.counters["cpu_ms_per_note_s"] = cpu * 1000 / static_cast<double>(state.iterations());
    state.counters["cpu_ms_per_played_s"] = cpu * 1000 / (static_cast<double>(playedFrames) / Rate);
    allocations.Report(state, static_cast<double>(buffers));
}
BENCHMARK(BM_StretchNoteSecond)->Arg(5)->Arg(15)->Arg(20)->Unit(benchmark::kMillisecond);

// An output device that keeps the buffers it is given and hands them back when told, counting
// what came back as played. Nothing allocates once it runs.
class KeepingPort final : public WavePort {
public:
    KeepingPort() { mQueue.reserve(16); }
    // Returns the oldest buffer as played, as the device thread would.
    bool CompleteOne() {
        if (mQueue.empty()) {
            return false;
        }
        WaveHeader* header = mQueue.front();
        mQueue.erase(mQueue.begin());
        mPlayed += header->BufferLength;
        header->Flags |= WaveHeaderDone;
        mCallback->WaveBufferDone(header);
        return true;
    }
    const WaveHeader* Oldest() const { return mQueue.empty() ? nullptr : mQueue.front(); }

    std::uint32_t InputDeviceCount() override { return 0; }
    std::uint32_t OutputDeviceCount() override { return 1; }
    std::uint32_t MixerDeviceCount() override { return 0; }
    WaveResult OpenInput(WaveHandle&, std::uint32_t, const PcmFormat&, WaveCallback*) override {
        return -1;
    }
    WaveResult OpenOutput(WaveHandle& handle, std::uint32_t, const PcmFormat&,
                          WaveCallback* callback) override {
        handle = 1;
        mCallback = callback;
        callback->WaveOpened();
        return WaveOk;
    }
    WaveResult PrepareHeader(WaveHandle, WaveHeader* header) override {
        header->Flags |= WaveHeaderPrepared;
        return WaveOk;
    }
    WaveResult UnprepareHeader(WaveHandle, WaveHeader* header) override {
        header->Flags &= ~WaveHeaderPrepared;
        return WaveOk;
    }
    WaveResult AddInputBuffer(WaveHandle, WaveHeader*) override { return -1; }
    WaveResult WriteOutputBuffer(WaveHandle, WaveHeader* header) override {
        mQueue.push_back(header);
        return WaveOk;
    }
    WaveResult StartInput(WaveHandle) override { return -1; }
    WaveResult Reset(WaveHandle) override {
        while (CompleteOne()) {
        }
        return WaveOk;
    }
    WaveResult Close(WaveHandle) override {
        mCallback->WaveClosed();
        return WaveOk;
    }
    std::string ErrorText(WaveResult) override { return {}; }
    std::uint64_t PlayedBytes(WaveHandle) override { return mPlayed; }
    WaveResult MixerGetCaps(std::uint32_t, MixerCaps&) override { return -1; }
    WaveResult MixerOpen(MixerHandle&, std::uint32_t, MixerCallback*) override { return -1; }
    WaveResult MixerClose(MixerHandle) override { return -1; }
    WaveResult MixerGetLineInfo(MixerHandle, std::uint32_t, std::int32_t, MixerLineInfo&) override {
        return -1;
    }
    WaveResult MixerGetLineControls(MixerHandle, std::uint32_t,
                                    std::vector<MixerControlInfo>&) override {
        return -1;
    }
    WaveResult MixerGetControlDetails(MixerHandle, std::uint32_t, std::uint32_t,
                                      std::uint32_t*) override {
        return -1;
    }
    WaveResult MixerSetControlDetails(MixerHandle, std::uint32_t, std::uint32_t,
                                      const std::uint32_t*) override {
        return -1;
    }

private:
    WaveCallback* mCallback = nullptr;
    std::vector<WaveHeader*> mQueue;
    std::uint64_t mPlayed = 0;
};

// The media player over a KeepingPort, with a note of its own at the benchmark's speed.
struct BenchPlayer {
    BenchPlayer(const char* name, const std::vector<std::int16_t>& samples, int tenths) {
        Player.Open(WriteNote(name, samples));
        Player.SetSpeedTenths(tenths);
    }
    KeepingPort Port;
    EventFdPoster Poster;
    MediaPlayer Player{Port, Poster};
};

void BM_PlayerFeedBuffer(benchmark::State& state) {
    BenchPlayer b("tellamo-bench-feed.wav", Voice(60), static_cast<int>(state.range(0)));
    KeepingPort& port = b.Port;
    EventFdPoster& poster = b.Poster;
    MediaPlayer& player = b.Player;
    player.Play();
    for (int i = 0; i < 5; ++i) {
        port.CompleteOne();
        poster.ProcessPending();
    }
    AllocationWindow allocations;
    for (auto _ : state) {
        if (player.CurrentMode() != MediaPlayer::Mode::Playing) {
            state.PauseTiming();
            player.Play(); // from the start again
            state.ResumeTiming();
        }
        allocations.Open();
        port.CompleteOne();
        poster.ProcessPending();
        allocations.Close();
    }
    allocations.Report(state, static_cast<double>(state.iterations()));
    player.Close();
}
BENCHMARK(BM_PlayerFeedBuffer)->Arg(10)->Arg(20)->Unit(benchmark::kMicrosecond);

void BM_PlayToFirstSound(benchmark::State& state) {
    BenchPlayer b("tellamo-bench-first.wav", Voice(2), static_cast<int>(state.range(0)));
    KeepingPort& port = b.Port;
    EventFdPoster& poster = b.Poster;
    MediaPlayer& player = b.Player;
    double firstSoundMs = 0;
    for (auto _ : state) {
        player.Play();
        state.PauseTiming();
        const WaveHeader* first = port.Oldest();
        const auto* samples = reinterpret_cast<const std::int16_t*>(first->Data);
        const std::size_t count = first->BufferLength / 2;
        firstSoundMs =
            std::max(firstSoundMs, static_cast<double>(Onset(samples, count, 1000)) * 1000 / Rate);
        player.Stop();
        player.Seek(0);
        poster.ProcessPending();
        state.ResumeTiming();
    }
    state.counters["first_sound_ms"] = firstSoundMs;
    player.Close();
}
BENCHMARK(BM_PlayToFirstSound)->Arg(5)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

void BM_SeekAccuracy(benchmark::State& state) {
    BenchPlayer b("tellamo-bench-seek.wav", Voice(5, 3.0), static_cast<int>(state.range(0)));
    KeepingPort& port = b.Port;
    EventFdPoster& poster = b.Poster;
    MediaPlayer& player = b.Player;
    double worstMs = 0;
    std::vector<std::int16_t> heard;
    heard.reserve(Rate * 12);
    for (auto _ : state) {
        heard.clear();
        player.Seek(2000);
        player.Play();
        // The position at the start of the buffer in which the tone begins, and at its end.
        std::uint32_t before = player.Position();
        double heardAtMs = -1;
        for (const WaveHeader* h = port.Oldest(); h != nullptr; h = port.Oldest()) {
            const auto* samples = reinterpret_cast<const std::int16_t*>(h->Data);
            const std::size_t count = h->BufferLength / 2;
            const std::size_t onset = Onset(samples, count, 1000);
            port.CompleteOne();
            poster.ProcessPending();
            const std::uint32_t after = player.Position();
            if (heardAtMs < 0 && onset < count) {
                heardAtMs = before + (after - before) * static_cast<double>(onset) /
                                         static_cast<double>(count);
            }
            before = after;
        }
        worstMs = std::max(worstMs, std::fabs(heardAtMs - 3000));
    }
    state.counters["seek_error_ms"] = worstMs;
    player.Close();
}
BENCHMARK(BM_SeekAccuracy)->Arg(5)->Arg(10)->Arg(15)->Arg(20)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tellamo

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const char* name :
         {"tellamo-bench-feed.wav", "tellamo-bench-first.wav", "tellamo-bench-seek.wav"}) {
        std::remove(tellamo::TempPath(name).c_str());
    }
    return 0;
}
