#include "transcript/NoteIndexing.h"

#include <algorithm>
#include <cstdio>

#include <unistd.h>

#include "transcript/SearchIndex.h"
#include "transcript/TranscriptFiles.h"

namespace tellamo {

NoteTranscriptState RefreshNoteInIndex(SearchIndex* index, const std::string& fileName,
                                       const std::string& wavPath, const std::string& description) {
    if (wavPath.empty()) {
        return NoteTranscriptState::NoSound;
    }
    if (TranscriptIsCurrent(wavPath)) {
        if (index != nullptr) {
            const std::string vttPath = TranscriptPathFor(wavPath);
            const SourceStamp stamp = StampOf(vttPath);
            const std::optional<IndexEntry> known = index->Get(fileName);
            if (!known || known->TranscriptStamp != stamp || known->Description != description) {
                index->Put(fileName, {ReadTranscriptFile(vttPath).Text(), description, stamp});
            }
        }
        return NoteTranscriptState::Current;
    }
    if (index != nullptr) {
        // A stale transcript's words stay searchable until the new one replaces them.
        index->SetDescription(fileName, description);
    }
    return ::access(wavPath.c_str(), F_OK) == 0 ? NoteTranscriptState::NeedsTranscript
                                                : NoteTranscriptState::NoSound;
}

std::string ClockTime(std::int64_t ms) {
    ms = std::max<std::int64_t>(ms, 0);
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02d:%02d.%03d", static_cast<long long>(ms / 3'600'000),
                  static_cast<int>(ms / 60'000 % 60), static_cast<int>(ms / 1000 % 60),
                  static_cast<int>(ms % 1000));
    return text;
}

} // namespace tellamo
