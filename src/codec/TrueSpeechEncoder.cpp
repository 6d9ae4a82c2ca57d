#include "codec/TrueSpeechEncoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "codec/TrueSpeechSynthesis.h"
#include "codec/TrueSpeechTables.h"

namespace tellamo::truespeech {

namespace {
constexpr int Sub = SubframeSamples;
constexpr int InputHistory = 160; // past input kept for the analysis windows and open-loop pitch
constexpr int MinLag = 18;
constexpr int WindowLength = 300; // 60 past samples and the whole frame
// Search effort, chosen on espeak-ng speech as the point where more search stopped paying off
// against the speed needed (well over 200 times real time with resampling): pulse searches for
// the two best long-term predictions, three gain rows around the estimate, two cyclic passes.
constexpr int JointSearch = 2;
constexpr int RowsBelow = 1;
constexpr int RowsAbove = 1;
constexpr int CyclicPasses = 2;

struct AnalysisWindows {
    float Lpc[WindowLength];
    double LagWindow[9];
    AnalysisWindows() {
        // Asymmetric window peaking three quarters into the frame: the new filter is used as
        // is in the second half and only blended into the first.
        for (int i = 0; i < WindowLength; ++i) {
            if (i < 240) {
                Lpc[i] = static_cast<float>(0.54 - 0.46 * std::cos(std::numbers::pi * i / 240.0));
            } else {
                Lpc[i] = static_cast<float>(std::cos(std::numbers::pi / 2 * (i - 240) / 60.0));
            }
        }
        for (int k = 0; k < 9; ++k) {
            const double x = 2 * std::numbers::pi * 60.0 * k / SampleRate;
            LagWindow[k] = std::exp(-0.5 * x * x);
        }
    }
};

const AnalysisWindows& Windows() {
    static const AnalysisWindows windows;
    return windows;
}

// y = h * x over one subframe (zero state).
// Written as a sum of scaled copies of h, so that the inner loop vectorises.
void Convolve(const float* x, const float* h, float* y) {
    std::fill(y, y + Sub, 0.0f);
    for (int k = 0; k < Sub; ++k) {
        const float xk = x[k];
        float* out = y + k;
        for (int n = 0; n < Sub - k; ++n) {
            out[n] += xk * h[n];
        }
    }
}

// Four partial sums: the compiler may not reorder a floating-point sum by itself.
float Dot(const float* a, const float* b, int count) {
    float acc[4] = {};
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        for (int j = 0; j < 4; ++j) {
            acc[j] += a[i + j] * b[i + j];
        }
    }
    for (; i < count; ++i) {
        acc[0] += a[i] * b[i];
    }
    return (acc[0] + acc[1]) + (acc[2] + acc[3]);
}

struct PulseChoice {
    int Positions[7]; // ascending within each half: 3 in 0..29, then 4 in 30..59
    int Codes[7];     // 2-bit codes in the same order
    int Gain = 0;
};
} // namespace

struct EncoderState {
    SynthesisState Synthesis;
    float Input[InputHistory + FrameSamples] = {};
    std::int16_t Decoded[FrameSamples] = {};
};

namespace {

// Direct-form coefficients from the reflection coefficients by the decoder's own integer
// step-up. Sets whose intermediate coefficients would wrap around 16 bits are pulled toward
// zero, largest magnitude first, until the recursion stays in range.
void QuantizeLpc(const double* k, std::uint8_t* indices, std::int16_t* r, std::int16_t* a) {
    for (int m = 0; m < 8; ++m) {
        const double target = std::clamp(-k[m] * 32768.0, -32768.0, 32767.0);
        const std::int16_t* cb = LpcCodebooks[m];
        int best = 0;
        for (int i = 1; i < LpcCodebookSizes[m]; ++i) {
            if (std::fabs(cb[i] - target) < std::fabs(cb[best] - target)) {
                best = i;
            }
        }
        indices[m] = static_cast<std::uint8_t>(best);
    }
    for (int attempt = 0; attempt < 256; ++attempt) {
        ReflectionFromIndices(indices, r);
        if (LpcFromReflection(r, a)) {
            return;
        }
        int worst = -1;
        for (int m = 0; m < 8; ++m) {
            const std::int16_t* cb = LpcCodebooks[m];
            const int i = indices[m];
            const int toward = cb[i] > 0 ? i - 1 : i + 1;
            if (toward < 0 || toward >= LpcCodebookSizes[m] ||
                std::abs(cb[toward]) >= std::abs(cb[i])) {
                continue; // already the level nearest to zero
            }
            if (worst < 0 || std::abs(cb[i]) > std::abs(LpcCodebooks[worst][indices[worst]])) {
                worst = m;
            }
        }
        if (worst < 0) {
            break;
        }
        const int i = indices[worst];
        indices[worst] = static_cast<std::uint8_t>(LpcCodebooks[worst][i] > 0 ? i - 1 : i + 1);
    }
    // Not reached: every step above moves one index toward zero, and the all-nearest-to-zero
    // set cannot wrap. Kept so that no input can ever yield a wrapping set.
    for (int m = 0; m < 8; ++m) {
        int best = 0;
        for (int i = 1; i < LpcCodebookSizes[m]; ++i) {
            if (std::abs(LpcCodebooks[m][i]) < std::abs(LpcCodebooks[m][best])) {
                best = i;
            }
        }
        indices[m] = static_cast<std::uint8_t>(best);
    }
    ReflectionFromIndices(indices, r);
    LpcFromReflection(r, a);
}

// Prediction error energy of the decoder's filter a (Q12) on a signal with autocorrelation r.
double PredictionError(const double* r, const std::int16_t* a) {
    double c[9] = {1.0};
    for (int j = 0; j < 8; ++j) {
        c[j + 1] = -a[j] / 4096.0;
    }
    double e = 0;
    for (int i = 0; i < 9; ++i) {
        for (int j = 0; j < 9; ++j) {
            e += c[i] * c[j] * r[std::abs(i - j)];
        }
    }
    return e;
}

// Nearest levels are not the best set: move single indices one step while that lowers the
// prediction error of the filter the decoder will actually build.
void RefineLpc(const double* autocorrelation, std::uint8_t* indices, std::int16_t* r,
               std::int16_t* a) {
    double best = PredictionError(autocorrelation, a);
    for (int pass = 0; pass < 2; ++pass) {
        bool improved = false;
        for (int m = 0; m < 8; ++m) {
            for (const int step : {-1, 1}) {
                const int i = indices[m] + step;
                if (i < 0 || i >= LpcCodebookSizes[m]) {
                    continue;
                }
                std::uint8_t trial[8];
                std::copy(indices, indices + 8, trial);
                trial[m] = static_cast<std::uint8_t>(i);
                std::int16_t tr[8];
                std::int16_t ta[8];
                ReflectionFromIndices(trial, tr);
                if (!LpcFromReflection(tr, ta)) {
                    continue;
                }
                const double e = PredictionError(autocorrelation, ta);
                if (e < best) {
                    best = e;
                    std::copy(trial, trial + 8, indices);
                    std::copy(tr, tr + 8, r);
                    std::copy(ta, ta + 8, a);
                    improved = true;
                }
            }
        }
        if (!improved) {
            break;
        }
    }
}

void AnalyzeLpc(const float* frameStart, double* k, double* r) {
    const AnalysisWindows& w = Windows();
    float windowed[WindowLength];
    const float* from = frameStart - 60;
    for (int i = 0; i < WindowLength; ++i) {
        windowed[i] = from[i] * w.Lpc[i];
    }
    for (int lag = 0; lag <= 8; ++lag) {
        double acc = 0;
        for (int i = lag; i < WindowLength; ++i) {
            acc += static_cast<double>(windowed[i]) * windowed[i - lag];
        }
        r[lag] = acc * w.LagWindow[lag];
    }
    r[0] = r[0] * 1.0001 + 1e-3;
    std::fill(k, k + 8, 0.0);
    double alpha[9] = {};
    double error = r[0];
    for (int m = 1; m <= 8; ++m) {
        double acc = r[m];
        for (int j = 1; j < m; ++j) {
            acc -= alpha[j] * r[m - j];
        }
        const double km = acc / error;
        if (!(std::fabs(km) < 1.0)) {
            break;
        }
        double next[9];
        std::copy(alpha, alpha + 9, next);
        next[m] = km;
        for (int j = 1; j < m; ++j) {
            next[j] = alpha[j] - km * alpha[m - j];
        }
        std::copy(next, next + 9, alpha);
        error *= 1 - km * km;
        k[m - 1] = km;
    }
}

// Energy of the prediction residual of s[0..count) with filter a (Q12).
double InverseFilterEnergy(const std::int16_t* a, const float* s, int count) {
    double energy = 0;
    for (int n = 0; n < count; ++n) {
        double e = s[n];
        for (int k = 0; k < 8; ++k) {
            e -= a[k] / 4096.0 * s[n - 1 - k];
        }
        energy += e * e;
    }
    return energy;
}

// Open-loop pitch over 120 samples: the lag of highest normalised correlation, preferring a
// submultiple that scores almost as well (pitch doubling is the usual failure).
int OpenLoopPitch(const float* s) {
    constexpr int N = 120;
    float score[MaxLag + 2] = {};
    float energy[MaxLag + 2] = {};
    energy[MinLag] = Dot(s - MinLag, s - MinLag, N);
    for (int lag = MinLag; lag < MaxLag; ++lag) {
        // Slide the window one sample further back.
        energy[lag + 1] = std::max(0.0f, energy[lag] + s[-lag - 1] * s[-lag - 1] -
                                             s[N - 1 - lag] * s[N - 1 - lag]);
    }
    auto scoreOf = [&](int lag) {
        const float c = Dot(s, s - lag, N);
        score[lag] = c > 0 ? c * c / (energy[lag] + 1.0f) : 0;
        return score[lag];
    };
    // Every second lag first, then the neighbours of the best: the closed-loop search around
    // the result forgives a near miss, and this halves the work.
    int best = MinLag;
    for (int lag = MinLag; lag <= MaxLag; lag += 2) {
        if (scoreOf(lag) > score[best]) {
            best = lag;
        }
    }
    for (const int lag : {best - 1, best + 1}) {
        if (lag >= MinLag && lag <= MaxLag && scoreOf(lag) > score[best]) {
            best = lag;
        }
    }
    for (int divisor = 4; divisor >= 2; --divisor) {
        const int centre = (best + divisor / 2) / divisor;
        for (int lag = std::max(MinLag, centre - 1); lag <= std::min(MaxLag, centre + 1); ++lag) {
            if (scoreOf(lag) >= 0.85f * score[best]) {
                return lag;
            }
        }
    }
    return best;
}

// Impulse response of synthesis and postfilter for one subframe filter, in floating point.
void ImpulseResponse(const std::int16_t* filter, std::int16_t k1q, float* h) {
    float f[8];
    float w2[8];
    float w3[8];
    for (int k = 0; k < 8; ++k) {
        f[k] = filter[k] / 4096.0f;
        w2[k] = ((std::int32_t{filter[k]} * PostNum[k]) >> 15) / 4096.0f;
        w3[k] = ((std::int32_t{filter[k]} * PostDen[k]) >> 15) / 4096.0f;
    }
    const float tilt = static_cast<float>(k1q - (k1q >> 2)) / 65536.0f;
    float y1[Sub + 8] = {};
    float q[Sub + 8] = {};
    for (int n = 0; n < Sub; ++n) {
        float acc1 = n == 0 ? 1.0f : 0.0f;
        float acc2 = 0;
        for (int k = 0; k < 8; ++k) {
            acc1 += f[k] * y1[n + 7 - k];
            acc2 += w2[k] * y1[n + 7 - k];
        }
        y1[n + 8] = acc1;
        float acc3 = acc1 - acc2;
        for (int k = 0; k < 8; ++k) {
            acc3 += w3[k] * q[n + 7 - k];
        }
        q[n + 8] = acc3;
        h[n] = 0.875f * (acc3 + tilt * q[n + 7]);
    }
}

struct PitchChoice {
    int Lag = 0;
    int Tap = 0;
    float Error = 0;
};

// Closed-loop search of lag and tap pair. The error of every pair is estimated from filtered
// copies of the history (continued periodically for lags shorter than a subframe); the best few
// are then measured exactly with the decoder's own prediction.
void SearchPitch(const std::int16_t* history, const float* h, const float* target, int firstLag,
                 int lastLag, int fixedBase, PitchChoice* best, int& bestCount) {
    constexpr int Keep = 3;
    bestCount = 0;
    float ext[HistorySize + Sub + 1];
    float e[Sub];
    float y0[Sub];
    float y1[Sub];
    // For lags of a subframe or more both taps read only the history, and the filtered history
    // of lag L + 1 follows from that of lag L by one shift (the usual adaptive-codebook
    // recursion), which saves a convolution per lag.
    float shifted[Sub];
    int shiftedLag = -1;
    for (int i = 0; i < HistorySize; ++i) {
        ext[i] = history[i];
    }
    for (int lag = firstLag; lag <= lastLag; ++lag) {
        if (lag >= Sub) {
            if (shiftedLag != lag) {
                for (int n = 0; n < Sub; ++n) {
                    e[n] = ext[146 - lag + n];
                }
                Convolve(e, h, shifted);
            }
            std::copy(shifted, shifted + Sub, y1);
            const float newest = ext[145 - lag];
            for (int n = Sub - 1; n > 0; --n) {
                shifted[n] = shifted[n - 1] + h[n] * newest;
            }
            shifted[0] = h[0] * newest;
            shiftedLag = lag + 1;
            std::copy(shifted, shifted + Sub, y0);
        } else {
            // Shorter lags read their own prediction back: continue the history periodically
            // as an estimate of it.
            for (int m = 0; m < Sub; ++m) {
                ext[HistorySize + m] = ext[HistorySize + m - lag];
            }
            for (int n = 0; n < Sub; ++n) {
                e[n] = ext[145 - lag + n];
            }
            Convolve(e, h, y0);
            for (int n = 0; n < Sub; ++n) {
                e[n] = ext[146 - lag + n];
            }
            Convolve(e, h, y1);
        }
        const float t0 = Dot(target, y0, Sub);
        const float t1 = Dot(target, y1, Sub);
        const float c00 = Dot(y0, y0, Sub);
        const float c01 = Dot(y0, y1, Sub);
        const float c11 = Dot(y1, y1, Sub);
        // Offset 5 only has the codes 125 and 126 (127 means no prediction).
        const int taps = fixedBase >= 0 && lag - fixedBase - MinLag == 5 ? 2 : 25;
        for (int t = 0; t < taps; ++t) {
            const float g0 = PitchTaps[2 * t] / 16384.0f;
            const float g1 = PitchTaps[2 * t + 1] / 16384.0f;
            const float err =
                -2 * (g0 * t0 + g1 * t1) + g0 * g0 * c00 + 2 * g0 * g1 * c01 + g1 * g1 * c11;
            if (bestCount < Keep || err < best[bestCount - 1].Error) {
                int at = bestCount < Keep ? bestCount++ : Keep - 1;
                while (at > 0 && best[at - 1].Error > err) {
                    best[at] = best[at - 1];
                    --at;
                }
                best[at] = {lag, t, err};
            }
        }
    }
}

using Correlations = float[Sub][Sub];

// phi[i][j] = sum_n h[n - i] h[n - j]: the energy and overlap of pulses at i and j.
void Correlate(const float* h, Correlations& phi) {
    for (int k = 0; k < Sub; ++k) {
        float running = 0;
        // phi[i][i+k] = sum_{m=0}^{59-i-k} h[m] h[m+k]; walk i downward so the sum grows.
        for (int i = Sub - 1 - k; i >= 0; --i) {
            running += h[Sub - 1 - i - k] * h[Sub - 1 - i];
            phi[i][i + k] = running;
            phi[i + k][i] = running;
        }
    }
}

// Seven pulses (3 in the first half, 4 in the second) sharing one gain row. A greedy multipulse
// search with free amplitudes finds the likely gain; the pulses are then searched again with
// the row's quantised levels.
PulseChoice SearchPulses(const float* h, const Correlations& phi, const float* target,
                         float& errorChange) {
    float d[Sub];
    for (int i = 0; i < Sub; ++i) {
        d[i] = Dot(target + i, h, Sub - i);
    }

    // A plain greedy multipulse pass with free amplitudes, only to find the likely gain row.
    float gains[7] = {};
    {
        float residual[Sub];
        std::copy(d, d + Sub, residual);
        bool used[Sub] = {};
        int inFirst = 0;
        for (int step = 0; step < 7; ++step) {
            const int from = inFirst < 3 ? 0 : 30;
            const int to = step - inFirst < 4 ? Sub : 30;
            int p = -1;
            float bestScore = -1;
            for (int i = from; i < to; ++i) {
                const float score = used[i] ? -1 : residual[i] * residual[i] / phi[i][i];
                if (score > bestScore) {
                    bestScore = score;
                    p = i;
                }
            }
            used[p] = true;
            inFirst += p < 30 ? 1 : 0;
            gains[step] = residual[p] / phi[p][p];
            for (int i = 0; i < Sub; ++i) {
                residual[i] -= gains[step] * phi[i][p];
            }
        }
    }
    // The format gives all seven pulses one gain row and four levels (+-a, +-3a), which the
    // free amplitudes above rarely fit. So search again for each plausible row directly with the
    // quantised levels: greedy placement, then cyclic moves of single pulses.
    float maxGain = 0;
    for (int i = 0; i < 7; ++i) {
        maxGain = std::max(maxGain, std::fabs(gains[i]));
    }
    int centre = 0;
    for (int row = 1; row < 16; ++row) {
        if (std::fabs(std::log(3.0f * PulseAmp[4 * row] / (maxGain + 1e-3f))) <
            std::fabs(std::log(3.0f * PulseAmp[4 * centre] / (maxGain + 1e-3f)))) {
            centre = row;
        }
    }
    float diag[Sub];
    for (int i = 0; i < Sub; ++i) {
        diag[i] = phi[i][i];
    }
    constexpr float Blocked = 1e30f;
    PulseChoice best;
    float bestError = 0;
    bool haveBest = false;
    for (int row = std::max(0, centre - RowsBelow); row <= std::min(15, centre + RowsAbove);
         ++row) {
        float levels[4];
        for (int c = 0; c < 4; ++c) {
            levels[c] = PulseAmp[4 * row + c];
        }
        int qp[7];
        int qc[7];
        float blocked[Sub] = {}; // added to the score of positions already taken
        const float oneA = levels[0];
        const float twoA = 2 * levels[0];
        const float threeA = levels[1];
        float res[Sub];
        std::copy(d, d + Sub, res);
        float error = 0;
        // Adds the best (position, level) within [from, to); returns the error change.
        auto place = [&](int slot, int from, int to) {
            // The best of the four levels follows from the ideal amplitude res / phi: 3a above
            // 2a, a below, with the sign of res. Written without branches so that it is cheap.
            float gain[Sub] = {};
            for (int i = from; i < to; ++i) {
                const float mag = std::fabs(res[i]);
                const float l = mag > twoA * diag[i] ? threeA : oneA;
                gain[i] = l * (l * diag[i] - 2 * mag) + blocked[i];
            }
            int bp = from;
            for (int i = from + 1; i < to; ++i) {
                bp = gain[i] < gain[bp] ? i : bp;
            }
            const int bc = (res[bp] < 0 ? 2 : 0) + (std::fabs(res[bp]) > twoA * diag[bp] ? 1 : 0);
            blocked[bp] = Blocked;
            qp[slot] = bp;
            qc[slot] = bc;
            const float l = levels[bc];
            const float* column = phi[bp];
            for (int i = 0; i < Sub; ++i) {
                res[i] -= l * column[i];
            }
            error += gain[bp];
        };
        auto remove = [&](int slot) {
            const int p = qp[slot];
            const float l = levels[qc[slot]];
            blocked[p] = 0;
            const float* column = phi[p];
            for (int i = 0; i < Sub; ++i) {
                res[i] += l * column[i];
            }
            error -= l * l * phi[p][p] - 2 * l * res[p];
        };
        int nFirst = 0;
        for (int slot = 0; slot < 7; ++slot) {
            const bool firstOpen = nFirst < 3;
            const bool secondOpen = slot - nFirst < 4;
            place(slot, firstOpen ? 0 : 30, secondOpen ? Sub : 30);
            nFirst += qp[slot] < 30 ? 1 : 0;
        }
        for (int pass = 0; pass < CyclicPasses; ++pass) {
            bool moved = false;
            for (int slot = 0; slot < 7; ++slot) {
                const int oldPos = qp[slot];
                const int oldCode = qc[slot];
                remove(slot);
                place(slot, oldPos < 30 ? 0 : 30, oldPos < 30 ? 30 : Sub);
                moved = moved || qp[slot] != oldPos || qc[slot] != oldCode;
            }
            if (!moved) {
                break;
            }
        }
        if (!haveBest || error < bestError) {
            haveBest = true;
            bestError = error;
            best.Gain = row;
            errorChange = error;
            int order[7] = {0, 1, 2, 3, 4, 5, 6};
            std::sort(order, order + 7, [&](int x, int y) { return qp[x] < qp[y]; });
            for (int i = 0; i < 7; ++i) {
                best.Positions[i] = qp[order[i]];
                best.Codes[i] = qc[order[i]];
            }
        }
    }
    return best;
}

} // namespace

Encoder::Encoder() : mState(std::make_unique<EncoderState>()) {}
Encoder::~Encoder() = default;
Encoder::Encoder(const Encoder& other) : mState(std::make_unique<EncoderState>(*other.mState)) {}
Encoder& Encoder::operator=(const Encoder& other) {
    *mState = *other.mState;
    return *this;
}

const std::int16_t* Encoder::LastDecoded() const {
    return mState->Decoded;
}

Frame Encoder::EncodeFrame(const std::int16_t* pcm) {
    EncoderState& st = *mState;
    std::memmove(st.Input, st.Input + FrameSamples, sizeof(float) * InputHistory);
    float* s = st.Input + InputHistory;
    // No high-pass: even a DC blocker's phase shift at the pitch frequency costs more waveform
    // match than the offset it removes.
    for (int n = 0; n < FrameSamples; ++n) {
        s[n] = pcm[n];
    }

    Frame frame;
    double k[8];
    double autocorrelation[9];
    AnalyzeLpc(s, k, autocorrelation);
    std::int16_t r[8];
    std::int16_t a[8];
    QuantizeLpc(k, frame.Lpc.data(), r, a);
    RefineLpc(autocorrelation, frame.Lpc.data(), r, a);
    // Interpolate into the first half only where that predicts the input better than keeping
    // the previous frame's filter.
    std::int16_t filters[4][8];
    std::int16_t kept[4][8];
    SubframeFilters(a, st.Synthesis.Previous, true, filters);
    SubframeFilters(a, st.Synthesis.Previous, false, kept);
    const double blendError =
        InverseFilterEnergy(filters[0], s, Sub) + InverseFilterEnergy(filters[1], s + Sub, Sub);
    const double keptError = InverseFilterEnergy(kept[0], s, 2 * Sub);
    frame.Interpolate = blendError <= keptError ? 1 : 0;
    if (frame.Interpolate == 0) {
        std::memcpy(filters, kept, sizeof(kept));
    }
    const std::int16_t k1q = r[0];

    for (int sub = 0; sub < 4; ++sub) {
        const int half = sub / 2;
        const float* speech = s + sub * Sub;
        float h[Sub];
        ImpulseResponse(filters[sub], k1q, h);

        // What the decoder would play with no excitation at all, from its current state.
        SynthesisState ringing = st.Synthesis;
        const std::int16_t silence[Sub] = {};
        std::int16_t zir[Sub];
        Synthesize(ringing, filters[sub], k1q, silence, zir);
        float target[Sub];
        for (int n = 0; n < Sub; ++n) {
            target[n] = speech[n] - zir[n];
        }

        int firstLag;
        int lastLag;
        if (sub % 2 == 0) {
            const int t = OpenLoopPitch(s + half * 120);
            firstLag = std::max(MinLag, t - 4);
            lastLag = std::min(MaxLag, t + 4);
            frame.BaseLag[half] = static_cast<std::uint8_t>(std::clamp(t - 20, 0, 127));
        } else {
            firstLag = frame.BaseLag[half] + MinLag;
            lastLag = std::min(MaxLag, firstLag + 5);
        }
        PitchChoice candidates[3];
        int candidateCount = 0;
        SearchPitch(st.Synthesis.History, h, target, firstLag, lastLag,
                    sub % 2 == 0 ? -1 : frame.BaseLag[half], candidates, candidateCount);

        // Exact errors of the best few predictions and of none at all; the pulses are then
        // searched for the most promising ones and the best pair wins.
        struct Option {
            int Base;
            int Pitch;
            float Error;
            float Residual[Sub];
        };
        Option options[4];
        int optionCount = 0;
        auto addOption = [&](int base, int pitch) {
            Option& o = options[optionCount++];
            o.Base = base;
            o.Pitch = pitch;
            if (pitch == NoPitch) {
                std::copy(target, target + Sub, o.Residual);
            } else {
                std::int16_t v[Sub];
                PitchPrediction(st.Synthesis.History, base, pitch, v);
                float vf[Sub];
                float y[Sub];
                for (int n = 0; n < Sub; ++n) {
                    vf[n] = v[n];
                }
                Convolve(vf, h, y);
                for (int n = 0; n < Sub; ++n) {
                    o.Residual[n] = target[n] - y[n];
                }
            }
            o.Error = Dot(o.Residual, o.Residual, Sub);
        };
        addOption(frame.BaseLag[half], NoPitch);
        for (int c = 0; c < candidateCount; ++c) {
            const int lag = candidates[c].Lag;
            const int base = sub % 2 == 0 ? std::clamp(lag - 20, 0, 127) : frame.BaseLag[half];
            addOption(base, (lag - MinLag - base) * 25 + candidates[c].Tap);
        }
        int order[4] = {0, 1, 2, 3};
        for (int i = 1; i < optionCount; ++i) {
            for (int j = i; j > 0 && options[order[j]].Error < options[order[j - 1]].Error; --j) {
                std::swap(order[j], order[j - 1]);
            }
        }
        static thread_local Correlations phi;
        Correlate(h, phi);
        PulseChoice pulses;
        float bestTotal = 0;
        int chosen = 0;
        for (int o = 0; o < std::min(optionCount, JointSearch); ++o) {
            float pulseError = 0;
            const PulseChoice p = SearchPulses(h, phi, options[order[o]].Residual, pulseError);
            const float total = options[order[o]].Error + pulseError;
            if (o == 0 || total < bestTotal) {
                bestTotal = total;
                pulses = p;
                chosen = order[o];
            }
        }
        frame.BaseLag[half] = static_cast<std::uint8_t>(options[chosen].Base);
        frame.Pitch[sub] = static_cast<std::uint8_t>(options[chosen].Pitch);

        std::uint32_t signs = 0;
        for (int m = 0; m < 7; ++m) {
            signs |= static_cast<std::uint32_t>(pulses.Codes[m]) << (12 - 2 * m);
        }
        int second[4];
        for (int i = 0; i < 4; ++i) {
            second[i] = pulses.Positions[3 + i] - 30;
        }
        frame.Signs[sub] = static_cast<std::uint16_t>(signs);
        frame.Positions[sub] =
            (EncodePositions(pulses.Positions, 3) << 15) | EncodePositions(second, 4);
        frame.Gain[sub] = static_cast<std::uint8_t>(pulses.Gain);

        DecodeSubframe(st.Synthesis, filters[sub], k1q, frame.BaseLag[half], frame.Pitch[sub],
                       frame.Gain[sub], frame.Signs[sub], frame.Positions[sub],
                       st.Decoded + sub * Sub);
    }
    std::memcpy(st.Synthesis.Previous, a, sizeof(a));
    return frame;
}

} // namespace tellamo::truespeech
