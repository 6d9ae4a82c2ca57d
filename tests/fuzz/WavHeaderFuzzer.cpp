// libFuzzer target for the WAV header reader that the recorder, the player and the converter
// share: any first bytes and any file size parse without a crash or undefined behaviour, and
// an accepted header places the data within the bytes the reader may look at.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "audio/WavFormat.h"
#include "common/Errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tellamo;
    // The first 8 bytes pick the file size the header is compared with; the rest is the file.
    if (size < 8) {
        return 0;
    }
    std::uint64_t fileSize = 0;
    std::memcpy(&fileSize, data, 8);
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 8, size - 8);
    for (const std::uint64_t claimed : {std::uint64_t{bytes.size()}, fileSize}) {
        try {
            const WaveInfo info = ParseWaveHeader(bytes, claimed, "fuzz.wav");
            if (info.DataStart < DataTagFirstOffset + 8 || info.DataStart > WaveHeaderReadLimit) {
                std::abort();
            }
            (void)info.SampleCount();
        } catch (const TellamoError&) {
        }
    }
    return 0;
}
