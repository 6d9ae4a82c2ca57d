#pragma once

#include <cstdint>
#include <memory>

#include "codec/TrueSpeechFrame.h"

namespace tellamo::truespeech {

struct SynthesisState;

// Decodes TrueSpeech 8.5 frames bit-exactly: each 32-byte frame gives 240 16-bit samples at
// 8000 Hz. The state carries over from frame to frame and starts at zero, so frames must be
// given in stream order. Any 32 bytes are a frame; decoding never fails. Copyable: a copy
// continues independently from the same point.
class Decoder {
public:
    Decoder();
    ~Decoder();
    Decoder(const Decoder& other);
    Decoder& operator=(const Decoder& other);

    void DecodeFrame(const std::uint8_t* frame, std::int16_t* pcm);

private:
    std::unique_ptr<SynthesisState> mState;
};

} // namespace tellamo::truespeech
