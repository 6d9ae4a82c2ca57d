#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "transcript/Recogniser.h"
#include "transcript/Transcript.h"

namespace tellamo {

// Thrown out of a transcription whose stop check said yes; nothing has been written.
class TranscriptionStopped : public std::exception {
public:
    const char* what() const noexcept override { return "The transcription was stopped"; }
};

// Cuts a stream of 16 kHz sound into stretches of MinChunkMs to MaxChunkMs, each ended in the
// quietest part of its last stretch (a pause between phrases), so that the recogniser gets
// pieces it decodes well: whole phrases, neither one long utterance nor short blocks.
class PhraseCutter {
public:
    static constexpr std::int64_t MinChunkMs = 8'000;
    static constexpr std::int64_t MaxChunkMs = 20'000;
    // Receives a stretch of sound and where it begins in the note, in samples.
    using ChunkSink =
        std::function<void(const std::int16_t* samples, std::size_t count, std::uint64_t offset)>;

    explicit PhraseCutter(ChunkSink sink) : mSink(std::move(sink)) {}
    void Add(const std::int16_t* samples, std::size_t count);
    // Delivers what is left.
    void Finish();

private:
    void Cut(std::size_t samples);
    ChunkSink mSink;
    std::vector<std::int16_t> mPending;
    std::uint64_t mPendingOffset = 0;
};

// Groups recognised words into cues: a cue ends at a pause of PhrasePauseMs or more, or when it
// has run for MaxCueMs, so that a player shows a readable line at a time.
constexpr std::int64_t PhrasePauseMs = 500;
constexpr std::int64_t MaxCueMs = 7'000;
std::vector<Cue> MakeCues(const std::vector<RecognisedWord>& words);

// Told how much of the note has been read (0..1).
using TranscribeProgress = std::function<void(double fraction)>;
// Asked between chunks whether to stop (throws TranscriptionStopped then).
using StopCheck = std::function<bool()>;

// The transcript of 16 kHz mono samples.
Transcript TranscribeSamples(Recogniser& recogniser, const std::int16_t* samples, std::size_t count,
                             const StopCheck& stop = {});

// The transcript of a WAV file read by the program's reading rule (8- or 16-bit PCM, mono or
// stereo, any rate), mixed to mono and resampled to 16 kHz first, with the file's stamp.
// Throws TellamoError for a file that cannot be read, TranscriptionStopped when stopped.
Transcript TranscribeWav(Recogniser& recogniser, const std::string& wavPath,
                         const StopCheck& stop = {}, const TranscribeProgress& progress = {});

} // namespace tellamo
