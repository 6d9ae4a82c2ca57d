#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/OleDate.h"

namespace tellamo {

class FileSystem;

// One recording the storage folder's marker names: its note's file name and what its record held
// when the recording began, so that a recording whose record never reached the catalogue on the
// disk (a full disk, then a crash) can be brought back as the note it was.
struct MarkedRecording {
    std::string FileName;
    LocalTimeMs Start = 0;
    std::int32_t FolderID = -1;
    std::string Description;
};

// The small "recording in progress" file beside the catalogue. It names every recording made
// since the catalogue on the disk last took them all, and is gone when the catalogue did.
inline constexpr const char* RecordingMarkerName = "Tellamo.recording";

// Replaces the marker in folder (a path ending in '/') durably: written through a temporary file
// of the protected create path, flushed, and renamed into place. An empty list removes it.
// Throws TellamoError.
void WriteRecordingMarker(FileSystem& fs, const std::string& folder,
                          const std::vector<MarkedRecording>& recordings);

// The recordings the marker names. The storage folder may be shared or synced, so the marker is
// input from outside: anything but a small regular file (a link, a FIFO, a device, a huge file)
// reads as no marker, and a line that does not name a plain note file in the folder is skipped.
std::vector<MarkedRecording> ReadRecordingMarker(FileSystem& fs, const std::string& folder);

// Removes the marker; 0 or the errno (ENOENT when there was none).
int RemoveRecordingMarker(FileSystem& fs, const std::string& folder);

} // namespace tellamo
