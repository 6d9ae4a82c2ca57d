// libFuzzer target for the transcript reader: a .vtt in the storage folder is outside input.
// Any bytes parse without a crash or undefined behaviour, every word lies within its cue with
// starts that never run backwards, and what is read writes out and reads back the same.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/Errors.h"
#include "transcript/WebVtt.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tellamo;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)ParseWebVttSource(bytes);
    try {
        const Transcript t = ParseWebVtt(bytes, "fuzz.vtt");
        for (const Cue& cue : t.Cues) {
            std::int64_t previous = cue.StartMs;
            if (cue.EndMs < cue.StartMs || cue.Words.empty()) {
                std::abort();
            }
            for (const TimedWord& w : cue.Words) {
                if (w.Text.empty() || w.StartMs < previous || w.StartMs > cue.EndMs) {
                    std::abort();
                }
                previous = w.StartMs;
            }
        }
        const Transcript again = ParseWebVtt(FormatWebVtt(t), "again.vtt");
        if (again.Text() != t.Text() || again.Cues.size() != t.Cues.size()) {
            std::abort();
        }
    } catch (const TellamoError&) {
    }
    return 0;
}
