#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QString>

#include "common/OleDate.h"

namespace tellamo {

class Catalogue;
struct GraphSettings;

// A note whose recording was cut off (the program killed, the power gone) and made whole again.
struct RecoveredNote {
    std::string FileName;
    std::string Description;
    LocalTimeMs Start = 0;
    std::int64_t DurationMs = 0;
    // Larger than a WAV header can declare: the header declares the most it can and nothing of
    // the file was cut.
    bool KeptWhole = false;
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
std::vector<RecoveredNote> RepairInterruptedRecordings(Catalogue& catalogue,
                                                       const GraphSettings& graph);

// The one message that names the recovered notes and their lengths.
QString RecoveredNotesText(const std::vector<RecoveredNote>& notes);

} // namespace tellamo
