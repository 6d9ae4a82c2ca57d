#pragma once

#include <cstdint>

#include "codec/TrueSpeechFrame.h"

namespace tellamo::truespeech {

// The decoder's integer synthesis, shared by the decoder and the encoder: the encoder runs the
// very same code on its own copy of the state, so both always hold identical histories. All
// arithmetic wraps like the reference decoder's 16- and 32-bit registers.

constexpr int HistorySize = 146;

struct SynthesisState {
    std::int16_t History[HistorySize] = {}; // excitation history, newest last
    std::int16_t Previous[8] = {};          // the previous frame's direct-form coefficients
    std::int16_t Y1[8] = {};                // synthesis filter memory, newest first
    std::int16_t Qm[8] = {};                // postfilter pole-section memory, newest first
};

// Reflection coefficients (Q15) from the frame's LPC indices.
void ReflectionFromIndices(const std::uint8_t* indices, std::int16_t* r);

// Step-up recursion and bandwidth expansion: r (Q15) -> a (Q12). Returns false when an
// intermediate coefficient had to wrap around 16 bits (the decoder wraps silently; an encoder
// must not send such a set).
bool LpcFromReflection(const std::int16_t* r, std::int16_t* a);

// The four subframe filters (8 coefficients each) from the current and previous coefficients.
void SubframeFilters(const std::int16_t* a, const std::int16_t* previous, bool interpolate,
                     std::int16_t filters[4][8]);

// Long-term prediction v[0..59] for base lag and pitch code, from the history.
void PitchPrediction(const std::int16_t* history, int baseLag, int pitch, std::int16_t* v);

// Pulses p[0..59] for gain index, sign codes and position code.
void PlacePulses(int gain, std::uint32_t signs, std::uint32_t positions, std::int16_t* p);

// Appends the subframe's pulses and 7/8 of its prediction to the history.
void UpdateHistory(std::int16_t* history, const std::int16_t* p, const std::int16_t* v);

// Stage 1 to 3 (synthesis and postfilter) over one subframe of excitation x. k1q is the frame's
// first reflection coefficient.
void Synthesize(SynthesisState& state, const std::int16_t* filter, std::int16_t k1q,
                const std::int16_t* x, std::int16_t* out);

// The whole of one subframe: prediction, pulses, excitation, history, synthesis.
void DecodeSubframe(SynthesisState& state, const std::int16_t* filter, std::int16_t k1q,
                    int baseLag, int pitch, int gain, std::uint32_t signs, std::uint32_t positions,
                    std::int16_t* out);

} // namespace tellamo::truespeech
