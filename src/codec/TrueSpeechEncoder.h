#pragma once

#include <cstdint>
#include <memory>

#include "codec/TrueSpeechFrame.h"

namespace tellamo::truespeech {

struct EncoderState;

// Encodes 8000 Hz 16-bit mono PCM into TrueSpeech 8.5 frames by analysis by synthesis. Every
// candidate is judged through the decoder's own integer synthesis (postfilter included), and
// after each subframe the encoder advances an exact copy of the decoder's state, so what a
// decoder plays back is exactly what the encoder measured. It never emits a field outside the
// safe ranges (see FrameIsSafe). Copyable: a copy continues independently from the same point.
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

    // The samples that a decoder produces for the frames encoded so far, for the last frame:
    // the encoder's own synthesis output.
    const std::int16_t* LastDecoded() const;

private:
    std::unique_ptr<EncoderState> State;
};

} // namespace tellamo::truespeech
