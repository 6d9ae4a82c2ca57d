#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "codec/TrueSpeechEncoder.h"

namespace tellamo::truespeech {

// The TrueSpeech WAV file as the Windows codec and its applications write it: a 90-byte header
// (RIFF, a 50-byte fmt chunk with format tag 0x22, block align 32 and the codec's 32 extra
// bytes, a fact chunk with the sample count, the data chunk header), then the 32-byte frames
// with nothing between them. Decoders cut the data into packets by the block align, so 32 is
// the only value that keeps frames aligned after a seek.
constexpr std::size_t WavHeaderSize = 90;

std::array<std::uint8_t, WavHeaderSize> MakeWavHeader(std::uint32_t frameCount);

// Encodes a stream of 8000 Hz mono samples, given in pieces of any size, into a complete
// TrueSpeech WAV file held in memory (about 1 kB per second of sound). The last partial frame
// is padded with silence.
class WavEncoder {
public:
    WavEncoder();

    void Write(const std::int16_t* pcm, std::size_t count);
    // Pads, encodes what is pending and returns the whole file. The encoder is then empty again.
    std::string Finish();

    std::uint32_t FrameCount() const { return mFrames; }

private:
    Encoder mCodec;
    std::int16_t mPending[FrameSamples] = {};
    int mPendingCount = 0;
    std::string mData; // frames written so far, starting with room for the header
    std::uint32_t mFrames = 0;
};

} // namespace tellamo::truespeech
