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

CompressorList::CompressorList() {
    mItems.emplace_back(ConvertCtrl::TrueSpeechName);
    mItems.emplace_back(ConvertCtrl::OpusName);
}

const TCompressor& CompressorList::Item(int index) const {
    if (index < 0 || index >= Count()) {
        throw TellamoError("There is no audio compressor number " + std::to_string(index));
    }
    return mItems[static_cast<std::size_t>(index)];
}

void CompressorList::SetSelection(int index) {
    if (index < -1 || index >= Count()) {
        throw TellamoError("There is no audio compressor number " + std::to_string(index));
    }
    mSelected = index;
}

ConvertCtrl::ConvertCtrl(FileSystem& fileSystem) : mFiles(fileSystem) {}

ConvertCtrl::ConvertCtrl(FileSystem& fileSystem, CompressorList compressors)
    : mFiles(fileSystem), mCompressors(std::move(compressors)) {}

namespace {
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}
} // namespace

void ConvertCtrl::StartConvert() {
    if (mCompressors.Selection() >= 0 &&
        mCompressors.Item(mCompressors.Selection()).Name() == OpusName) {
        StartOpus();
        return;
    }
    if (mFormat != TargetFormatWav) {
        throw TellamoError("The converter can only write WAV files (target format 2), not format " +
                           std::to_string(mFormat));
    }
    if (mCompressors.Selection() < 0) {
        throw TellamoError("No audio compressor is selected for the conversion");
    }
    if (mSource.isEmpty()) {
        throw TellamoError("No source file is given for the conversion");
    }
    if (mTarget.isEmpty()) {
        throw TellamoError("No target file is given for the conversion");
    }
    const std::string source = QFile::encodeName(mSource).toStdString();
    const std::string target = QFile::encodeName(mTarget).toStdString();
    // Writing over the source would replace the note's own sound with its compressed copy.
    if (SameFile(source, target)) {
        throw TellamoError("\"" + target + "\" is the file being converted; choose another target");
    }

    truespeech::WavEncoder encoder;
    try {
        ReadNoteAsMono(
            source, 8000,
            [&](const std::int16_t* samples, std::size_t count) { encoder.Write(samples, count); },
            mProgress);
    } catch (const std::length_error&) {
        throw TellamoError("\"" + source + "\" is too long for one TrueSpeech WAV file");
    }
    const std::string file = encoder.Finish();

    const std::string temporary = TemporaryNameBeside(target);
    try {
        ReplaceFileDurably(mFiles, target, file, temporary);
    } catch (const TellamoError& e) {
        mFiles.Remove(temporary);
        // Name the file the user asked for, not the temporary one.
        std::string reason = e.what();
        const std::string prefix = "\"" + temporary + "\": ";
        if (reason.rfind(prefix, 0) == 0) {
            reason.erase(0, prefix.size());
        }
        throw TellamoError("Cannot write \"" + target + "\": " + reason);
    }
}

void ConvertCtrl::StartOpus() {
    if (mFormat != TargetFormatOgg) {
        throw TellamoError(
            "The Ogg Opus compressor writes Ogg files (target format 3), not format " +
            std::to_string(mFormat));
    }
    if (mSource.isEmpty() || mTarget.isEmpty()) {
        throw TellamoError("No source or target file is given for the conversion");
    }
    const std::string source = QFile::encodeName(mSource).toStdString();
    const std::string target = QFile::encodeName(mTarget).toStdString();
    if (SameFile(source, target)) {
        throw TellamoError("\"" + target + "\" is the file being converted; choose another target");
    }
    EncodeOggOpus(mFiles, source, target, mProgress);
}

} // namespace tellamo
