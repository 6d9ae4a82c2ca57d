#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QString>

#include "common/OleDate.h"

namespace tellamo {

class Catalogue;
struct GraphSettings;

// What the start-up found of a recording that was cut off.
enum class RepairKind {
    Recovered,        // made whole again (also a recording brought back from the marker)
    NeverReachedDisk, // the marker's record of a file that is not there: the record is gone
    FileMissing,      // a record saved without a duration whose file is missing: kept
};

// A note whose recording was cut off (the program killed, the power gone) and made whole again.
struct RecoveredNote {
    std::string FileName;
    std::string Description;
    LocalTimeMs Start = 0;
    std::int64_t DurationMs = 0;
    // Larger than a WAV header can declare: the header declares the most it can and nothing of
    // the file was cut.
    bool KeptWhole = false;
    RepairKind Kind = RepairKind::Recovered;
};

// Repairs, before the window is shown, every note whose record has no duration (saved before its
// recording ended) while its WAV file holds sound or a header whose sizes are wrong: the file is
// cut to whole samples, its header's sizes are set to what it holds (never to more, whatever the
// header claimed) and flushed to the disk, the record gets its duration and size, and its graph
// file is built anew. A file too large for a WAV header's sizes is never cut: its header declares
// the most it can. An empty recording's header is made valid and its note reported too. Notes with
// a duration are not looked at, so the start-up touches no file for them. Files that cannot be read
// as WAV files, links and notes without a file are left alone. The caller saves the catalogue when
// the list is not empty. The first look at a note's file and every write go through the catalogue's
// file system.
//
// The storage folder's marker of recordings in progress (RecordingMarker.h) is read first: a
// recording it names that no record names is brought back as a note when its file is a WAV file,
// and a record it names whose file does not exist is removed (the recording never reached the
// disk). Without the marker nothing proves that a record is this program's, so a record saved
// without a duration whose file is missing is only reported (FileMissing). The caller removes the
// marker once the catalogue is saved.
std::vector<RecoveredNote> RepairInterruptedRecordings(Catalogue& catalogue,
                                                       const GraphSettings& graph);

// The one message that names the recovered notes and their lengths.
QString RecoveredNotesText(const std::vector<RecoveredNote>& notes);

} // namespace tellamo
