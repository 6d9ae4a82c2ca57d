#pragma once

#include <cstdint>
#include <string>

namespace tellamo {

class SearchIndex;

// Where a note stands after NoteIndexing::Refresh.
enum class NoteTranscriptState {
    Current,         // its .vtt was made from its present sound, and the index holds it
    NeedsTranscript, // no .vtt, or one made from other sound: the index has its description
    NoSound,         // no WAV (or no safe path to one): nothing to transcribe
};

// Brings what the index holds of one note up to date with the note's .vtt file (read again
// only when its size or time differ from what the index noted) and with its description. index
// may be null (no index could be opened): the state is still told. Throws IndexDamaged; a .vtt
// that cannot be read is a TellamoError naming it.
NoteTranscriptState RefreshNoteInIndex(SearchIndex* index, const std::string& fileName,
                                       const std::string& wavPath, const std::string& description);

// "0:01:05.250": hours without a leading zero, as the program writes durations, then the
// milliseconds.
std::string ClockTime(std::int64_t ms);

} // namespace tellamo
