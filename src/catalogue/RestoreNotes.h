#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <QString>
#include <QStringList>

namespace tellamo {

class Catalogue;
struct FolderNode;
struct NoteRecord;

// What a WAV file's header says, as far as restoring a note needs it.
struct FoundWave {
    std::uint16_t SampleRate = 0;
    bool SixteenBit = false;
    std::uint16_t Channels = 1;  // 2 for stereo, otherwise 1
    std::uint64_t DataStart = 0; // offset of the first sample byte
    std::uint64_t DataSize = 0;  // the data chunk's declared size in bytes
    std::uint64_t FileSize = 0;
};

// Reads the header of the WAV file at path; throws TellamoError with the user's words when the
// file cannot be opened or is no WAV file. The program gives its WAV reader, so that restoring
// never plays a file nor touches the recorder's format, and can run while a note is recorded.
using WaveHeaderReader = std::function<FoundWave(const std::string& path)>;

struct RestoreResult {
    FolderNode* Found = nullptr;       // the new folder, selected
    std::vector<NoteRecord*> Restored; // in the order they were added
    int BadNames = 0;                  // WAV files whose names are not six digits and ".wav"
    int NotFiles = 0;                  // folders, links and other entries named like WAV files
    int Unreadable = 0;                // note files whose header could not be read
    QStringList UnreadableReasons;     // why, for the first few of them
    QString Error;                     // what ended the restore early; empty when it ran through
    QString SaveError;                 // empty when the catalogue was saved

    // How many entries were passed over and why, for the restore's one closing message; empty
    // when there were none.
    QString SkippedText() const;
};

// Brings every WAV file of the storage folder that no note uses back into the catalogue: a new
// folder "Found" under Notes, selected, with one note per file (empty description, the file's
// modification time as start, format, size and length from its header). Only files named like
// the program's own (six digits and ".wav") become notes: any other name would give a note
// whose sound file does not exist; the program's own e-mail copies (six digits, "p.wav") are
// passed over without a word. A file whose header cannot be read is skipped and counted, and
// the restore goes on with the rest. The note added last before the restore stays the one a
// running recording completes.
RestoreResult RestoreNotes(Catalogue& catalogue, const WaveHeaderReader& readHeader);

// How many files of the storage folder RestoreNotes would make notes of, by their names and
// kinds alone (no header is read): a start that finds no catalogue beside them can offer it.
int CountRestorableWavFiles(const QString& storageFolder);

// The length of the sound a header describes, in whole milliseconds: sample frames (a frame
// holds one sample per channel) over the rate. Data beyond the end of the file does not count.
std::int64_t FoundWaveDurationMs(const FoundWave& wave);

} // namespace tellamo
