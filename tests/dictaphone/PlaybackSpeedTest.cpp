// Listening to dictation: the stretch that keeps the pitch, the player's speed, skips and the
// rewind on resume, all in the note's own time, over the fake wave port.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "audio/WindowPoster.h"
#include "dictaphone/MediaPlayer.h"
#include "dictaphone/TimeStretch.h"
#include "dictaphone/ToneAnalysis.h"
#include "export/ExportTestSupport.h"
#include "support/FakeWavePort.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

class MemorySource final : public FrameSource {
public:
    MemorySource(std::string bytes, std::size_t frameBytes)
        : mBytes(std::move(bytes)), mFrameBytes(frameBytes) {}
    std::size_t ReadFrames(unsigned char* data, std::size_t frames) override {
        const std::size_t n = std::min(frames, (mBytes.size() - mAt) / mFrameBytes);
        std::memcpy(data, mBytes.data() + mAt, n * mFrameBytes);
        mAt += n * mFrameBytes;
        return n;
    }

private:
    std::string mBytes;
    std::size_t mFrameBytes;
    std::size_t mAt = 0;
};

// Runs a whole stretch in device-sized buffers of a tenth of a second.
std::string StretchAll(TimeStretch& stretch, FrameSource& source, std::size_t frameBytes,
                       unsigned rate) {
    const std::size_t frames = rate / 10;
    std::string out;
    std::vector<unsigned char> buffer(frames * frameBytes);
    for (;;) {
        const std::size_t got = stretch.Fill(buffer.data(), frames, source);
        out.append(reinterpret_cast<const char*>(buffer.data()), got * frameBytes);
        if (got < frames) {
            return out;
        }
    }
}

// A 4 s 440 Hz tone keeps its pitch at every speed while its length becomes 4 s / speed; it
// starts at once, and a run after a finished one on the same stretch is just as good.
TEST(TimeStretchTest, KeepsThePitchAndScalesTheLength) {
    constexpr unsigned Rate = 22050;
    constexpr double Amplitude = 12000;
    const std::string note = Pcm16Bytes(Tone(Rate, 4, 440, Amplitude));
    TimeStretch stretch(Rate, 1, true);
    for (double speed : {0.5, 0.8, 1.5, 2.0, 1.5}) {
        SCOPED_TRACE(speed);
        MemorySource source(note, 2);
        stretch.Start(speed);
        const std::vector<std::int16_t> out = Samples16(StretchAll(stretch, source, 2, Rate));
        const double seconds = static_cast<double>(out.size()) / Rate;
        EXPECT_NEAR(seconds, 4 / speed, 0.05);
        EXPECT_NEAR(PeakFrequency(out, Rate), 440, 2);
        // A stretch by resampling would have moved the tone to 440 × speed.
        const std::size_t middle = out.size() / 2 - Rate / 4;
        EXPECT_GT(Power(out, middle, Rate / 2, Rate, 440),
                  100 * Power(out, middle, Rate / 2, Rate, 440 * speed));
        EXPECT_LT(Onset(out, Amplitude), Rate / 200) << "sound within 5 ms of the start";
        EXPECT_NEAR(Rms(out), Amplitude / std::sqrt(2), Amplitude * 0.1);
    }
}

// A full-scale tone that stops abruptly: whatever the stretch makes of it, no sample comes out
// wrapped round to the other sign (what would overshoot full scale is clipped), in both widths
// and with two channels.
TEST(TimeStretchTest, ClipsWhatOvershootsFullScale) {
    constexpr unsigned Rate = 11025;
    const std::vector<std::int16_t> loud = Tone(Rate, 1, 440, 32767);
    std::string bytes16, bytes8, stereo16;
    for (std::size_t i = 0; i < loud.size(); ++i) {
        const std::int16_t v = i < loud.size() * 3 / 4 ? loud[i] : 0; // stops abruptly
        bytes16 += Pcm16Bytes({v});
        stereo16 += Pcm16Bytes({v, static_cast<std::int16_t>(-v / 2)});
        bytes8.push_back(static_cast<char>(std::clamp(v / 256 + 128, 0, 255)));
    }
    // Next to each other, the samples of a 440 Hz tone differ by at most 2π × 440 / 11025 of
    // full scale (a quarter); a wrapped sample jumps by nearly all of it.
    const struct {
        const char* Name;
        std::uint16_t Channels;
        bool Sixteen;
        const std::string& Bytes;
    } cases[] = {{"16-bit mono", 1, true, bytes16},
                 {"16-bit stereo", 2, true, stereo16},
                 {"8-bit mono", 1, false, bytes8}};
    for (const auto& c : cases) {
        for (double speed : {0.5, 2.0}) {
            SCOPED_TRACE(std::string(c.Name) + " at " + std::to_string(speed));
            const std::size_t frameBytes = c.Channels * (c.Sixteen ? 2u : 1u);
            TimeStretch stretch(Rate, c.Channels, c.Sixteen);
            stretch.Start(speed);
            MemorySource source(c.Bytes, frameBytes);
            const std::string out = StretchAll(stretch, source, frameBytes, Rate);
            ASSERT_FALSE(out.empty());
            double largestStep = 0;
            const std::size_t frames = out.size() / frameBytes;
            for (std::size_t ch = 0; ch < c.Channels; ++ch) {
                double previous = 0;
                for (std::size_t i = 0; i < frames; ++i) {
                    const unsigned char* p =
                        reinterpret_cast<const unsigned char*>(out.data()) + i * frameBytes;
                    const double v = c.Sixteen
                                         ? static_cast<std::int16_t>(GetU16(p + 2 * ch)) / 32768.0
                                         : (p[ch] - 128) / 128.0;
                    if (i > 0) {
                        largestStep = std::max(largestStep, std::fabs(v - previous));
                    }
                    previous = v;
                }
            }
            EXPECT_LT(largestStep, 0.6);
        }
    }
}

// Interleaved frames of one tone per channel, as 8-bit unsigned or 16-bit signed PCM.
std::string TonesBytes(unsigned rate, double seconds, const std::vector<double>& hz, bool sixteen) {
    std::vector<std::vector<std::int16_t>> channels;
    for (double h : hz) {
        channels.push_back(Tone(rate, seconds, h, 12000));
    }
    std::string bytes;
    for (std::size_t i = 0; i < channels[0].size(); ++i) {
        for (const auto& channel : channels) {
            if (sixteen) {
                bytes += Pcm16Bytes({channel[i]});
            } else {
                bytes.push_back(static_cast<char>(channel[i] / 256 + 128));
            }
        }
    }
    return bytes;
}

// One channel of interleaved PCM as 16-bit samples.
std::vector<std::int16_t> Channel(const std::string& bytes, std::size_t channels, bool sixteen,
                                  std::size_t which) {
    const std::size_t frameBytes = channels * (sixteen ? 2 : 1);
    std::vector<std::int16_t> samples(bytes.size() / frameBytes);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const unsigned char* frame = p + i * frameBytes;
        samples[i] = sixteen ? static_cast<std::int16_t>(GetU16(frame + 2 * which))
                             : static_cast<std::int16_t>((frame[which] - 128) * 256);
    }
    return samples;
}

// Every width, one or two channels, and rates from 8000 to 48000 Hz: n note frames become
// n / speed frames, and each channel keeps its own tone (the two channels of a stereo note are
// stretched alike but not mixed).
// A steady level comes out as it went in, full scale and the middle included: the stretch gives
// back what it took, at the scale it took it.
TEST(TimeStretchTest, ASteadyLevelComesOutAsItWentIn) {
    constexpr unsigned Rate = 8000;
    const struct {
        const char* Name;
        bool Sixteen;
        std::string Sample;
    } cases[] = {
        {"16-bit, lowest", true, Pcm16Bytes({-32768})},
        {"16-bit, highest", true, Pcm16Bytes({32767})},
        {"16-bit, silence", true, Pcm16Bytes({0})},
        {"8-bit, lowest", false, std::string(1, '\x00')},
        {"8-bit, highest", false, std::string(1, '\xff')},
        {"8-bit, silence", false, std::string(1, '\x80')},
    };
    for (const auto& c : cases) {
        std::string bytes;
        for (unsigned i = 0; i < Rate; ++i) {
            bytes += c.Sample;
        }
        for (const double speed : {0.5, 1.5, 2.0}) {
            TimeStretch stretch(Rate, 1, c.Sixteen);
            MemorySource source(bytes, c.Sample.size());
            stretch.Start(speed);
            const std::string out = StretchAll(stretch, source, c.Sample.size(), Rate);
            ASSERT_FALSE(out.empty()) << c.Name;
            // Slowed down, the last window has no successor to overlap and fades out: the last
            // 20 ms are left out.
            const std::size_t end = out.size() - std::min(out.size(), Rate / 50 * c.Sample.size());
            std::size_t changed = 0;
            for (std::size_t i = 0; i + c.Sample.size() <= end; i += c.Sample.size()) {
                changed += out.compare(i, c.Sample.size(), c.Sample) != 0;
            }
            EXPECT_EQ(changed, 0u) << c.Name << " at " << speed << "x";
        }
    }
}

TEST(TimeStretchTest, EveryFormatKeepsItsTonesAndItsLength) {
    const struct {
        const char* Name;
        unsigned Rate;
        bool Sixteen;
        std::vector<double> Hz; // one per channel
    } cases[] = {
        {"8-bit mono at 8000 Hz", 8000, false, {440}},
        {"16-bit stereo at 11025 Hz", 11025, true, {440, 660}},
        {"8-bit stereo at 44100 Hz", 44100, false, {330, 550}},
        {"16-bit mono at 48000 Hz", 48000, true, {440}},
    };
    constexpr double Seconds = 1.5;
    for (const auto& c : cases) {
        const std::size_t channels = c.Hz.size();
        const std::size_t frameBytes = channels * (c.Sixteen ? 2 : 1);
        const std::string note = TonesBytes(c.Rate, Seconds, c.Hz, c.Sixteen);
        TimeStretch stretch(c.Rate, static_cast<std::uint16_t>(channels), c.Sixteen);
        for (double speed : {0.5, 1.3, 2.0}) {
            SCOPED_TRACE(std::string(c.Name) + " at " + std::to_string(speed));
            MemorySource source(note, frameBytes);
            stretch.Start(speed);
            const std::string out = StretchAll(stretch, source, frameBytes, c.Rate);
            const double noteFrames = static_cast<double>(note.size() / frameBytes);
            EXPECT_NEAR(static_cast<double>(out.size() / frameBytes), noteFrames / speed, 1);
            for (std::size_t ch = 0; ch < channels; ++ch) {
                SCOPED_TRACE(ch);
                const std::vector<std::int16_t> samples = Channel(out, channels, c.Sixteen, ch);
                EXPECT_NEAR(PeakFrequency(samples, c.Rate), c.Hz[ch], 2);
                const std::size_t middle = samples.size() / 2 - c.Rate / 8;
                EXPECT_GT(Power(samples, middle, c.Rate / 4, c.Rate, c.Hz[ch]),
                          100 * Power(samples, middle, c.Rate / 4, c.Rate, c.Hz[ch] * speed));
                for (std::size_t other = 0; other < channels; ++other) {
                    if (other != ch) {
                        EXPECT_GT(Power(samples, middle, c.Rate / 4, c.Rate, c.Hz[ch]),
                                  100 * Power(samples, middle, c.Rate / 4, c.Rate, c.Hz[other]))
                            << "the other channel's tone";
                    }
                }
            }
        }
    }
}

// Notes shorter than one window of the stretch, down to none at all, still give n / speed
// frames, and then nothing more.
TEST(TimeStretchTest, ShortNotesEndAtTheirLength) {
    constexpr unsigned Rate = 22050;
    const std::vector<std::int16_t> sound = VoiceLike(Rate, 0.1);
    TimeStretch stretch(Rate, 1, true);
    for (std::size_t frames : {0, 1, 100, 441, 1500}) {
        for (double speed : {0.5, 2.0}) {
            SCOPED_TRACE(std::to_string(frames) + " frames at " + std::to_string(speed));
            MemorySource source(Pcm16Bytes({sound.begin(), sound.begin() + frames}), 2);
            stretch.Start(speed);
            const std::string out = StretchAll(stretch, source, 2, Rate);
            EXPECT_EQ(out.size() / 2, static_cast<std::size_t>(std::llround(frames / speed)));
            unsigned char buffer[64];
            EXPECT_EQ(stretch.Fill(buffer, 32, source), 0u);
        }
    }
}

// A seek or a change of speed starts a new run in the middle of one: what the stretch held of
// the old place is forgotten, and the new run is the same as a new stretch's.
TEST(TimeStretchTest, StartInTheMiddleOfARunForgetsIt) {
    constexpr unsigned Rate = 22050;
    const std::string first = Pcm16Bytes(VoiceLike(Rate, 2));
    const std::string second = Pcm16Bytes(Tone(Rate, 1, 300, 9000));
    TimeStretch used(Rate, 1, true);
    MemorySource firstSource(first, 2);
    used.Start(2.0);
    std::vector<unsigned char> buffer(Rate / 10 * 2);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(used.Fill(buffer.data(), Rate / 10, firstSource), Rate / 10);
    }
    used.Start(0.7);
    MemorySource secondSource(second, 2);
    const std::string afterSeek = StretchAll(used, secondSource, 2, Rate);

    TimeStretch fresh(Rate, 1, true);
    fresh.Start(0.7);
    MemorySource again(second, 2);
    EXPECT_EQ(afterSeek, StretchAll(fresh, again, 2, Rate));
}

// Twenty seconds of 8-bit mono sound at 8000 Hz: buffers of 800 bytes, a tenth of a second.
class PlayerSkipTest : public ::testing::Test {
protected:
    static constexpr std::uint32_t LengthMs = 20000;

    PlayerSkipTest() {
        std::string samples(160000, '\0');
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples[i] = static_cast<char>(128 + 60 * std::sin(2 * M_PI * 300 * i / 8000.0));
        }
        WriteFileBytes(mDir.File("note.wav"), PcmWavBytes(1, 8000, 8, samples));
    }
    // Lets the device play `buffers` buffers.
    void PlayBuffers(int buffers) {
        for (int i = 0; i < buffers; ++i) {
            ASSERT_TRUE(mPort.CompleteOutput());
            mPoster.ProcessPending();
        }
    }
    // Opens the note at this speed and plays it from `fromMs` for three buffers, so that the
    // position comes from what the device has played.
    std::uint32_t PlayFrom(int tenths, std::uint32_t fromMs) {
        mPlayer.Open(mDir.File("note.wav"));
        mPlayer.SetSpeedTenths(tenths);
        mPlayer.JumpTo(fromMs);
        mPlayer.Play();
        PlayBuffers(3);
        return fromMs + 3 * 10 * static_cast<std::uint32_t>(tenths);
    }

    TempDir mDir;
    FakeWavePort mPort;
    EventFdPoster mPoster;
    MediaPlayer mPlayer{mPort, mPoster};
};

// Skips of the default 5 s step near the start, in the middle and near the end, at every speed,
// while playing and while paused: never before the start or past the end; playing goes on from
// the new place at the same speed (or the note has ended, when the skip reached the end), paused
// stays paused and resumes from exactly the new place.
TEST_F(PlayerSkipTest, SkipsStayInsideTheNoteAndKeepTheMode) {
    const struct {
        const char* Name;
        std::uint32_t From;
        bool Forward;
        std::int64_t Delta; // from where the position is when the skip comes; INT64_MIN: the start
        bool ToEnd;
    } cases[] = {
        {"back near the start", 1000, false, INT64_MIN, false},
        {"forward near the start", 1000, true, 5000, false},
        {"back in the middle", 10000, false, -5000, false},
        {"forward in the middle", 10000, true, 5000, false},
        {"back near the end", 17000, false, -5000, false},
        {"forward near the end", 17000, true, 0, true},
    };
    for (const int tenths : {5, 10, 15, 20}) {
        for (const bool paused : {false, true}) {
            for (const auto& c : cases) {
                SCOPED_TRACE(std::string(c.Name) + (paused ? ", paused" : ", playing") + " at " +
                             std::to_string(tenths) + " tenths");
                const std::uint32_t here = PlayFrom(tenths, c.From);
                ASSERT_EQ(mPlayer.Position(), here);
                if (paused) {
                    mPlayer.PauseToggle();
                }
                const std::uint32_t expected =
                    c.ToEnd
                        ? LengthMs
                        : (c.Delta == INT64_MIN ? 0 : static_cast<std::uint32_t>(here + c.Delta));
                c.Forward ? mPlayer.SkipForward() : mPlayer.SkipBack();
                EXPECT_EQ(mPlayer.Position(), expected);
                if (paused) {
                    EXPECT_EQ(mPlayer.CurrentMode(), MediaPlayer::Mode::Paused);
                    mPlayer.PauseToggle();
                    EXPECT_EQ(mPlayer.Position(), expected) << "no rewind after a skip";
                }
                if (c.ToEnd) {
                    EXPECT_EQ(mPlayer.CurrentMode(), MediaPlayer::Mode::Stopped);
                    EXPECT_EQ(mPort.QueuedOutputCount(), 0u);
                } else {
                    EXPECT_EQ(mPlayer.CurrentMode(), MediaPlayer::Mode::Playing);
                    PlayBuffers(1);
                    EXPECT_EQ(mPlayer.Position(), expected + 10 * tenths) << "at the same speed";
                }
                EXPECT_EQ(mPlayer.SpeedTenths(), tenths);
                mPlayer.Close();
            }
        }
    }
}

// A resume after a pause starts the rewind earlier (never before the start); 0 turns it off; a
// place chosen while paused (a jump or a skip) is where the resume starts; a stop is no pause.
TEST_F(PlayerSkipTest, ResumeRewindsAfterAPause) {
    const struct {
        const char* Name;
        std::uint32_t From;
        std::uint32_t Rewind;
        std::int64_t Expected; // from where the pause was; INT64_MIN: the start
    } cases[] = {
        {"default second", 8000, MediaPlayer::DefaultRewindOnResumeMs, -1000},
        {"three seconds", 8000, 3000, -3000},
        {"off", 8000, 0, 0},
        {"near the start", 200, 1000, INT64_MIN},
    };
    for (const int tenths : {5, 10, 20}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.Name) + " at " + std::to_string(tenths) + " tenths");
            mPlayer.SetRewindOnResumeMs(c.Rewind);
            const std::uint32_t here = PlayFrom(tenths, c.From);
            mPlayer.PauseToggle();
            EXPECT_EQ(mPlayer.Position(), here) << "paused where it was";
            mPlayer.PauseToggle();
            const std::uint32_t resumed =
                c.Expected == INT64_MIN ? 0 : static_cast<std::uint32_t>(here + c.Expected);
            EXPECT_EQ(mPlayer.Position(), resumed);
            EXPECT_EQ(mPlayer.CurrentMode(), MediaPlayer::Mode::Playing);
            PlayBuffers(1);
            EXPECT_EQ(mPlayer.Position(), resumed + 10 * tenths);
            mPlayer.Close();
        }
    }
    mPlayer.SetRewindOnResumeMs(1000);
    PlayFrom(10, 8000);
    mPlayer.PauseToggle();
    mPlayer.JumpTo(12000);
    mPlayer.PauseToggle();
    EXPECT_EQ(mPlayer.Position(), 12000u) << "a place chosen while paused";
    PlayBuffers(3);
    mPlayer.Stop();
    mPlayer.Play();
    EXPECT_EQ(mPlayer.Position(), 12300u) << "a stop is not a pause";
}

// The speed changes while a note plays without moving its position; the position, the length
// and seeks stay in note time; speeds outside 0.5 to 2.0 are held to them.
TEST_F(PlayerSkipTest, SpeedChangesKeepNoteTime) {
    EXPECT_EQ(PlayFrom(10, 0), 300u);
    EXPECT_EQ(mPlayer.Length(), LengthMs);
    mPlayer.SetSpeedTenths(20);
    EXPECT_EQ(mPlayer.Position(), 300u);
    EXPECT_EQ(mPort.QueuedOutputCount(), 4u) << "the buffers at the old speed were taken back";
    PlayBuffers(2);
    EXPECT_EQ(mPlayer.Position(), 700u);
    mPlayer.SetSpeedTenths(7);
    PlayBuffers(1);
    EXPECT_EQ(mPlayer.Position(), 770u);
    mPlayer.Seek(15000);
    EXPECT_EQ(mPlayer.Position(), 15000u);
    mPlayer.Play();
    PlayBuffers(1);
    EXPECT_EQ(mPlayer.Position(), 15070u);
    EXPECT_EQ(mPlayer.Length(), LengthMs);

    mPlayer.SetSpeedTenths(1);
    EXPECT_EQ(mPlayer.SpeedTenths(), MediaPlayer::MinSpeedTenths);
    mPlayer.SetSpeedTenths(99);
    EXPECT_EQ(mPlayer.SpeedTenths(), MediaPlayer::MaxSpeedTenths);
}

// A note played to its end at every speed: the last buffer coming back ends it at the length,
// with about length / speed of sound written; at normal speed the bytes are the file's own.
TEST_F(PlayerSkipTest, EveryPlayEndsAtTheLength) {
    for (const int tenths : {5, 10, 13, 20}) {
        SCOPED_TRACE(tenths);
        mPlayer.Open(mDir.File("note.wav"));
        mPlayer.SetSpeedTenths(tenths);
        mPlayer.JumpTo(16000);
        const std::size_t before = mPort.WrittenBytes().size();
        mPlayer.Play();
        for (int i = 0; i < 1000 && mPort.CompleteOutput(); ++i) {
            mPoster.ProcessPending();
        }
        EXPECT_EQ(mPlayer.CurrentMode(), MediaPlayer::Mode::Stopped);
        EXPECT_EQ(mPlayer.Position(), LengthMs);
        const double seconds = (mPort.WrittenBytes().size() - before) / 8000.0;
        EXPECT_NEAR(seconds, 4 * 10.0 / tenths, 0.1);
        if (tenths == 10) {
            const std::string file = ReadFileBytes(mDir.File("note.wav"));
            EXPECT_EQ(mPort.WrittenBytes().substr(before), file.substr(44 + 128000));
        }
        mPlayer.Close();
    }
}

// Where a seek lands at any speed: a tone that begins 3 s into the note is heard where the
// position says 3 s, to within a buffer.
TEST(PlayerSeekTest, TheSoundAfterASeekIsWhereThePositionSays) {
    constexpr unsigned Rate = 22050;
    TempDir dir;
    WriteFileBytes(dir.File("note.wav"),
                   PcmWavBytes(1, Rate, 16, Pcm16Bytes(Tone(Rate, 5, 440, 12000, 3.0))));
    for (const int tenths : {5, 10, 15, 20}) {
        SCOPED_TRACE(tenths);
        FakeWavePort port;
        EventFdPoster poster;
        MediaPlayer player(port, poster);
        player.Open(dir.File("note.wav"));
        player.SetSpeedTenths(tenths);
        player.Seek(2000);
        player.Play();
        EXPECT_EQ(player.Position(), 2000u);
        // The positions the player reports as each buffer has played, against the samples
        // played by then; between two of them the position is taken to move evenly.
        std::vector<std::pair<std::size_t, std::uint32_t>> reports{{0, 2000}};
        for (int i = 0; i < 1000 && port.CompleteOutput(); ++i) {
            poster.ProcessPending();
            reports.emplace_back(port.PlayedBytesSoFar().size() / 2, player.Position());
        }
        const std::size_t onset = Onset(Samples16(port.WrittenBytes()), 12000);
        double heardAt = 0;
        for (std::size_t i = 1; i < reports.size(); ++i) {
            if (onset < reports[i].first) {
                const auto [fromSample, fromMs] = reports[i - 1];
                const auto [toSample, toMs] = reports[i];
                heardAt = (fromMs + (toMs - fromMs) * static_cast<double>(onset - fromSample) /
                                        static_cast<double>(toSample - fromSample)) /
                          1000;
                break;
            }
        }
        EXPECT_NEAR(heardAt, 3.0, 0.1);
    }
}

} // namespace
} // namespace tellamo::test
