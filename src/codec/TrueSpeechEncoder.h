#pragma once

#include <cstdint>
#include <memory>

#include "codec/TrueSpeechFrame.h"

namespace tellamo::truespeech {

struct EncoderState;

// Encodes 8000 Hz 16-bit mono PCM into TrueSpeech 8.5 frames by analysis by synthesis.
// Candidates are judged by their waveform error after the decoder's synthesis filter and
// postfilter: the ringing of the decoder's exact integer state is subtracted from the input,
// and the rest is modelled in floating point. After each subframe the encoder runs the
// decoder's own integer code on its copy of the state, so encoder and decoder never drift
// apart. It never emits a field outside the safe ranges (see FrameIsSafe). Copyable: a copy
// continues independently from the same point.
class Encoder {
public:
    Encoder();
    ~Encoder();
    Encoder(const Encoder& other);
    Encoder& operator=(const Encoder& other);

    // Encodes the next 240 samples.
    Frame EncodeFrame(const std::int16_t* pcm);
    FrameBytesArray EncodeFrameBytes(const std::int16_t* pcm) {
        return PackFrame(EncodeFrame(pcm));
    }

    // The 240 samples that a decoder plays for the frame encoded last (the encoder's own
    // synthesis, which is bit-identical to the decoder's).
    const std::int16_t* LastDecoded() const;

private:
    std::unique_ptr<EncoderState> mState;
};

} // namespace tellamo::truespeech
