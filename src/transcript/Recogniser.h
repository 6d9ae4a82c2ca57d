#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tellamo {

// A word the recogniser heard, in milliseconds from the start of the sound it was given, with
// the recogniser's posterior probability (0..1) where it has one (1 otherwise).
struct RecognisedWord {
    std::string Text;
    std::int64_t StartMs = 0;
    std::int64_t EndMs = 0;
    double Posterior = 1.0;
};

struct Recognition {
    std::vector<RecognisedWord> Best;         // the one-best word sequence, in order
    std::vector<RecognisedWord> Alternatives; // other words it considered, best first per time
};

// A speech recogniser of our own shape, so that another engine can stand in for PocketSphinx
// without the worker, the transcripts or the window knowing. One thread at a time: the worker
// owns its recogniser. Failures are thrown as TellamoError.
class Recogniser {
public:
    static constexpr unsigned SampleRate = 16000; // what Recognise takes: 16 kHz 16-bit mono

    virtual ~Recogniser() = default;
    // Decodes one stretch of speech whole (a phrase or a few, up to about 20 s: longer ones
    // decode worse, and so do short pieces fed as a stream).
    virtual Recognition Recognise(const std::int16_t* samples, std::size_t count) = 0;
};

} // namespace tellamo
