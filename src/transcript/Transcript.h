#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tellamo {

// One recognised word and where it is in the note, in milliseconds from the note's start.
struct TimedWord {
    std::string Text; // UTF-8, as the recogniser spells it (lower case for the English model)
    std::int64_t StartMs = 0;
    std::int64_t EndMs = 0;
};

// One phrase: the words between two pauses, shown as one WebVTT cue.
struct Cue {
    std::int64_t StartMs = 0;
    std::int64_t EndMs = 0;
    std::vector<TimedWord> Words;
};

// What the transcript was made from: the WAV file's size and modification time when it was read.
// A transcript whose stamp differs from the WAV's present one belongs to sound that has changed.
struct SourceStamp {
    std::uint64_t Bytes = 0;
    std::int64_t ModifiedNs = 0; // nanoseconds since 1970, as the file system keeps them
    bool operator==(const SourceStamp&) const = default;
};

struct Transcript {
    std::vector<Cue> Cues;
    SourceStamp Source;
    bool HasSource = false; // false for a WebVTT file that another program wrote

    // Every word of every cue, in order.
    std::vector<TimedWord> Words() const;
    // The words joined by single blanks.
    std::string Text() const;
};

} // namespace tellamo
