// The recorder's work on the device thread for one accepted buffer, and an hour of simulated
// capture through the scripted port.
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include "BenchSupport.h"
#include "audio/Audio.h"
#include "audio/WavFormat.h"
#include "audio/WindowPoster.h"
#include "support/FakeWavePort.h"
#include "transcript/PocketSphinxRecogniser.h"
#include "transcript/Transcriber.h"

namespace tellamo {
namespace {

std::string TempPath(const char* name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/" + name + "-" + std::to_string(::getpid());
}

// A recorder at 22050 Hz, 16-bit mono, with tenth-of-a-second buffers (2205 frames, 4410 bytes).
struct Rig {
    FakeWavePort Port;
    EventFdPoster Poster;
    TAudio Audio{Port, Poster, TempPath("bench-play")};
    std::string Path = TempPath("bench-note.wav");
    std::uint64_t Events = 0;
    std::uint64_t Bytes = 0;

    Rig() {
        TRecorder& r = Audio.Recorder();
        r.SetBitsPerSample(TBPS::_16);
        r.SetSampleRate(22050);
        r.SetNoSamples(2205);
        Audio.OnRecord = [this](TRecorder* rec, const unsigned char*, const unsigned char*,
                                std::uint16_t n) {
            ++Events;
            Bytes += n;
            rec->SetTriggered(false); // re-armed, as the recording workflow does
        };
    }
    ~Rig() { ::unlink(Path.c_str()); }
};

// What the transcript worker does beside a recording: PocketSphinx decoding speech-like sound
// without a pause, on a thread at the lowest priority, as long as it lives.
class TranscriptionBeside {
public:
    TranscriptionBeside() {
        mThread = std::thread([this] {
            sched_param param{};
            pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
            PocketSphinxRecogniser recogniser;
            std::vector<std::int16_t> sound(16000 * 10);
            for (std::size_t i = 0; i < sound.size(); ++i) {
                sound[i] = static_cast<std::int16_t>(((i * 2654435761u) >> 16) % 4000 - 2000);
            }
            try {
                while (!mStop.load()) {
                    benchmark::DoNotOptimize(TranscribeSamples(
                        recogniser, sound.data(), sound.size(), [this] { return mStop.load(); }));
                }
            } catch (const TranscriptionStopped&) {
            }
        });
    }
    ~TranscriptionBeside() {
        mStop = true;
        mThread.join();
    }

private:
    std::atomic<bool> mStop{false};
    std::thread mThread;
};

// The device thread's part: level test (a full pass, the loud samples are at the end), the
// append to the file and OnRecord, and the post that hands the buffer back. With argument 1,
// a transcription runs beside it, as the worker does after a recording.
void BM_AcceptedBuffer22050Hz16Bit(benchmark::State& state) {
    std::unique_ptr<TranscriptionBeside> beside;
    if (state.range(0) == 1) {
        beside = std::make_unique<TranscriptionBeside>();
    }
    Rig rig;
    TRecorder& rec = rig.Audio.Recorder();
    rec.SetTrigLevel(3277); // 10 per cent
    rec.RecordToFile(rig.Path);
    if (!rec.StartRecording()) {
        state.SkipWithError(rig.Audio.ErrorMessage.c_str());
        return;
    }
    for (int slot = 0; slot < TAudioSettings::SlotCount; ++slot) {
        unsigned char* d = rec.SlotData(slot);
        for (int i = 0; i < 2205; ++i) {
            const int v = i >= 2205 - 30 ? 20000 : (i % 200) - 100; // quiet, then loud at the end
            d[2 * i] = static_cast<unsigned char>(v & 0xFF);
            d[2 * i + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
        }
    }
    WaveHeader header;
    header.BytesRecorded = 4410;
    std::uint64_t n = 0;
    const std::uint64_t allocationsBefore = bench::AllocationCount();
    std::uint64_t untimedAllocations = 0;
    for (auto _ : state) {
        header.User = n % TAudioSettings::SlotCount;
        rec.WaveBufferDone(&header);
        if (++n % 8192 == 0) {
            // Window-thread work, not measured: drop the hand-back requests and start a new
            // file so that the disk does not fill.
            state.PauseTiming();
            const std::uint64_t a = bench::AllocationCount();
            rig.Poster.Cancel(&rec);
            rec.RecordToFile(rig.Path);
            untimedAllocations += bench::AllocationCount() - a;
            state.ResumeTiming();
        }
    }
    const std::uint64_t timedAllocations =
        bench::AllocationCount() - allocationsBefore - untimedAllocations;
    state.counters["allocs_per_buffer"] =
        static_cast<double>(timedAllocations) / static_cast<double>(n ? n : 1);
    state.counters["accepted"] = static_cast<double>(rig.Events);
    if (rig.Events != n) {
        state.SkipWithError("a loud buffer was not accepted");
    }
    rec.Stop();
}
BENCHMARK(BM_AcceptedBuffer22050Hz16Bit)->Arg(0)->Arg(1)->UseRealTime();

// One hour at 22050 Hz 16-bit through the scripted port: every buffer is completed by the
// "device" and handed back by the window thread; none may be lost and the file must hold
// exactly the hour.
void BM_OneHourOfCapture(benchmark::State& state) {
    constexpr std::uint64_t Buffers = 36000; // one hour of tenth-of-a-second buffers
    for (auto _ : state) {
        Rig rig;
        TRecorder& rec = rig.Audio.Recorder();
        rec.SetTriggered(true);
        rig.Audio.OnRecord = [&rig](TRecorder* r, const unsigned char*, const unsigned char*,
                                    std::uint16_t n) {
            ++rig.Events;
            rig.Bytes += n;
            r->SetTriggered(true);
        };
        rec.RecordToFile(rig.Path);
        if (!rec.StartRecording()) {
            state.SkipWithError(rig.Audio.ErrorMessage.c_str());
            return;
        }
        std::string buffer(4410, '\x11');
        for (std::uint64_t i = 0; i < Buffers; ++i) {
            buffer[0] = static_cast<char>(i);
            if (!rig.Port.CompleteInput(buffer.data(), buffer.size())) {
                state.SkipWithError("the device had no buffer: one was lost");
                return;
            }
            rig.Poster.ProcessPending();
        }
        rec.Stop();
        struct stat st {};
        ::stat(rig.Path.c_str(), &st);
        const WaveInfo info = ReadWaveHeader(rig.Path);
        const std::uint64_t expected = 44 + Buffers * 4410;
        state.counters["buffers_accepted"] = static_cast<double>(rig.Events);
        state.counters["file_bytes"] = static_cast<double>(st.st_size);
        if (rig.Events != Buffers || static_cast<std::uint64_t>(st.st_size) != expected ||
            info.DataSize != Buffers * 4410) {
            state.SkipWithError("buffers lost or the file size is not exact");
        }
    }
}
BENCHMARK(BM_OneHourOfCapture)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tellamo

BENCHMARK_MAIN();
