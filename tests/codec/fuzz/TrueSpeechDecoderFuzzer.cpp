// libFuzzer target: any bytes, taken as a stream of 32-byte frames, must decode without a
// crash, an out-of-bounds access or undefined behaviour, and every frame must survive a
// parse/pack round trip unchanged.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "codec/TrueSpeechDecoder.h"
#include "codec/TrueSpeechFrame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tellamo::truespeech;
    constexpr std::size_t MaxFrames = 64; // enough for the state to build up; keeps runs fast
    Decoder decoder;
    std::int16_t pcm[FrameSamples];
    for (std::size_t i = 0; i < size / FrameBytes && i < MaxFrames; ++i) {
        const std::uint8_t* bytes = data + i * FrameBytes;
        const FrameBytesArray again = PackFrame(ParseFrame(bytes));
        if (std::memcmp(again.data(), bytes, FrameBytes) != 0) {
            std::abort();
        }
        decoder.DecodeFrame(bytes, pcm);
    }
    return 0;
}
