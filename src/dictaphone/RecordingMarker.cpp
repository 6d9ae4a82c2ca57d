#include "dictaphone/RecordingMarker.h"

#include <cerrno>
#include <charconv>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "catalogue/NoteRecord.h"
#include "catalogue/Storage.h"
#include "common/FileSystem.h"
#include "common/Utf8.h"

namespace tellamo {

namespace {

// A marker names a handful of recordings; a larger file is not ours.
constexpr std::size_t MaxMarkerBytes = 16 * 1024;
constexpr std::size_t MaxMarkedRecordings = 64;
constexpr const char* MarkerHeader = "Tellamo recording 1";

std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r' || c == '\t' || c == '\0') {
            c = ' ';
        }
    }
    return text;
}

template <typename T> bool ParseNumber(std::string_view text, T& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && ptr == end && !text.empty();
}

// Reads at most limit bytes of the regular file at path, never through a link and never
// waiting on a FIFO; false when it is anything else or larger.
bool ReadSmallRegularFile(const std::string& path, std::size_t limit, std::string& content) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              static_cast<std::uint64_t>(st.st_size) <= limit;
    content.clear();
    char buffer[4096];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
        ok = content.size() <= limit; // a file that grows while it is read
    }
    ::close(fd);
    return ok;
}

} // namespace

void WriteRecordingMarker(FileSystem& fs, const std::string& folder,
                          const std::vector<MarkedRecording>& recordings) {
    const std::string target = folder + RecordingMarkerName;
    if (recordings.empty()) {
        RemoveRecordingMarker(fs, folder);
        return;
    }
    std::string text = std::string(MarkerHeader) + "\n";
    for (const MarkedRecording& r : recordings) {
        text += r.FileName + "\t" + std::to_string(r.Start) + "\t" + std::to_string(r.FolderID) +
                "\t" + OneLine(r.Description) + "\n";
    }
    ReplaceFileDurably(fs, target, text, target + ".new");
}

std::vector<MarkedRecording> ReadRecordingMarker(FileSystem& fs, const std::string& folder) {
    std::vector<MarkedRecording> recordings;
    const std::string path = folder + RecordingMarkerName;
    bool regular = false;
    std::uint64_t size = 0;
    if (fs.Status(path, regular, size) != 0 || !regular || size > MaxMarkerBytes) {
        return recordings;
    }
    std::string text;
    if (!ReadSmallRegularFile(path, MaxMarkerBytes, text)) {
        return recordings;
    }
    std::size_t pos = 0;
    bool first = true;
    while (pos < text.size() && recordings.size() < MaxMarkedRecordings) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size(); // a line cut short is still checked field by field
        }
        const std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        if (first) {
            first = false;
            if (line != MarkerHeader) {
                return {};
            }
            continue;
        }
        std::string_view fields[4];
        std::size_t start = 0;
        int count = 0;
        for (; count < 3; ++count) {
            const std::size_t tab = line.find('\t', start);
            if (tab == std::string_view::npos) {
                break;
            }
            fields[count] = line.substr(start, tab - start);
            start = tab + 1;
        }
        if (count < 3) {
            continue;
        }
        fields[3] = line.substr(start);
        MarkedRecording r;
        r.FileName = std::string(fields[0]);
        // Only a plain note name in this folder: never a path, never a name the catalogue
        // could not hold.
        if (r.FileName.size() > NoteRecord::FileNameBytes ||
            !Storage::IsSafeNoteFileName(r.FileName) || !ParseNumber(fields[1], r.Start) ||
            !ParseNumber(fields[2], r.FolderID)) {
            continue;
        }
        r.Description = CutUtf8(std::string(fields[3]), NoteRecord::DescriptionBytes);
        recordings.push_back(std::move(r));
    }
    return recordings;
}

int RemoveRecordingMarker(FileSystem& fs, const std::string& folder) {
    const int error = fs.Remove(folder + RecordingMarkerName);
    if (error == 0) {
        // So that a power cut cannot bring back a marker the catalogue no longer needs.
        fs.SyncDirectory(folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder);
    }
    return error;
}

} // namespace tellamo
