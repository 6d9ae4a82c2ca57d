#pragma once

#include <cstdint>

namespace tellamo {

// The recording values that the options dialog holds, with their first-run values; the dialog
// writes them and the recording workflow reads them.
struct RecordingOptions {
    std::uint16_t SampleRate = 11025; // 4000..22050
    bool SixteenBit = true;
    int NoiseLevelPercent = 10; // 0..30
};

} // namespace tellamo
