#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/WavFormat.h"
#include "common/ByteIO.h"

namespace tellamo::test {

// A PCM WAV file's bytes with the given samples (already laid out for the channels and width).
inline std::string PcmWavBytes(std::uint16_t channels, std::uint16_t rate, std::uint16_t bits,
                               const std::string& samples) {
    auto header = MakeWaveHeader(channels, rate, bits);
    PutU32(&header[4], static_cast<std::uint32_t>(36 + samples.size()));
    PutU32(&header[40], static_cast<std::uint32_t>(samples.size()));
    return std::string(header.begin(), header.end()) + samples;
}

// A voice-like sound: a 150 Hz tone with harmonics, its loudness rising and falling four times
// a second, as 16-bit mono samples.
inline std::vector<std::int16_t> VoiceLike(unsigned rate, double seconds) {
    const auto count = static_cast<std::size_t>(rate * seconds);
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double envelope = 0.55 + 0.45 * std::sin(2 * M_PI * 4 * t);
        double v = 0;
        for (int h = 1; h <= 8; ++h) {
            v += std::sin(2 * M_PI * 150 * h * t) / h;
        }
        samples[i] = static_cast<std::int16_t>(6000 * envelope * v);
    }
    return samples;
}

inline std::string Pcm16Bytes(const std::vector<std::int16_t>& samples) {
    std::string bytes;
    bytes.reserve(samples.size() * 2);
    for (std::int16_t s : samples) {
        bytes.push_back(static_cast<char>(s & 0xFF));
        bytes.push_back(static_cast<char>((s >> 8) & 0xFF));
    }
    return bytes;
}

inline double Rms(const std::vector<std::int16_t>& samples) {
    double sum = 0;
    for (std::int16_t s : samples) {
        sum += static_cast<double>(s) * s;
    }
    return samples.empty() ? 0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

} // namespace tellamo::test
