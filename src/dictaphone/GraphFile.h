#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dictaphone/GraphBitmap.h"
#include "dictaphone/GraphSettings.h"
#include "dictaphone/TellamoGraph.h"

namespace tellamo {

class FileSystem;

// Where a note's samples are, by the graph reader's rule: offset 34's low byte above 8 means
// 16-bit samples; the "data" tag is searched from offset 36 and may begin at offset 288 at the
// latest; the data start follows its 4-byte size. Nothing else of the header is checked, so a
// stereo file is drawn as one channel of interleaved samples.
struct WavGraphInfo {
    bool Readable = false; // the file could be opened and its header read
    std::uint32_t DataStart = 0;
    std::uint32_t DataSize = 0; // 0 when there is no usable data chunk
    bool SixteenBit = false;
    std::uint64_t FileSize = 0;
};

// A WAV file read for its graph: one forward pass through a large buffer, with no system call
// per sample. It never fails: a missing or unreadable file, a header without a "data" tag in its
// window, and the part of the data that the file does not hold (cut short, or a read error) all
// read as silence, so that a damaged note still gets a graph and is not retried at every update.
class WavSampleStream {
public:
    explicit WavSampleStream(const std::string& path, std::size_t bufferBytes = 1 << 20);
    ~WavSampleStream();
    WavSampleStream(const WavSampleStream&) = delete;
    WavSampleStream& operator=(const WavSampleStream&) = delete;

    const WavGraphInfo& Info() const { return mHeader; }
    std::uint64_t Position() const { return mPos; }
    void Seek(std::uint64_t offset) { mPos = offset; }
    // The sample at the read position as a signed value (8-bit: byte - 128); advances by one
    // sample.
    std::int32_t ReadSample(bool sixteenBit);
    // count times: skip one sample, then add the magnitude of the next one. Advances past both.
    std::int64_t SkipAndSumMagnitudes(std::uint64_t count, bool sixteenBit);

private:
    // Makes [offset, offset + bytes) buffered if the file holds it; false if it does not.
    bool Ensure(std::uint64_t offset, std::size_t bytes);

    int mFd = -1;
    WavGraphInfo mHeader;
    std::uint64_t mPos = 0;
    std::uint64_t mReadableEnd = 0; // bytes from here on read as silence
    std::vector<unsigned char> mBuffer;
    std::uint64_t mBufferStart = 0;
    std::size_t mBufferLength = 0;
};

WavGraphInfo ReadWavInfo(const std::string& path);

// Milliseconds of a monotonic clock, with their fraction: a clock that only counts whole
// milliseconds would start the budget up to a millisecond late and so rob the first column of
// most of its slot. Injectable so that tests decide when time runs out.
using MillisecondClock = std::function<double()>;
double SteadyMilliseconds();

struct WavGraphStats {
    int ColumnsDrawn = 0;
    // Columns whose time slot ran out before all their samples were gathered.
    int ColumnsCutShort = 0;
};

// Draws the WAV's level over the current target's whole width, as one-directional bars in the
// voice colour: each column the mean magnitude of its first sample and every second sample
// after it up to the column's end. The drawing has a budget of 600 ms spread evenly over the
// columns; a column whose slot is over keeps what it has gathered. The clock is read before each
// block of ClockCheckSamples samples rather than before every sample, which keeps the clock off the
// hot path and lets a column overrun its slot by one block at most.
constexpr std::uint64_t ClockCheckSamples = 4096;
WavGraphStats DrawWavGraph(GraphState& state, const GraphSettings& settings,
                           const std::string& wavPath,
                           const MillisecondClock& clock = SteadyMilliseconds);

struct GraphBuildResult {
    GraphBitmap Bitmap;
    WavGraphStats Stats;
    bool Saved = false;
    std::string SaveError; // why the picture could not be saved; empty when it was or needn't be
};

// Draws the note's graph from its WAV file into a fresh 600 x 256 picture in the background
// colour and saves it at graphPath, replacing any file there. The drawing uses a state of its
// own, so the caller's live graph state is left alone. A note without sound (no file, or no
// data) gets the plain picture in memory and no file: there is nothing worth keeping, and a
// folder that cannot be written is not tried for it. It never throws: a missing or damaged WAV
// file is not an error (see WavSampleStream), and a failed save is told in SaveError with the
// picture still returned.
GraphBuildResult BuildGraphFile(const std::string& wavPath, const std::string& graphPath,
                                const GraphSettings& settings, FileSystem& fs,
                                const MillisecondClock& clock = SteadyMilliseconds);
GraphBuildResult BuildGraphFile(const std::string& wavPath, const std::string& graphPath,
                                const GraphSettings& settings);

} // namespace tellamo
