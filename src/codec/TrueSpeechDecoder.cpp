#include "codec/TrueSpeechDecoder.h"

#include <cstring>

#include "codec/TrueSpeechSynthesis.h"

namespace tellamo::truespeech {

Decoder::Decoder() : State(std::make_unique<SynthesisState>()) {}
Decoder::~Decoder() = default;
Decoder::Decoder(const Decoder& other) : State(std::make_unique<SynthesisState>(*other.State)) {}
Decoder& Decoder::operator=(const Decoder& other) {
    *State = *other.State;
    return *this;
}

void Decoder::DecodeFrame(const std::uint8_t* bytes, std::int16_t* pcm) {
    const Frame f = ParseFrame(bytes);
    std::int16_t r[8];
    std::int16_t a[8];
    std::int16_t filters[4][8];
    ReflectionFromIndices(f.Lpc.data(), r);
    LpcFromReflection(r, a);
    SubframeFilters(a, State->Previous, f.Interpolate != 0, filters);
    for (int s = 0; s < 4; ++s) {
        DecodeSubframe(*State, filters[s], r[0], f.BaseLag[s / 2], f.Pitch[s], f.Gain[s],
                       f.Signs[s], f.Positions[s], pcm + s * SubframeSamples);
    }
    std::memcpy(State->Previous, a, sizeof(a));
}

} // namespace tellamo::truespeech
