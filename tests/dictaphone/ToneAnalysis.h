#pragma once

// Tones for the playback tests and what to measure in what was played.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace tellamo::test {

// A tone of `hz` as 16-bit mono samples, silent before `onset` seconds.
inline std::vector<std::int16_t> Tone(unsigned rate, double seconds, double hz, double amplitude,
                                      double onset = 0) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(rate * seconds));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        samples[i] =
            t < onset ? 0 : static_cast<std::int16_t>(amplitude * std::sin(2 * M_PI * hz * t));
    }
    return samples;
}

inline std::vector<std::int16_t> Samples16(const std::string& bytes) {
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// The strength of one frequency in a stretch of samples (Goertzel).
inline double Power(const std::vector<std::int16_t>& s, std::size_t from, std::size_t count,
                    unsigned rate, double hz) {
    const double k = 2 * std::cos(2 * M_PI * hz / rate);
    double a = 0, b = 0;
    for (std::size_t i = from; i < from + count && i < s.size(); ++i) {
        const double c = s[i] + k * a - b;
        b = a;
        a = c;
    }
    return a * a + b * b - k * a * b;
}

// The strongest frequency between 200 and 1000 Hz, to the half hertz, over the middle half
// second of the samples.
inline double PeakFrequency(const std::vector<std::int16_t>& s, unsigned rate) {
    const std::size_t count = rate / 2;
    const std::size_t from = s.size() > count ? (s.size() - count) / 2 : 0;
    double best = 0, bestHz = 0;
    for (double hz = 200; hz <= 1000; hz += 0.5) {
        const double p = Power(s, from, count, rate, hz);
        if (p > best) {
            best = p;
            bestHz = hz;
        }
    }
    return bestHz;
}

// The first sample at least a quarter of full loudness.
inline std::size_t Onset(const std::vector<std::int16_t>& s, double amplitude) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (std::abs(s[i]) >= amplitude / 4) {
            return i;
        }
    }
    return s.size();
}

} // namespace tellamo::test
