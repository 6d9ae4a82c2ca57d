#include "dictaphone/RecordingRepair.h"

#include <cctype>
#include <fstream>

#include <QFile>

#include "audio/WavFormat.h"
#include "catalogue/Catalogue.h"
#include "catalogue/NoteTexts.h"
#include "common/Errors.h"
#include "common/FileSystem.h"
#include "common/Rounding.h"
#include "common/Translate.h"
#include "dictaphone/GraphFile.h"
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

// Cuts the file to fileSize and writes its header's sizes; 0 or the errno of the failure.
int RepairFile(FileSystem& fs, const std::string& path, std::uint64_t fileSize,
               std::uint64_t oldSize, std::uint32_t dataStart) {
    int fd = -1;
    int error = fs.OpenForUpdate(path, fd);
    if (error != 0) {
        return error;
    }
    if (oldSize > fileSize) {
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

} // namespace

std::vector<RecoveredNote> RepairInterruptedRecordings(Catalogue& catalogue,
                                                       const GraphSettings& graph) {
    std::vector<RecoveredNote> recovered;
    FileSystem& fs = catalogue.FileSys();
    for (const auto& record : catalogue.Notes().All()) {
        NoteRecord* note = record.get();
        // Stop completes the file before the record, so a record with its duration names a
        // whole file: with a lifetime of notes, looking at each one's file would cost the
        // start-up more than the rest of it together.
        if (note->Duration.value_or(0) != 0) {
            continue;
        }
        const QString wavPath = catalogue.Files().NoteWavPath(note->FileName);
        if (wavPath.isEmpty()) {
            continue;
        }
        const std::string path = QFile::encodeName(wavPath).toStdString();
        bool regular = false;
        std::uint64_t size = 0;
        if (fs.Status(path, regular, size) != 0 || !regular) {
            continue;
        }
        WaveInfo info;
        try {
            info = ReadWaveHeader(path);
        } catch (const TellamoError&) {
            continue; // not a file this repair understands; left as it is
        }
        const std::uint32_t blockAlign = (info.Stereo() ? 2u : 1u) * (info.SixteenBit() ? 2u : 1u);
        if (info.SampleRate == 0 || info.FileSize <= info.DataStart) {
            continue;
        }
        // What the file holds after its header, cut to whole samples and to what 32-bit sizes
        // can declare.
        std::uint64_t held =
            std::min<std::uint64_t>(info.FileSize - info.DataStart, 0xFFFFFFFFull - info.DataStart);
        held -= held % blockAlign;
        const bool headerShort =
            info.DataSize < held &&
            !ChunkFollows(path, info.DataStart + info.DataSize + (info.DataSize & 1u));
        // A record saved before its recording ended has no duration (0 once read back).
        const bool recordEmpty = held > 0;
        if (!headerShort && !recordEmpty) {
            continue;
        }
        const std::uint64_t data = headerShort ? held : info.DataSize;
        const std::uint64_t fileSize = info.DataStart + data;
        if (headerShort && RepairFile(fs, path, fileSize, info.FileSize, info.DataStart) != 0) {
            continue; // tried again at the next start
        }
        const std::int64_t durationMs =
            RoundHalfEven(static_cast<double>(data / blockAlign) * 1000.0 / info.SampleRate);
        catalogue.CompleteNote(note, RoundHalfEven32(static_cast<double>(fileSize) / 1024.0),
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
        recovered.push_back(
            {note->FileName, note->Description, note->Start, note->Duration.value_or(0)});
    }
    return recovered;
}

QString RecoveredNotesText(const std::vector<RecoveredNote>& notes) {
    QString text = TranslateText("These recordings were cut off and have been recovered:");
    for (const RecoveredNote& note : notes) {
        text += "\n" + StartText(note.Start) + "  " + ShortTime(note.DurationMs);
        if (!note.Description.empty()) {
            text += "  " + QString::fromStdString(note.Description);
        }
    }
    return text;
}

} // namespace tellamo
