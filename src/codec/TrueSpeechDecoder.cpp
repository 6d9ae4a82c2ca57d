#include "codec/TrueSpeechDecoder.h"

#include <cstring>

#include "codec/TrueSpeechSynthesis.h"

namespace tellamo::truespeech {

Decoder::Decoder() : mState(std::make_unique<SynthesisState>()) {}
Decoder::~Decoder() = default;
Decoder::Decoder(const Decoder& other) : mState(std::make_unique<SynthesisState>(*other.mState)) {}
Decoder& Decoder::operator=(const Decoder& other) {
    *mState = *other.mState;
    return *this;
}

void Decoder::DecodeFrame(const std::uint8_t* bytes, std::int16_t* pcm) {
    const Frame f = ParseFrame(bytes);
    std::int16_t r[8];
    std::int16_t a[8];
    std::int16_t filters[4][8];
    ReflectionFromIndices(f.Lpc.data(), r);
    LpcFromReflection(r, a);
    SubframeFilters(a, mState->Previous, f.Interpolate != 0, filters);
    for (int s = 0; s < 4; ++s) {
        DecodeSubframe(*mState, filters[s], r[0], f.BaseLag[s / 2], f.Pitch[s], f.Gain[s],
                       f.Signs[s], f.Positions[s], pcm + s * SubframeSamples);
    }
    std::memcpy(mState->Previous, a, sizeof(a));
}

} // namespace tellamo::truespeech
