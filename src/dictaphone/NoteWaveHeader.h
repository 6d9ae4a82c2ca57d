#pragma once

#include <string>

#include "catalogue/RestoreNotes.h"

namespace tellamo {

// The program's reader for Restore Notes: the WAV file's header as far as a note needs it.
// Throws TellamoError with the user's words for a file that is no WAV file, or whose sample rate
// the catalogue cannot keep (16 bits).
FoundWave ReadNoteWaveHeader(const std::string& path);

} // namespace tellamo
