#include "codec/TrueSpeechSynthesis.h"

#include <algorithm>
#include <cstring>

#include "codec/TrueSpeechTables.h"

namespace tellamo::truespeech {

namespace {
std::int16_t Wrap16(std::int64_t x) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint64_t>(x)));
}
std::int32_t Wrap32(std::int64_t x) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(x)));
}
std::int16_t Sat(std::int32_t x) {
    return static_cast<std::int16_t>(std::clamp(x, -32766, 32766));
}
void Push(std::int16_t* memory, std::int16_t value) {
    std::memmove(memory + 1, memory, 7 * sizeof(std::int16_t));
    memory[0] = value;
}
} // namespace

void ReflectionFromIndices(const std::uint8_t* indices, std::int16_t* r) {
    for (int m = 0; m < 8; ++m) {
        r[m] = LpcCodebooks[m][indices[m] % LpcCodebookSizes[m]];
    }
}

bool LpcFromReflection(const std::int16_t* r, std::int16_t* a) {
    bool exact = true;
    for (int m = 0; m < 8; ++m) {
        if (m >= 1) {
            std::int16_t old[8];
            std::memcpy(old, a, sizeof(std::int16_t) * static_cast<std::size_t>(m));
            for (int j = 0; j < m; ++j) {
                const std::int32_t sum =
                    a[j] + ((static_cast<std::int32_t>(old[m - 1 - j]) * r[m] + 16384) >> 15);
                exact = exact && sum >= -32768 && sum <= 32767;
                a[j] = Wrap16(sum);
            }
        }
        a[m] = static_cast<std::int16_t>((8 - r[m]) >> 3);
    }
    for (int j = 0; j < 8; ++j) {
        a[j] = static_cast<std::int16_t>((static_cast<std::int32_t>(a[j]) * LpcBw[j]) >> 15);
    }
    return exact;
}

void SubframeFilters(const std::int16_t* a, const std::int16_t* previous, bool interpolate,
                     std::int16_t filters[4][8]) {
    for (int j = 0; j < 8; ++j) {
        filters[2][j] = a[j];
        filters[3][j] = a[j];
        if (interpolate) {
            filters[0][j] =
                Wrap16((std::int64_t{a[j]} * 21846 + previous[j] * 10923 + 16384) >> 15);
            filters[1][j] =
                Wrap16((std::int64_t{a[j]} * 10923 + previous[j] * 21846 + 16384) >> 15);
        } else {
            filters[0][j] = previous[j];
            filters[1][j] = previous[j];
        }
    }
}

void PitchPrediction(const std::int16_t* history, int baseLag, int pitch, std::int16_t* v) {
    if (pitch == NoPitch) {
        std::fill(v, v + SubframeSamples, std::int16_t{0});
        return;
    }
    const int lag = std::min(MaxLag, baseLag + 18 + pitch / 25);
    const int t = pitch % 25;
    const std::int32_t c0 = PitchTaps[2 * t];
    const std::int32_t c1 = PitchTaps[2 * t + 1];
    std::int16_t e[HistorySize + SubframeSamples];
    std::memcpy(e, history, sizeof(std::int16_t) * HistorySize);
    for (int n = 0; n < SubframeSamples; ++n) {
        const std::int64_t sum = c0 * e[145 - lag + n] + c1 * e[146 - lag + n] + 8192;
        v[n] = Wrap16(Wrap32(sum) >> 14);
        e[146 + n] = v[n];
    }
}

void PlacePulses(int gain, std::uint32_t signs, std::uint32_t positions, std::int16_t* p) {
    std::int16_t amp[7];
    for (int m = 0; m < 7; ++m) {
        amp[m] = PulseAmp[4 * gain + ((signs >> (12 - 2 * m)) & 3)];
    }
    std::fill(p, p + SubframeSamples, std::int16_t{0});
    int next = 0;
    std::uint32_t x = positions >> 15;
    int remaining = 3;
    for (int i = 0; i < 30 && remaining > 0; ++i) {
        const auto t = static_cast<std::uint32_t>(PosComb[30 * (4 - remaining) + i]);
        if (x >= t) {
            x -= t;
        } else {
            p[i] = amp[next++];
            --remaining;
        }
    }
    x = positions & 0x7FFF;
    remaining = 4;
    for (int i = 30; i < 60 && remaining > 0; ++i) {
        const auto t = static_cast<std::uint32_t>(PosComb[30 * (4 - remaining) + (i - 30)]);
        if (x >= t) {
            x -= t;
        } else {
            p[i] = amp[next++];
            --remaining;
        }
    }
}

void UpdateHistory(std::int16_t* history, const std::int16_t* p, const std::int16_t* v) {
    std::memmove(history, history + SubframeSamples,
                 sizeof(std::int16_t) * (HistorySize - SubframeSamples));
    for (int n = 0; n < SubframeSamples; ++n) {
        history[HistorySize - SubframeSamples + n] =
            Wrap16(std::int32_t{p[n]} + v[n] - (v[n] >> 3));
    }
}

void Synthesize(SynthesisState& state, const std::int16_t* filter, std::int16_t k1q,
                const std::int16_t* x, std::int16_t* out) {
    std::int32_t w2[8];
    std::int32_t w3[8];
    for (int k = 0; k < 8; ++k) {
        w2[k] = (std::int32_t{filter[k]} * PostNum[k]) >> 15;
        w3[k] = (std::int32_t{filter[k]} * PostDen[k]) >> 15;
    }
    const std::int32_t tiltFactor = k1q - (k1q >> 2);
    for (int n = 0; n < SubframeSamples; ++n) {
        std::int64_t acc1 = 0;
        std::int64_t acc2 = 0;
        for (int k = 0; k < 8; ++k) {
            acc1 += std::int32_t{filter[k]} * state.Y1[k];
            acc2 += w2[k] * state.Y1[k];
        }
        const std::int16_t y1 = Sat(x[n] + (Wrap32(Wrap32(acc1) + std::int64_t{2048}) >> 12));
        const std::int16_t y2 = Wrap16(y1 + (Wrap32(-std::int64_t{Wrap32(acc2)}) >> 12));
        Push(state.Y1, y1);

        std::int64_t acc3 = std::int64_t{y2} * 4096;
        for (int k = 0; k < 8; ++k) {
            acc3 += w3[k] * state.Qm[k];
        }
        std::int32_t acc = Wrap32(acc3);
        const std::int16_t q = Sat(Wrap32(std::int64_t{acc} + 2048) >> 12);
        Push(state.Qm, q);
        const std::int32_t tilt = (std::int32_t{state.Qm[1]} * tiltFactor) >> 4;
        acc = Wrap32(std::int64_t{acc} + tilt);
        acc = Wrap32(std::int64_t{acc} - (acc >> 3));
        out[n] = Sat(Wrap32(std::int64_t{acc} + 2048) >> 12);
    }
}

void DecodeSubframe(SynthesisState& state, const std::int16_t* filter, std::int16_t k1q,
                    int baseLag, int pitch, int gain, std::uint32_t signs, std::uint32_t positions,
                    std::int16_t* out) {
    std::int16_t v[SubframeSamples];
    std::int16_t p[SubframeSamples];
    std::int16_t x[SubframeSamples];
    PitchPrediction(state.History, baseLag, pitch, v);
    PlacePulses(gain, signs, positions, p);
    for (int n = 0; n < SubframeSamples; ++n) {
        x[n] = Wrap16(std::int32_t{p[n]} + v[n]);
    }
    UpdateHistory(state.History, p, v);
    Synthesize(state, filter, k1q, x, out);
}

} // namespace tellamo::truespeech
