#include "transcript/TranscriptFiles.h"

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>

#include "common/Errors.h"
#include "common/FileSystem.h"
#include "common/Files.h"
#include "transcript/WebVtt.h"

namespace tellamo {

std::string TranscriptPathFor(const std::string& wavPath) {
    constexpr std::string_view Wav = ".wav";
    if (wavPath.size() > Wav.size() &&
        std::string_view(wavPath).substr(wavPath.size() - Wav.size()) == Wav) {
        return wavPath.substr(0, wavPath.size() - Wav.size()) + ".vtt";
    }
    return wavPath + ".vtt";
}

SourceStamp StampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        throw TellamoError("Cannot look at \"" + path + "\": " + SystemErrorText(errno));
    }
    return {static_cast<std::uint64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

bool TranscriptIsCurrent(const std::string& wavPath) {
    try {
        const SourceStamp sound = StampOf(wavPath);
        const FilePrefix prefix = ReadFilePrefix(TranscriptPathFor(wavPath), WebVttSourceBytes + 1);
        const std::optional<SourceStamp> made = ParseWebVttSource(prefix.Bytes);
        return made && *made == sound;
    } catch (const TellamoError&) {
        return false;
    }
}

void WriteTranscriptFile(FileSystem& fs, const std::string& vttPath, const Transcript& transcript) {
    ReplaceFileDurably(fs, vttPath, FormatWebVtt(transcript), vttPath + ".new");
}

Transcript ReadTranscriptFile(const std::string& vttPath) {
    // No more than the file holds: a buffer of the largest size would be cleared for every
    // transcript read (one byte beyond tells a file that is too large).
    const std::uint64_t size = StampOf(vttPath).Bytes;
    const FilePrefix file = ReadFilePrefix(
        vttPath, static_cast<std::size_t>(std::min<std::uint64_t>(size, MaxWebVttBytes)) + 1);
    return ParseWebVtt(file.Bytes, vttPath);
}

} // namespace tellamo
