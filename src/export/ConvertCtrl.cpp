#include "export/ConvertCtrl.h"

#include <atomic>
#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include "audio/NoteAudio.h"
#include "codec/TrueSpeechWav.h"
#include "common/Errors.h"
#include "export/OggOpus.h"

namespace tellamo {

TCompressorList::TCompressorList() {
    Items.emplace_back(TConvertCtrl::TrueSpeechName);
    Items.emplace_back(TConvertCtrl::OpusName);
}

const TCompressor& TCompressorList::Item(int index) const {
    if (index < 0 || index >= Count()) {
        throw TellamoError("There is no audio compressor number " + std::to_string(index));
    }
    return Items[static_cast<std::size_t>(index)];
}

void TCompressorList::SetSelection(int index) {
    if (index < -1 || index >= Count()) {
        throw TellamoError("There is no audio compressor number " + std::to_string(index));
    }
    Selected = index;
}

TConvertCtrl::TConvertCtrl(FileSystem& fileSystem) : Files(fileSystem) {}

TConvertCtrl::TConvertCtrl(FileSystem& fileSystem, TCompressorList compressors)
    : Files(fileSystem), Compressors(std::move(compressors)) {}

namespace {
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}
} // namespace

void TConvertCtrl::StartConvert() {
    if (Compressors.Selection() >= 0 &&
        Compressors.Item(Compressors.Selection()).Name() == OpusName) {
        StartOpus();
        return;
    }
    if (Format != TargetFormatWav) {
        throw TellamoError("The converter can only write WAV files (target format 2), not format " +
                           std::to_string(Format));
    }
    if (Compressors.Selection() < 0) {
        throw TellamoError("No audio compressor is selected for the conversion");
    }
    if (Source.isEmpty()) {
        throw TellamoError("No source file is given for the conversion");
    }
    if (Target.isEmpty()) {
        throw TellamoError("No target file is given for the conversion");
    }
    const std::string source = QFile::encodeName(Source).toStdString();
    const std::string target = QFile::encodeName(Target).toStdString();
    // Writing over the source would replace the note's own sound with its compressed copy.
    if (SameFile(source, target)) {
        throw TellamoError("\"" + target + "\" is the file being converted; choose another target");
    }

    truespeech::WavEncoder encoder;
    try {
        ReadNoteAsMono(
            source, 8000,
            [&](const std::int16_t* samples, std::size_t count) { encoder.Write(samples, count); },
            Progress);
    } catch (const std::length_error&) {
        throw TellamoError("\"" + source + "\" is too long for one TrueSpeech WAV file");
    }
    const std::string file = encoder.Finish();

    const std::string temporary = TemporaryNameBeside(target);
    try {
        ReplaceFileDurably(Files, target, file, temporary);
    } catch (const TellamoError& e) {
        Files.Remove(temporary);
        // Name the file the user asked for, not the temporary one.
        std::string reason = e.what();
        const std::string prefix = "\"" + temporary + "\": ";
        if (reason.rfind(prefix, 0) == 0) {
            reason.erase(0, prefix.size());
        }
        throw TellamoError("Cannot write \"" + target + "\": " + reason);
    }
}

void TConvertCtrl::StartOpus() {
    if (Format != TargetFormatOgg) {
        throw TellamoError(
            "The Ogg Opus compressor writes Ogg files (target format 3), not format " +
            std::to_string(Format));
    }
    if (Source.isEmpty() || Target.isEmpty()) {
        throw TellamoError("No source or target file is given for the conversion");
    }
    const std::string source = QFile::encodeName(Source).toStdString();
    const std::string target = QFile::encodeName(Target).toStdString();
    if (SameFile(source, target)) {
        throw TellamoError("\"" + target + "\" is the file being converted; choose another target");
    }
    EncodeOggOpus(Files, source, target, Progress);
}

} // namespace tellamo
