#include "export/ConvertCtrl.h"

#include <atomic>
#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include "codec/TrueSpeechWav.h"
#include "common/Errors.h"
#include "export/NoteAudio.h"

namespace tellamo {

TCompressorList::TCompressorList() {
    Items.emplace_back(TConvertCtrl::TrueSpeechName);
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

namespace {
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::string TemporaryNameBeside(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return dir + "." + name + ".tellamo-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter++) + ".tmp";
}
} // namespace

void TConvertCtrl::StartConvert() {
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
        ReadNoteAs8kHzMono(source, [&](const std::int16_t* samples, std::size_t count) {
            encoder.Write(samples, count);
        });
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

} // namespace tellamo
