#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tellamo {

// Receives the next piece of 16-bit mono sound (at the rate the reading asked for).
using SampleSink = std::function<void(const std::int16_t* samples, std::size_t count)>;

// Reads a note's WAV file by the program's reading rule (8- or 16-bit PCM, mono or stereo, any
// rate from 1000 to 65535 Hz; other sample formats are refused rather than misread), mixes stereo
// down to mono and resamples it to 8000 Hz with libsoxr at high quality, without dither. The sound
// is delivered in pieces, so that a long note never has to be held in memory. A data chunk that
// claims more bytes than the file holds is read up to the end of the file. Throws TellamoError with
// a user-facing text when the file cannot be read or is not such a WAV file.
void ReadNoteAs8kHzMono(const std::string& path, const SampleSink& sink);

// Told how much of the note has been read (0..1) after each piece; it may throw to stop reading.
using ReadProgress = std::function<void(double fraction)>;

// The same reading, mixing and checks, with the sound delivered at targetRate, or at the note's
// own rate when targetRate is 0 (for encoders that resample by themselves).
void ReadNoteAsMono(const std::string& path, unsigned targetRate, const SampleSink& sink,
                    const ReadProgress& progress = {});

} // namespace tellamo
