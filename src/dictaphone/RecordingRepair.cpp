#include "dictaphone/RecordingRepair.h"

#include <cctype>
#include <cerrno>
#include <fstream>
#include <unordered_map>
#include <unordered_set>

#include <QFile>

#include "audio/WavFormat.h"
#include "catalogue/Catalogue.h"
#include "catalogue/NoteTexts.h"
#include "common/ByteIO.h"
#include "common/Errors.h"
#include "common/FileSystem.h"
#include "common/Rounding.h"
#include "common/Translate.h"
#include "dictaphone/GraphFile.h"
#include "dictaphone/RecordingMarker.h"
#include "dictaphone/TellamoWav.h"

namespace tellamo {

namespace {

// Whether the bytes just after the declared data look like the tag of a chunk that follows it
// (a complete file with trailing chunks, which is not to be swallowed into the sound).
bool ChunkFollows(const std::string& path, std::uint64_t offset) {
    std::ifstream in(path, std::ios::binary);
    char tag[4] = {};
    if (!in.seekg(static_cast<std::streamoff>(offset)) || !in.read(tag, 4)) {
        return false;
    }
    for (const char c : tag) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != ' ') {
            return false;
        }
    }
    return true;
}

// The largest file whose sizes a RIFF header can declare.
constexpr std::uint64_t MaxWaveFileSize = 0xFFFFFFFFull;

// The RIFF chunk's size (offset 4). Throws TellamoError when the file cannot be read that far.
std::uint32_t ReadRiffSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char field[4] = {};
    if (!in.seekg(4) || !in.read(reinterpret_cast<char*>(field), 4)) {
        throw TellamoError("\"" + path + "\" ends before its RIFF size");
    }
    return GetU32(field);
}

// Writes the header's sizes for fileSize, after cutting the file to fileSize when cut is set;
// 0 or the errno of the failure.
int RepairFile(FileSystem& fs, const std::string& path, std::uint64_t fileSize, bool cut,
               std::uint32_t dataStart) {
    int fd = -1;
    int error = fs.OpenForUpdate(path, fd);
    if (error != 0) {
        return error;
    }
    if (cut) {
        error = fs.Truncate(fd, fileSize);
    }
    if (error == 0) {
        error = WriteWaveSizes(fs, fd, fileSize, dataStart);
    }
    if (error == 0) {
        error = fs.DataSync(fd);
    }
    const int closeError = fs.Close(fd);
    return error != 0 ? error : closeError;
}

std::string WavPathOf(const Catalogue& catalogue, const std::string& fileName) {
    const QString wavPath = catalogue.Files().NoteWavPath(fileName);
    return wavPath.isEmpty() ? std::string() : QFile::encodeName(wavPath).toStdString();
}

// What the marker of recordings in progress proves: a recording it names whose record never
// reached the catalogue on the disk gets its record back (the loop below then repairs its file
// like any other), and a record it names whose file is gone was made by this program for a file
// that never reached the disk: the record goes. Returns the file names of the records brought
// back.
std::unordered_set<std::string> ApplyRecordingMarker(Catalogue& catalogue,
                                                     std::vector<RecoveredNote>& report) {
    std::unordered_set<std::string> restored;
    FileSystem& fs = catalogue.FileSys();
    const std::vector<MarkedRecording> marked =
        ReadRecordingMarker(fs, QFile::encodeName(catalogue.Files().StorageFolder()).toStdString());
    if (marked.empty()) {
        return restored;
    }
    // One pass over the records in memory, not a file per note.
    std::unordered_map<std::string, NoteRecord*> named;
    for (const MarkedRecording& m : marked) {
        named.emplace(m.FileName, nullptr);
    }
    for (const auto& record : catalogue.Notes().All()) {
        if (const auto it = named.find(record->FileName); it != named.end() && !it->second) {
            it->second = record.get();
        }
    }
    std::unordered_set<const NoteRecord*> lost;
    for (const MarkedRecording& m : marked) {
        const std::string path = WavPathOf(catalogue, m.FileName);
        bool regular = false;
        std::uint64_t size = 0;
        const int status = fs.Status(path, regular, size);
        NoteRecord* note = named[m.FileName];
        if (note) {
            if (status == ENOENT && note->Duration.value_or(0) == 0 && !lost.count(note)) {
                lost.insert(note);
                report.push_back({note->FileName, note->Description, note->Start, 0, false,
                                  RepairKind::NeverReachedDisk});
            }
            continue;
        }
        if (status != 0 || !regular || restored.count(m.FileName)) {
            continue; // never made, or not a file this program wrote
        }
        WaveInfo info;
        try {
            info = ReadWaveHeader(path);
        } catch (const TellamoError&) {
            continue;
        }
        FolderNode* folder = catalogue.Folders().FindById(m.FolderID);
        NoteRecord* back =
            catalogue.AddFoundNote(folder ? folder : catalogue.NotesNode(), m.FileName, m.Start,
                                   info.SampleRate, info.SixteenBit() ? 16 : 8);
        back->Description = m.Description;
        back->FieldsChanged();
        named[m.FileName] = back;
        restored.insert(m.FileName);
    }
    if (!lost.empty()) {
        catalogue.Notes().RemoveIf([&lost](const NoteRecord& r) { return lost.count(&r) != 0; });
    }
    return restored;
}

} // namespace

std::vector<RecoveredNote> RepairInterruptedRecordings(Catalogue& catalogue,
                                                       const GraphSettings& graph) {
    std::vector<RecoveredNote> recovered;
    FileSystem& fs = catalogue.FileSys();
    const std::unordered_set<std::string> restored = ApplyRecordingMarker(catalogue, recovered);
    for (const auto& record : catalogue.Notes().All()) {
        NoteRecord* note = record.get();
        // Stop completes the file before the record, so a record with its duration names a
        // whole file: with a lifetime of notes, looking at each one's file would cost the
        // start-up more than the rest of it together.
        if (note->Duration.value_or(0) != 0) {
            continue;
        }
        const std::string path = WavPathOf(catalogue, note->FileName);
        if (path.empty()) {
            continue;
        }
        bool regular = false;
        std::uint64_t size = 0;
        const int status = fs.Status(path, regular, size);
        if (status == ENOENT) {
            // Saved before its recording ended, and no sound ever came: said, and the record
            // kept, since nothing proves that this program made it (a catalogue made by hand
            // names files that are simply elsewhere).
            recovered.push_back({note->FileName, note->Description, note->Start, 0, false,
                                 RepairKind::FileMissing});
            continue;
        }
        if (status != 0 || !regular) {
            continue;
        }
        WaveInfo info;
        std::uint32_t riffSize = 0;
        try {
            info = ReadWaveHeader(path);
            riffSize = ReadRiffSize(path);
        } catch (const TellamoError&) {
            continue; // not a file this repair understands; left as it is
        }
        const std::uint32_t blockAlign = (info.Stereo() ? 2u : 1u) * (info.SixteenBit() ? 2u : 1u);
        if (info.SampleRate == 0 || size < info.DataStart) {
            continue;
        }
        // What the file holds after its header in whole samples: never a size the header claims
        // beyond the file's end (a device that failed mid-recording leaves such a header).
        std::uint64_t held = size - info.DataStart;
        held -= held % blockAlign;
        // A complete file with chunks after its sound keeps them; its header is right.
        const bool chunkFollows =
            info.DataSize < held &&
            ChunkFollows(path, info.DataStart + info.DataSize + (info.DataSize & 1u));
        const std::uint64_t data = chunkFollows ? info.DataSize : held;
        // Past what 32-bit sizes can declare, the file is kept whole: its header declares the
        // most it can, and the sound beyond stays on the disk for the user to take out.
        const bool oversized = !chunkFollows && info.DataStart + data > MaxWaveFileSize;
        const std::uint64_t fileSize = std::min(info.DataStart + data, MaxWaveFileSize);
        const bool headerWrong = !chunkFollows && (info.DataSize != fileSize - info.DataStart ||
                                                   riffSize != fileSize - 8);
        const bool cut = !chunkFollows && !oversized && size > fileSize;
        const bool broughtBack = restored.count(note->FileName) != 0;
        if (!headerWrong && !cut && data == 0 && !broughtBack) {
            continue; // an empty recording with a sound header: nothing to repair or report
        }
        if ((headerWrong || cut) && RepairFile(fs, path, fileSize, cut, info.DataStart) != 0) {
            continue; // tried again at the next start
        }
        const std::int64_t durationMs =
            RoundHalfEven(static_cast<double>(data / blockAlign) * 1000.0 / info.SampleRate);
        catalogue.CompleteNote(
            note, RoundHalfEven32(static_cast<double>(oversized ? size : fileSize) / 1024.0),
            durationMs);
        const QString graphPath = catalogue.Files().NoteGraphPath(note->FileName);
        if (!graphPath.isEmpty()) {
            fs.Remove(QFile::encodeName(graphPath).toStdString()); // drawn from the empty header
            try {
                BuildGraphFile(path, QFile::encodeName(graphPath).toStdString(), graph, fs);
            } catch (const TellamoError&) {
                // the graph is built again when the note is shown
            }
        }
        recovered.push_back({note->FileName, note->Description, note->Start, durationMs, oversized,
                             RepairKind::Recovered});
    }
    return recovered;
}

QString RecoveredNotesText(const std::vector<RecoveredNote>& notes) {
    const auto heading = [](RepairKind kind) {
        switch (kind) {
        case RepairKind::Recovered:
            return TranslateText("These recordings were cut off and have been recovered:");
        case RepairKind::NeverReachedDisk:
            return TranslateText(
                "These recordings never reached the disk; their notes have been removed:");
        case RepairKind::FileMissing:
            return TranslateText(
                "These notes were never completed and their sound files are missing:");
        }
        return QString();
    };
    QString text;
    for (const RepairKind kind :
         {RepairKind::Recovered, RepairKind::NeverReachedDisk, RepairKind::FileMissing}) {
        bool first = true;
        for (const RecoveredNote& note : notes) {
            if (note.Kind != kind) {
                continue;
            }
            if (first) {
                text += (text.isEmpty() ? QString() : QStringLiteral("\n\n")) + heading(kind);
                first = false;
            }
            text += "\n" + StartText(note.Start);
            if (note.Kind == RepairKind::Recovered) {
                text += "  " + ShortTime(note.DurationMs);
            }
            if (!note.Description.empty()) {
                text += "  " + QString::fromStdString(note.Description);
            }
            if (note.KeptWhole) {
                text += "  " + TranslateText("(kept whole: larger than a WAV file can declare, so "
                                             "other programs may play only its first 4 GB)");
            }
        }
    }
    return text;
}

} // namespace tellamo
