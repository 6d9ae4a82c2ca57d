#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <vector>

#include <gtest/gtest.h>

#include "audio/AlsaTestSupport.h"
#include "audio/AlsaWavePort.h"
#include "audio/Audio.h"
#include "audio/WavFormat.h"
#include "common/ByteIO.h"
#include "support/HeadlessPulse.h"
#include "support/TempDir.h"

// Read by ThreadSanitizer (in its build only). libpulse, which ALSA's pulse plugin loads, is not
// built with the sanitizer: its own threads synchronise through atomics and shared memory the
// sanitizer cannot see, which shows as races inside the library. Reports whose stacks pass
// through it are dropped; our threads' own races still stop the test.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libpulse.so\nrace:libpulsecommon\nrace:libasound_module_ctl_pulse\n"
           "race:libasound_module_pcm_pulse\n";
}

namespace tellamo {
namespace {

using test::ReadFileBytes;
using test::Shell;

std::string Output(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr) {
        return out;
    }
    char buf[512];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
        out.append(buf, n);
    }
    ::pclose(p);
    return out;
}

// A PulseAudio server of the test's own with a null sink, started before the first test and
// stopped after the last. The null sink runs without rewinds: with them it keeps up to two
// seconds of silence queued while idle, and a stream began about a second late.
class AlsaPulse : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Dir = new test::TempDir;
        Server = new test::HeadlessPulse(
            Dir->Path(), {"module-null-sink sink_name=nullsink rate=44100 channels=2 norewinds=1",
                          "module-null-source source_name=nullsrc"});
        ASSERT_TRUE(Server->Running()) << "the PulseAudio server did not come up";
    }

    static void TearDownTestSuite() {
        delete Server;
        Server = nullptr;
        delete Dir;
        Dir = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(Server->Running());
        mAudio = std::make_unique<TAudio>(mPort, mPoster, Dir->File("PLAY.TMP"));
    }
    void TearDown() override { mAudio.reset(); }

    template <typename Done> bool Pump(Done done, int seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!done() && std::chrono::steady_clock::now() < end) {
            mPoster.WaitForPosts(20);
            mPoster.ProcessPending();
        }
        return done();
    }

    static test::TempDir* Dir;
    static test::HeadlessPulse* Server;
    AlsaWavePort mPort;
    EventFdPoster mPoster;
    std::unique_ptr<TAudio> mAudio;
};

test::TempDir* AlsaPulse::Dir = nullptr;
test::HeadlessPulse* AlsaPulse::Server = nullptr;

TEST_F(AlsaPulse, MasterVolumeAndMuteReachTheServer) {
    TMixerSettings& mixer = mAudio->Mixer();
    ASSERT_TRUE(mixer.MixerOpen());
    ASSERT_GE(mixer.Lines().size(), 2u);
    EXPECT_EQ(mixer.Lines()[1].Destination, 0);
    EXPECT_EQ(mixer.Lines()[1].Source, 0);
    const struct {
        std::uint16_t value;
        const char* percent;
    } cases[] = {{65535, " 100% "}, {16384, " 25% "}, {0, " 0% "}};
    for (const auto& c : cases) {
        ASSERT_TRUE(mixer.SetVolume(0, 0, c.value, c.value, false)) << mAudio->ErrorMessage;
        const std::string volume = Output("pactl get-sink-volume @DEFAULT_SINK@");
        EXPECT_NE(volume.find(c.percent), std::string::npos) << c.value << ": " << volume;
    }
    ASSERT_TRUE(mixer.SetVolume(0, 0, 40000, 40000, true));
    EXPECT_NE(Output("pactl get-sink-mute @DEFAULT_SINK@").find("yes"), std::string::npos);
    std::uint16_t l = 0, r = 0;
    bool muted = false;
    ASSERT_TRUE(mixer.GetVolume(0, 0, l, r, muted)) << mAudio->ErrorMessage;
    EXPECT_NEAR(l, 40000, 2);
    EXPECT_NEAR(r, 40000, 2);
    EXPECT_TRUE(muted);
    ASSERT_TRUE(mixer.SetVolume(0, 0, 40000, 40000, false));
    EXPECT_NE(Output("pactl get-sink-mute @DEFAULT_SINK@").find("no"), std::string::npos);
}

// Requests the open mixer cannot answer fail with an error and change nothing: a handle other
// than the open mixer's, a destination, source, line or control that does not exist, no
// channels, and any call once the mixer is closed.
TEST_F(AlsaPulse, MixerRequestsForWhatDoesNotExistFail) {
    struct Quiet final : MixerCallback {
        void MixerControlChanged(std::uint32_t) override {}
    } quiet;
    MixerHandle mixer = 0;
    ASSERT_EQ(mPort.MixerOpen(mixer, 0, &quiet), WaveOk);
    MixerLineInfo master;
    ASSERT_EQ(mPort.MixerGetLineInfo(mixer, 0, MixerDestinationLine, master), WaveOk);
    std::vector<MixerControlInfo> controls;
    ASSERT_EQ(mPort.MixerGetLineControls(mixer, master.LineId, controls), WaveOk);
    ASSERT_EQ(controls.size(), 2u);
    const std::uint32_t volumeId = controls[0].ControlId;
    ASSERT_EQ(controls[0].Type, MixerControlType::Volume);
    std::uint32_t before[2] = {};
    ASSERT_EQ(mPort.MixerGetControlDetails(mixer, volumeId, 2, before), WaveOk);

    std::uint32_t lines = 0; // every line of every destination, to find an identifier past them
    for (std::uint32_t d = 0;; ++d) {
        MixerLineInfo info;
        if (mPort.MixerGetLineInfo(mixer, d, MixerDestinationLine, info) != WaveOk) {
            break;
        }
        lines = std::max(lines, info.LineId + 1 + info.Connections);
    }
    const std::uint32_t pastLast = 2 * lines + 1;
    const std::uint32_t loud[2] = {65535, 65535};
    const struct {
        const char* what;
        MixerHandle handle;
        std::uint32_t controlId;
        std::uint32_t channels;
    } controlCases[] = {
        {"another handle", mixer + 1, volumeId, 2},
        {"control 0", mixer, 0, 2},
        {"a control past the last line", mixer, pastLast, 2},
        {"no channels", mixer, volumeId, 0},
    };
    for (const auto& c : controlCases) {
        SCOPED_TRACE(c.what);
        std::uint32_t values[2] = {};
        if (c.channels > 0) {
            EXPECT_NE(mPort.MixerGetControlDetails(c.handle, c.controlId, c.channels, values),
                      WaveOk);
        }
        EXPECT_NE(mPort.MixerSetControlDetails(c.handle, c.controlId, c.channels, loud), WaveOk);
    }
    MixerLineInfo info;
    EXPECT_NE(mPort.MixerGetLineInfo(mixer, 99, MixerDestinationLine, info), WaveOk);
    EXPECT_NE(mPort.MixerGetLineInfo(mixer, 0, static_cast<std::int32_t>(master.Connections), info),
              WaveOk);
    EXPECT_NE(mPort.MixerGetLineInfo(mixer, 0, -2, info), WaveOk);
    EXPECT_NE(mPort.MixerGetLineControls(mixer, lines, controls), WaveOk);
    std::uint32_t after[2] = {};
    ASSERT_EQ(mPort.MixerGetControlDetails(mixer, volumeId, 2, after), WaveOk);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1], before[1]);

    ASSERT_EQ(mPort.MixerClose(mixer), WaveOk);
    EXPECT_NE(mPort.MixerClose(mixer), WaveOk);
    EXPECT_NE(mPort.MixerGetLineInfo(mixer, 0, MixerDestinationLine, info), WaveOk);
    EXPECT_NE(mPort.MixerGetLineControls(mixer, master.LineId, controls), WaveOk);
    EXPECT_NE(mPort.MixerGetControlDetails(mixer, volumeId, 2, after), WaveOk);
    EXPECT_NE(mPort.MixerSetControlDetails(mixer, volumeId, 2, loud), WaveOk);
}

TEST_F(AlsaPulse, AChangeByAnotherProgramRaisesOnMixerChange) {
    std::vector<std::pair<std::uint16_t, std::uint16_t>> changes;
    mAudio->OnMixerChange = [&](TMixerSettings*, std::uint16_t d, std::uint16_t s) {
        changes.emplace_back(d, s);
    };
    Pump([] { return false; }, 0);
    changes.clear();
    ASSERT_TRUE(Shell("pactl set-sink-volume @DEFAULT_SINK@ 30%"));
    ASSERT_TRUE(Pump([&] { return !changes.empty(); }, 5)) << "no change notification";
    EXPECT_EQ(changes.front(), (std::pair<std::uint16_t, std::uint16_t>{0, 0}));
    std::uint16_t l = 0, r = 0;
    bool muted = true;
    mAudio->Mixer().GetVolume(0, 0, l, r, muted);
    EXPECT_NEAR(l, 19661, 2); // 30 % of the server's 65536
    changes.clear();
    ASSERT_TRUE(Shell("pactl set-sink-mute @DEFAULT_SINK@ 1"));
    ASSERT_TRUE(Pump([&] { return !changes.empty(); }, 5)) << "no change notification";
    EXPECT_EQ(changes.front(), (std::pair<std::uint16_t, std::uint16_t>{0, 0}));
    Shell("pactl set-sink-mute @DEFAULT_SINK@ 0");
}

std::string ToneWav(std::uint32_t dataBytes) {
    const auto header = MakeWaveHeader(1, 11025, 16);
    std::string wav(reinterpret_cast<const char*>(header.data()), header.size());
    PutU32(reinterpret_cast<unsigned char*>(wav.data()) + 40, dataBytes);
    for (std::uint32_t i = 0; i < dataBytes / 2; ++i) {
        const std::int16_t v = (i / 25) % 2 ? 8000 : -8000; // a square wave of 220 Hz
        wav.push_back(static_cast<char>(v & 0xFF));
        wav.push_back(static_cast<char>((v >> 8) & 0xFF));
    }
    return wav;
}

// Playback is paced by the server: the device's played bytes grow with time, Stop ends a
// playback half-way, and a short one ends by itself.
TEST_F(AlsaPulse, PlaysInRealTime) {
    const std::string d = Dir->Path();
    test::WriteFileBytes(d + "/long.wav", ToneWav(11025 * 2 * 4));
    test::WriteFileBytes(d + "/short.wav", ToneWav(11024));
    std::atomic<int> bufferEvents{0}; // raised on the device thread
    int played = 0;
    mAudio->OnBufferPlayed = [&](TPlayer*) { ++bufferEvents; };
    mAudio->OnPlayed = [&](TPlayer*) { ++played; };
    std::int32_t samples = 0;
    ASSERT_TRUE(mAudio->Player().PlayFile(d + "/long.wav", 0, samples)) << mAudio->ErrorMessage;
    Pump([&] { return mAudio->Player().PlayedBytes() >= 11025; }, 10);
    const std::uint64_t soFar = mAudio->Player().PlayedBytes();
    EXPECT_GE(soFar, 11025u);
    EXPECT_LT(soFar, 11025u * 2 * 4); // four seconds cannot have been played yet
    EXPECT_EQ(played, 0);
    mAudio->Player().Stop();
    EXPECT_FALSE(mAudio->Player().DeviceOpen());
    EXPECT_EQ(played, 1);
    EXPECT_EQ(mAudio->Player().SampleRate(), 11025);
    EXPECT_EQ(mAudio->Player().BitsPerSample(), TBPS::_8); // the format from before, restored

    ASSERT_TRUE(mAudio->Player().PlayFile(d + "/short.wav", 0, samples)) << mAudio->ErrorMessage;
    EXPECT_TRUE(Pump([&] { return played == 2; }, 10)) << "the short playback did not end";
    EXPECT_FALSE(mAudio->Player().DeviceOpen());
    EXPECT_GT(bufferEvents.load(), 0);
}

// Records when each buffer of an output device comes back (on the device thread).
class ReturnClock final : public WaveCallback {
public:
    void WaveOpened() override {}
    void WaveBufferDone(WaveHeader*) override {
        Last.store(std::chrono::steady_clock::now().time_since_epoch().count());
        ++Returned;
    }
    void WaveClosed() override {}
    std::atomic<int> Returned{0};
    std::atomic<std::chrono::steady_clock::rep> Last{0};
};

// The last buffer of a playback comes back once it has been heard, and not much later: the
// server goes on reporting its own latency as a delay after the stream has run dry, which must
// not hold the end back until a time-out. Measured from the moment the device first reports
// sound played (the server's start lag is not the port's), the note takes its length and a
// little more.
TEST_F(AlsaPulse, TheLastBufferComesBackOnceItWasHeard) {
    constexpr std::uint32_t Rate = 11025;
    constexpr std::uint32_t Frames = Rate * 3 / 2 + 333; // not whole buffers
    PcmFormat format;
    format.SamplesPerSec = Rate;
    format.BitsPerSample = 16;
    format.BlockAlign = 2;
    format.AvgBytesPerSec = Rate * 2;
    std::vector<unsigned char> sound(Frames * 2);
    for (std::size_t i = 0; i < Frames; ++i) {
        const auto v = static_cast<std::int16_t>(8000.0 * std::sin(i * 0.25));
        sound[2 * i] = static_cast<unsigned char>(v & 0xFF);
        sound[2 * i + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
    }
    constexpr std::uint32_t Chunk = Rate / 10 * 2;
    std::vector<WaveHeader> headers((sound.size() + Chunk - 1) / Chunk);
    ReturnClock clock;
    WaveHandle handle = 0;
    ASSERT_EQ(mPort.OpenOutput(handle, WaveMapper, format, &clock), WaveOk);
    for (std::size_t i = 0; i < headers.size(); ++i) {
        headers[i].Data = sound.data() + i * Chunk;
        headers[i].BufferLength =
            static_cast<std::uint32_t>(std::min<std::size_t>(Chunk, sound.size() - i * Chunk));
        ASSERT_EQ(mPort.PrepareHeader(handle, &headers[i]), WaveOk);
        ASSERT_EQ(mPort.WriteOutputBuffer(handle, &headers[i]), WaveOk);
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    Clock::time_point heard{};
    while (clock.Returned < static_cast<int>(headers.size()) && Clock::now() < deadline) {
        if (heard == Clock::time_point{} && mPort.PlayedBytes(handle) > 0) {
            heard = Clock::now();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(clock.Returned.load(), static_cast<int>(headers.size()));
    ASSERT_NE(heard, Clock::time_point{});
    const auto tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            Clock::time_point(Clock::duration(clock.Last.load())) - heard)
                            .count();
    const long lengthMs = Frames * 1000L / Rate;
    std::printf("the last buffer came back %ld ms after the first sound; the note is %ld ms\n",
                static_cast<long>(tookMs), lengthMs);
    EXPECT_GE(tookMs, lengthMs - 30) << "the last buffer came back before it could be heard";
    EXPECT_LE(tookMs, lengthMs + 150) << "the end was held back";
    for (WaveHeader& h : headers) {
        mPort.UnprepareHeader(handle, &h);
    }
    EXPECT_EQ(mPort.Close(handle), WaveOk);
}

// A reset reaches a device thread while it waits for the server: a capture from a source that
// delivers nothing, and a playback with far more queued than the device's buffer holds. Every
// queued buffer comes back, and the device then serves a new buffer.
TEST_F(AlsaPulse, AResetReachesADeviceWaitingForTheServer) {
    const std::string fifo = Dir->Path() + "/run/silent.fifo";
    ASSERT_TRUE(Shell("pactl load-module module-pipe-source source_name=silent file='" + fifo +
                      "' format=s16le rate=11025 channels=1 >/dev/null && "
                      "pactl set-default-source silent"));
    const struct {
        bool capture;
        const char* what;
    } cases[] = {{true, "capture from a silent source"}, {false, "playback into a full device"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PcmFormat format;
        format.BitsPerSample = 16;
        format.BlockAlign = 2;
        format.AvgBytesPerSec = 11025 * 2;
        constexpr std::uint32_t Chunk = 11025; // half a second
        std::vector<unsigned char> sound(Chunk * 8, 0);
        std::vector<WaveHeader> headers(8);
        ReturnClock back;
        WaveHandle handle = 0;
        ASSERT_EQ(c.capture ? mPort.OpenInput(handle, WaveMapper, format, &back)
                            : mPort.OpenOutput(handle, WaveMapper, format, &back),
                  WaveOk);
        const auto queue = [&](WaveHeader& h) {
            return c.capture ? mPort.AddInputBuffer(handle, &h)
                             : mPort.WriteOutputBuffer(handle, &h);
        };
        for (std::size_t i = 0; i < headers.size(); ++i) {
            headers[i].Data = sound.data() + i * Chunk;
            headers[i].BufferLength = Chunk;
            ASSERT_EQ(mPort.PrepareHeader(handle, &headers[i]), WaveOk);
            ASSERT_EQ(queue(headers[i]), WaveOk);
        }
        if (c.capture) {
            ASSERT_EQ(mPort.StartInput(handle), WaveOk);
        }
        // Give the device thread the time to reach its wait (the test holds either way).
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        auto reset = std::async(std::launch::async, [&] { return mPort.Reset(handle); });
        if (reset.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            // The reset cannot be abandoned while it runs on the port: stop the server and end.
            std::fprintf(stderr, "%s: the reset never reached the device thread\n", c.what);
            TearDownTestSuite();
            std::_Exit(1);
        }
        EXPECT_EQ(reset.get(), WaveOk);
        EXPECT_EQ(back.Returned.load(), static_cast<int>(headers.size()));
        for (const WaveHeader& h : headers) {
            EXPECT_EQ(h.Flags & (WaveHeaderDone | WaveHeaderInQueue), WaveHeaderDone);
        }

        headers[0].BufferLength = Chunk / 5;
        ASSERT_EQ(queue(headers[0]), WaveOk);
        if (c.capture) {
            ASSERT_TRUE(Shell("head -c 44100 /dev/zero > '" + fifo + "' &"));
            ASSERT_EQ(mPort.StartInput(handle), WaveOk);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (back.Returned.load() <= static_cast<int>(headers.size()) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(back.Returned.load(), static_cast<int>(headers.size()) + 1)
            << "the device served no buffer after the reset";
        EXPECT_EQ(mPort.Reset(handle), WaveOk);
        for (WaveHeader& h : headers) {
            EXPECT_EQ(mPort.UnprepareHeader(handle, &h), WaveOk);
        }
        EXPECT_EQ(mPort.Close(handle), WaveOk);
    }
}

// The window thread stalls for two seconds: the device runs out of buffers, its own buffer
// overruns, and the capture goes on once buffers come back.
TEST_F(AlsaPulse, CaptureGoesOnAfterTheWindowThreadStalls) {
    ASSERT_TRUE(Shell("pactl set-default-source nullsrc"));
    TRecorder& rec = mAudio->Recorder();
    rec.SetBitsPerSample(TBPS::_16);
    rec.SetSampleRate(11025);
    rec.SetNoSamples(1102);
    std::atomic<int> buffers{0}; // counted on the device thread
    mAudio->OnRecord = [&](TRecorder* r, const unsigned char*, const unsigned char*,
                           std::uint16_t) {
        ++buffers;
        r->SetTriggered(true);
    };
    rec.SetTriggered(true);
    ASSERT_TRUE(rec.StartRecording()) << mAudio->ErrorMessage;
    ASSERT_TRUE(Pump([&] { return buffers >= 2; }, 10));
    const int atStall = buffers;
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const int before = buffers;
    EXPECT_LE(before, atStall + 4); // no buffer went back to the device meanwhile
    EXPECT_TRUE(Pump([&] { return buffers >= before + 10; }, 10)) << "capture did not go on";
    EXPECT_TRUE(rec.Stop()) << mAudio->ErrorMessage;
}

// Known speech in real time: a pipe source fed with the samples is the default source.
TEST_F(AlsaPulse, RecordsSpeechInRealTime) {
    const std::string d = Dir->Path();
    ASSERT_TRUE(test::MakeSpeech(d, 11025, d + "/speech.raw"));
    const std::string speech = ReadFileBytes(d + "/speech.raw");
    ASSERT_GT(speech.size(), 20000u);
    ASSERT_TRUE(Shell("pactl load-module module-pipe-source source_name=speech file='" + d +
                      "/run/speech.fifo' format=s16le rate=11025 channels=1 >/dev/null && "
                      "pactl set-default-source speech"));
    TRecorder& rec = mAudio->Recorder();
    rec.SetBitsPerSample(TBPS::_16);
    rec.SetSampleRate(11025);
    rec.SetNoSamples(1102);
    std::atomic<std::size_t> accepted{0}; // written by the device thread
    mAudio->OnRecord = [&](TRecorder* r, const unsigned char*, const unsigned char*,
                           std::uint16_t n) {
        accepted += n;
        r->SetTriggered(true);
    };
    rec.SetTriggered(true);
    const std::string wav = d + "/speech-note.wav";
    rec.RecordToFile(wav);
    ASSERT_TRUE(rec.StartRecording()) << mAudio->ErrorMessage;
    // The pipe source delivers only what is fed: silence after the speech keeps the capture
    // going past its end.
    test::WriteFileBytes(d + "/feed.raw", speech + std::string(11025 * 2 * 4, '\0'));
    ASSERT_TRUE(Shell("cat '" + d + "/feed.raw' > '" + d + "/run/speech.fifo' &"));
    // Enough for the speech, the server's start lag and a margin.
    const std::size_t wanted = speech.size() + 11025 * 2 * 2;
    Pump([&] { return accepted >= wanted; }, 20);
    ASSERT_TRUE(rec.Stop()) << mAudio->ErrorMessage;
    EXPECT_GE(accepted, wanted);
    const std::string data = ReadFileBytes(wav).substr(WaveHeaderSize);
    EXPECT_EQ(data.size(), accepted);
    EXPECT_NE(data.find(speech), std::string::npos) << "the speech samples are not in the note";
}

} // namespace
} // namespace tellamo
