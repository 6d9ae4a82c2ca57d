#pragma once

#include <string>

#include "common/FileSystem.h"
#include "export/StagedFile.h"

namespace tellamo {

// The speech setting of the Ogg Opus copies: mono at about 16 kbit/s, so that a second of a
// note takes about 2 kB whatever its own rate.
constexpr int OggOpusBitRate = 16000;
// The encoder's cheapest setting (plain quantization, the simplest pitch search), so that an
// hour's note is saved in seconds on one core: 40 % of the middle setting's time at 16 kHz, for
// 0.2 to 0.8 dB less segmental signal-to-noise on speech at this rate. Setting 1 takes 12 % longer
// and measures no better.
constexpr int OggOpusComplexity = 0;

// Encodes a note's WAV file (read as ReadNoteAsMono reads it, resampled to the encoder's own
// 8, 12 or 16 kHz) into an Ogg Opus file at target, through a StagedFile: an old target stays
// untouched when anything fails. Throws TellamoError with a text for the user.
void EncodeOggOpus(FileSystem& fileSystem, const std::string& source, const std::string& target,
                   const WorkProgress& progress = {});

} // namespace tellamo
