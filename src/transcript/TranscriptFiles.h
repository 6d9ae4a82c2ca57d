#pragma once

#include <optional>
#include <string>

#include "transcript/Transcript.h"

namespace tellamo {

class FileSystem;

// The transcript's path beside a note's WAV: "042977.wav" -> "042977.vtt" (any other name gets
// ".vtt" appended).
std::string TranscriptPathFor(const std::string& wavPath);

// The file's size and modification time; throws TellamoError naming the file when it cannot be
// looked at.
SourceStamp StampOf(const std::string& path);

// Whether the note has a transcript made from its present sound: the .vtt exists, was written
// by the program, and names the WAV's present size and time. Reads only the first bytes of the
// .vtt. False also when either file cannot be looked at.
bool TranscriptIsCurrent(const std::string& wavPath);

// Writes the transcript durably: to "NNNNNN.vtt.new", created anew (never through a link left
// there), synced, then renamed over the .vtt, so that the .vtt is always either the old or the
// new transcript in full. Throws TellamoError naming the file and the system's reason.
void WriteTranscriptFile(FileSystem& fs, const std::string& vttPath, const Transcript& transcript);

// Reads a .vtt file (never more than MaxWebVttBytes). Throws TellamoError for a file that cannot
// be read or is not WebVTT.
Transcript ReadTranscriptFile(const std::string& vttPath);

} // namespace tellamo
