#include "codec/TrueSpeechDecoder.h"

#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "codec/TrueSpeechEncoder.h"
#include "codec/TrueSpeechWav.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace tellamo::truespeech {
namespace {

std::string WavOf(const std::vector<FrameBytesArray>& frames) {
    const auto header = MakeWavHeader(static_cast<std::uint32_t>(frames.size()));
    std::string file(header.begin(), header.end());
    for (const FrameBytesArray& f : frames) {
        file.append(f.begin(), f.end());
    }
    return file;
}

std::vector<std::int16_t> DecodeAll(const std::vector<FrameBytesArray>& frames) {
    Decoder decoder;
    std::vector<std::int16_t> pcm(frames.size() * FrameSamples);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        decoder.DecodeFrame(frames[i].data(), pcm.data() + i * FrameSamples);
    }
    return pcm;
}

// Sample-for-sample comparison with FFmpeg's decoder; reports the first difference.
void ExpectSameAsFfmpeg(const std::vector<FrameBytesArray>& frames, const char* what) {
    test::TempDir dir;
    const std::string path = dir.File("frames.wav");
    test::WriteFileBytes(path, WavOf(frames));
    const test::FfmpegDecoding reference = test::DecodeWithFfmpeg(path, dir.Path());
    ASSERT_EQ(reference.ExitStatus, 0) << reference.Messages;
    const std::vector<std::int16_t> ours = DecodeAll(frames);
    ASSERT_EQ(reference.Samples.size(), ours.size()) << what;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        ASSERT_EQ(ours[i], reference.Samples[i]) << what << ": first difference at sample " << i
                                                 << " (frame " << i / FrameSamples << ")";
    }
}

TEST(TrueSpeechDecoder, MatchesFfmpegOnRandomBytes) {
    const unsigned seed = 77001;
    std::mt19937 rng(seed);
    std::vector<FrameBytesArray> frames(400);
    for (FrameBytesArray& f : frames) {
        for (std::uint8_t& b : f) {
            b = static_cast<std::uint8_t>(rng());
        }
    }
    SCOPED_TRACE("seed " + std::to_string(seed));
    ExpectSameAsFfmpeg(frames, "random bytes");
}

TEST(TrueSpeechDecoder, MatchesFfmpegOnFramesWithEveryFieldInRange) {
    const unsigned seed = 77002;
    std::mt19937 rng(seed);
    std::vector<FrameBytesArray> frames(400);
    for (FrameBytesArray& bytes : frames) {
        Frame f;
        for (int m = 0; m < 8; ++m) {
            f.Lpc[m] = static_cast<std::uint8_t>(rng() % (1u << LpcBits[m]));
        }
        f.Interpolate = static_cast<std::uint8_t>(rng() % 2);
        for (int s = 0; s < 4; ++s) {
            f.Gain[s] = static_cast<std::uint8_t>(rng() % 16);
            f.Signs[s] = static_cast<std::uint16_t>(rng() % 0x4000);
            f.Positions[s] = ((rng() % FirstHalfCodes) << 15) | (rng() % SecondHalfCodes);
        }
        for (int half = 0; half < 2; ++half) {
            f.BaseLag[half] = static_cast<std::uint8_t>(rng() % 128);
            for (int s = 2 * half; s < 2 * half + 2; ++s) {
                int p = static_cast<int>(rng() % 128);
                while (p != NoPitch && f.BaseLag[half] + 18 + p / 25 > MaxLag) {
                    p = static_cast<int>(rng() % 128);
                }
                f.Pitch[s] = static_cast<std::uint8_t>(p);
            }
        }
        ASSERT_TRUE(FrameIsSafe(f));
        bytes = PackFrame(f);
    }
    SCOPED_TRACE("seed " + std::to_string(seed));
    ExpectSameAsFfmpeg(frames, "in-range frames");
}

TEST(TrueSpeechDecoder, MatchesFfmpegOnAllZeroFramesAndTheEncodersOwnOutput) {
    ExpectSameAsFfmpeg(std::vector<FrameBytesArray>(50), "all-zero frames");

    // A chirp with a loud burst: voiced-like and clipping-level material for the encoder.
    Encoder encoder;
    std::vector<FrameBytesArray> frames;
    std::vector<std::int16_t> pcm(FrameSamples);
    double phase = 0;
    for (int i = 0; i < 120; ++i) {
        for (int n = 0; n < FrameSamples; ++n) {
            phase += 2 * 3.14159265 * (100 + i * 10) / 8000.0;
            const double level = i >= 60 && i < 70 ? 32767 : 8000;
            pcm[n] = static_cast<std::int16_t>(level * std::sin(phase) * std::sin(phase * 0.37));
        }
        frames.push_back(encoder.EncodeFrameBytes(pcm.data()));
    }
    ExpectSameAsFfmpeg(frames, "encoder output");
}

TEST(TrueSpeechDecoder, ACopyContinuesLikeTheOriginal) {
    std::mt19937 rng(5);
    std::vector<FrameBytesArray> frames(20);
    for (FrameBytesArray& f : frames) {
        for (std::uint8_t& b : f) {
            b = static_cast<std::uint8_t>(rng());
        }
    }
    Decoder original;
    std::int16_t a[FrameSamples];
    std::int16_t b[FrameSamples];
    for (int i = 0; i < 10; ++i) {
        original.DecodeFrame(frames[i].data(), a);
    }
    Decoder copy = original;
    for (int i = 10; i < 20; ++i) {
        original.DecodeFrame(frames[i].data(), a);
        copy.DecodeFrame(frames[i].data(), b);
        ASSERT_TRUE(std::equal(a, a + FrameSamples, b)) << "frame " << i;
    }
}

} // namespace
} // namespace tellamo::truespeech
