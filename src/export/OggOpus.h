#pragma once

#include <string>

#include "common/FileSystem.h"
#include "export/StagedFile.h"

namespace tellamo {

// The speech setting of the Ogg Opus copies: mono at about 16 kbit/s, so that a second of a
// note takes about 2 kB whatever its own rate.
constexpr int OggOpusBitRate = 16000;
constexpr int OggOpusComplexity = 5;

// Encodes a note's WAV file (read as ReadNoteAsMono reads it, at the note's own rate; the
// encoder resamples by itself) into an Ogg Opus file at target, through a StagedFile: an old
// target stays untouched when anything fails. Throws TellamoError with a text for the user.
void EncodeOggOpus(FileSystem& fileSystem, const std::string& source, const std::string& target,
                   const WorkProgress& progress = {});

} // namespace tellamo
