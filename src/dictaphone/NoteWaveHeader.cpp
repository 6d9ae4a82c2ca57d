#include "dictaphone/NoteWaveHeader.h"

#include "audio/WavFormat.h"
#include "common/Errors.h"

namespace tellamo {

FoundWave ReadNoteWaveHeader(const std::string& path) {
    const WaveInfo info = ReadWaveHeader(path);
    if (info.SampleRate > 0xFFFF) {
        throw TellamoError("\"" + path + "\": a sample rate of " + std::to_string(info.SampleRate) +
                           " Hz cannot be kept in the catalogue");
    }
    return FoundWave{static_cast<std::uint16_t>(info.SampleRate),
                     info.SixteenBit(),
                     static_cast<std::uint16_t>(info.Stereo() ? 2 : 1),
                     info.DataStart,
                     info.DataSize,
                     info.FileSize};
}

} // namespace tellamo
