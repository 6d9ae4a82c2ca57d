#include "codec/TrueSpeechEncoder.h"

#include <cmath>
#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "codec/TrueSpeechDecoder.h"

namespace tellamo::truespeech {
namespace {

// Inputs that push the search to its edges: silence, full-scale noise and square waves, a DC
// step, isolated clicks, very low and very high pitch.
struct Signal {
    const char* Name;
    std::function<std::int16_t(int n, std::mt19937& rng)> Sample;
};

const Signal Signals[] = {
    {"silence", [](int, std::mt19937&) { return std::int16_t{0}; }},
    {"full-scale noise",
     [](int, std::mt19937& rng) { return static_cast<std::int16_t>(rng() & 0xFFFF); }},
    {"full-scale square 60 Hz",
     [](int n, std::mt19937&) { return static_cast<std::int16_t>((n / 67) % 2 ? 32767 : -32768); }},
    {"square 400 Hz",
     [](int n, std::mt19937&) { return static_cast<std::int16_t>((n / 10) % 2 ? 20000 : -20000); }},
    {"DC step",
     [](int n, std::mt19937&) { return static_cast<std::int16_t>(n < 3000 ? 0 : 30000); }},
    {"clicks",
     [](int n, std::mt19937&) { return static_cast<std::int16_t>(n % 997 == 0 ? 32767 : 0); }},
    {"low buzz 55 Hz",
     [](int n, std::mt19937&) { return static_cast<std::int16_t>(n % 145 < 3 ? 25000 : -500); }},
    {"high whistle 3.9 kHz",
     [](int n, std::mt19937&) {
         return static_cast<std::int16_t>(12000 * std::sin(2 * 3.14159265 * 3900 * n / 8000.0));
     }},
};

TEST(TrueSpeechEncoder, EmitsOnlySafeFieldsAndDecodesToItsOwnSynthesis) {
    for (const Signal& signal : Signals) {
        SCOPED_TRACE(signal.Name);
        std::mt19937 rng(1234);
        Encoder encoder;
        Decoder decoder;
        std::int16_t pcm[FrameSamples];
        std::int16_t decoded[FrameSamples];
        for (int frame = 0; frame < 60; ++frame) {
            for (int n = 0; n < FrameSamples; ++n) {
                pcm[n] = signal.Sample(frame * FrameSamples + n, rng);
            }
            const Frame f = encoder.EncodeFrame(pcm);
            ASSERT_TRUE(FrameIsSafe(f)) << "frame " << frame;
            for (int s = 0; s < 4; ++s) {
                ASSERT_LE(f.Pitch[s], NoPitch);
                ASSERT_LE(f.BaseLag[s / 2], 127);
            }
            const FrameBytesArray bytes = PackFrame(f);
            decoder.DecodeFrame(bytes.data(), decoded);
            ASSERT_TRUE(std::equal(decoded, decoded + FrameSamples, encoder.LastDecoded()))
                << "frame " << frame;
        }
    }
}

double SnrDb(const std::vector<std::int16_t>& ref, const std::vector<std::int16_t>& out) {
    double signal = 0;
    double noise = 0;
    for (std::size_t i = 0; i < ref.size(); ++i) {
        signal += static_cast<double>(ref[i]) * ref[i];
        const double d = static_cast<double>(ref[i]) - out[i];
        noise += d * d;
    }
    return 10 * std::log10(signal / noise);
}

// A vowel-like signal: a 120 Hz glottal pulse train through two resonances. The encoder must
// track it closely, and a copied encoder must produce the very same frames as the original.
TEST(TrueSpeechEncoder, CodesAVowelWellAndACopyContinuesIdentically) {
    std::vector<std::int16_t> input(8000);
    double y1 = 0;
    double y2 = 0;
    double z1 = 0;
    double z2 = 0;
    for (std::size_t n = 0; n < input.size(); ++n) {
        const double x = n % 67 == 0 ? 4000.0 : 0.0;
        const double y = x + 1.6 * y1 - 0.9 * y2; // about 600 Hz
        y2 = y1;
        y1 = y;
        const double z = y + 0.3 * z1 - 0.8 * z2; // about 1.9 kHz
        z2 = z1;
        z1 = z;
        input[n] = static_cast<std::int16_t>(std::clamp(z * 0.5, -32000.0, 32000.0));
    }
    Encoder encoder;
    std::vector<std::int16_t> output;
    Encoder copy;
    for (std::size_t start = 0; start + FrameSamples <= input.size(); start += FrameSamples) {
        if (start == 3600) {
            copy = encoder;
        }
        const Frame f = encoder.EncodeFrame(input.data() + start);
        if (start >= 3600) {
            EXPECT_EQ(copy.EncodeFrame(input.data() + start), f);
        }
        output.insert(output.end(), encoder.LastDecoded(), encoder.LastDecoded() + FrameSamples);
    }
    input.resize(output.size());
    // Skip the first 0.25 s, where the pitch history is still empty.
    const std::vector<std::int16_t> ref(input.begin() + 2000, input.end());
    const std::vector<std::int16_t> out(output.begin() + 2000, output.end());
    EXPECT_GT(SnrDb(ref, out), 10.0);
}

} // namespace
} // namespace tellamo::truespeech
