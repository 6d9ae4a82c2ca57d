#include "dictaphone/GraphFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "audio/WavFormat.h"
#include "common/Errors.h"
#include "common/FileSystem.h"
#include "common/Rounding.h"

namespace tellamo {

WavSampleStream::WavSampleStream(const std::string& path, std::size_t bufferBytes)
    : mBuffer(WaveHeaderReadLimit) {
    // Non-blocking open so that a FIFO put in place of a note cannot hang the window; only
    // regular files are read.
    mFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (mFd < 0) {
        return;
    }
    struct stat st {};
    if (::fstat(mFd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(mFd);
        mFd = -1;
        return;
    }
    mHeader.FileSize = static_cast<std::uint64_t>(st.st_size);
    mReadableEnd = mHeader.FileSize;
    // Nothing past the size seen here is read, so a short note needs no more buffer than itself.
    mBuffer.resize(static_cast<std::size_t>(std::max<std::uint64_t>(
        WaveHeaderReadLimit, std::min<std::uint64_t>(bufferBytes, mHeader.FileSize))));
    Ensure(0, 0); // the first fill holds the header and the start of the data
    const std::size_t headerBytes = std::min<std::size_t>(mBufferLength, WaveHeaderReadLimit);
    mHeader.Readable = true;
    try {
        const WaveInfo info = ParseWaveHeader(
            std::string_view(reinterpret_cast<const char*>(mBuffer.data()), headerBytes),
            mHeader.FileSize, path);
        CheckWaveFormat(info, path, WaveUse::Graph);
        mHeader.DataStart = info.DataStart;
        mHeader.DataSize = info.DataSize;
        mHeader.SixteenBit = info.SixteenBitByLowByte();
    } catch (const TellamoError&) {
        // No data chunk where the reader looks for it, or a header no recorder writes: nothing
        // to draw.
        mHeader.DataSize = 0;
    }
    mReadableEnd =
        std::min<std::uint64_t>(mReadableEnd, std::uint64_t{mHeader.DataStart} + mHeader.DataSize);
}

WavSampleStream::~WavSampleStream() {
    if (mFd >= 0) {
        ::close(mFd);
    }
}

bool WavSampleStream::Ensure(std::uint64_t offset, std::size_t bytes) {
    if (offset >= mBufferStart && offset + bytes <= mBufferStart + mBufferLength &&
        (bytes > 0 || mBufferLength > 0)) {
        return true;
    }
    if (mFd < 0 || offset + bytes > mReadableEnd) {
        return false;
    }
    mBufferStart = offset;
    mBufferLength = 0;
    while (mBufferLength < mBuffer.size()) {
        const ssize_t n =
            ::pread(mFd, mBuffer.data() + mBufferLength, mBuffer.size() - mBufferLength,
                    static_cast<off_t>(mBufferStart + mBufferLength));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n < 0) {
                // A read error: what could not be read counts as silence.
                mReadableEnd = std::min<std::uint64_t>(mReadableEnd, mBufferStart + mBufferLength);
            }
            break;
        }
        mBufferLength += static_cast<std::size_t>(n);
    }
    if (mBufferStart + mBufferLength < mReadableEnd && mBufferLength < mBuffer.size()) {
        mReadableEnd = mBufferStart + mBufferLength; // the file shrank under us
    }
    return offset + bytes <= mBufferStart + mBufferLength;
}

namespace {
inline std::int32_t Decode(const unsigned char* p, bool sixteenBit) {
    if (sixteenBit) {
        return static_cast<std::int16_t>(p[0] | (p[1] << 8));
    }
    return static_cast<std::int32_t>(p[0]) - 128;
}
} // namespace

std::int32_t WavSampleStream::ReadSample(bool sixteenBit) {
    const std::size_t size = sixteenBit ? 2 : 1;
    const std::uint64_t at = mPos;
    mPos += size;
    if (at + size > mReadableEnd || !Ensure(at, size)) {
        return 0;
    }
    return Decode(mBuffer.data() + (at - mBufferStart), sixteenBit);
}

std::int64_t WavSampleStream::SkipAndSumMagnitudes(std::uint64_t count, bool sixteenBit) {
    const std::uint64_t size = sixteenBit ? 2 : 1;
    const std::uint64_t stride = 2 * size;
    std::int64_t sum = 0;
    while (count > 0) {
        const std::uint64_t first = mPos + size; // the sample after the skipped one
        if (first + size > mReadableEnd || !Ensure(first, size)) {
            mPos += stride * count; // beyond what the file holds: silence
            break;
        }
        const std::uint64_t available =
            std::min(mReadableEnd, mBufferStart + mBufferLength) - first - size;
        const std::uint64_t n = std::min(count, available / stride + 1);
        const unsigned char* p = mBuffer.data() + (first - mBufferStart);
        std::int64_t part = 0;
        if (sixteenBit) {
            for (std::uint64_t k = 0; k < n; ++k, p += 4) {
                part += std::abs(
                    static_cast<std::int32_t>(static_cast<std::int16_t>(p[0] | (p[1] << 8))));
            }
        } else {
            for (std::uint64_t k = 0; k < n; ++k, p += 2) {
                part += std::abs(static_cast<std::int32_t>(p[0]) - 128);
            }
        }
        sum += part;
        mPos += stride * n;
        count -= n;
    }
    return sum;
}

WavGraphInfo ReadWavInfo(const std::string& path) {
    return WavSampleStream(path, WaveHeaderReadLimit).Info();
}

double SteadyMilliseconds() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

WavGraphStats DrawWavGraph(GraphState& state, const GraphSettings& settings,
                           const std::string& wavPath, const MillisecondClock& clock) {
    WavGraphStats stats;
    if (!state.Target || state.Width <= 0 || state.Height <= 0) {
        return stats;
    }
    WavSampleStream stream(wavPath);
    const WavGraphInfo& info = stream.Info();
    if (info.DataSize == 0) {
        return stats;
    }
    const bool sixteenBit = info.SixteenBit;
    const std::int64_t size = sixteenBit ? 2 : 1;
    const std::int64_t dataStart = info.DataStart;
    const double step = static_cast<double>(info.DataSize) / state.Width;
    double pos = static_cast<double>(dataStart);
    state.Scale = state.Height / FullScale(sixteenBit);
    state.Pen = settings.VoiceColor;
    stream.Seek(static_cast<std::uint64_t>(dataStart));
    const double t0 = clock();

    for (int i = 0; i < state.Width; ++i) {
        const double deadline =
            t0 + static_cast<double>(RoundHalfEven(600.0 / state.Width * (i + 1)));
        // Magnitudes, not signed values: the signed mean of speech is close to zero in every
        // column, which would leave the stored picture flat.
        std::int64_t sum = std::abs(stream.ReadSample(sixteenBit));
        std::int64_t count = 1;
        pos += step;
        std::int64_t end = RoundHalfEven(pos);
        if (sixteenBit && (end - dataStart) % 2 != 0) {
            end -= 1;
        }
        // Every second sample after the first, as long as it begins before the column's end:
        // a column never borrows the next column's first sample, and the last one never reads
        // past the data.
        const auto at = static_cast<std::int64_t>(stream.Position());
        std::int64_t remaining =
            end - at > size ? (end - at - size + 2 * size - 1) / (2 * size) : 0;
        while (remaining > 0) {
            if (clock() >= deadline) {
                ++stats.ColumnsCutShort;
                break;
            }
            const std::int64_t n = std::min<std::int64_t>(remaining, ClockCheckSamples);
            sum += stream.SkipAndSumMagnitudes(static_cast<std::uint64_t>(n), sixteenBit);
            count += n;
            remaining -= n;
        }
        DrawLevelColumn(state, i, RoundHalfEven32(static_cast<double>(sum) / count), false);
        stream.Seek(static_cast<std::uint64_t>(end));
        ++stats.ColumnsDrawn;
    }
    return stats;
}

GraphBuildResult BuildGraphFile(const std::string& wavPath, const std::string& graphPath,
                                const GraphSettings& settings, FileSystem& fs,
                                const MillisecondClock& clock) {
    GraphBuildResult result{GraphBitmap(GraphFileWidth, GraphFileHeight), {}, false, {}};
    GraphState state;
    ClearGraph(state, &result.Bitmap, GraphFileWidth, GraphFileHeight, settings);
    result.Stats = DrawWavGraph(state, settings, wavPath, clock);
    if (result.Stats.ColumnsDrawn == 0) {
        return result;
    }
    try {
        SaveGraphFile(result.Bitmap, graphPath, fs);
        result.Saved = true;
    } catch (const TellamoError& e) {
        result.SaveError = e.what();
    }
    return result;
}

GraphBuildResult BuildGraphFile(const std::string& wavPath, const std::string& graphPath,
                                const GraphSettings& settings) {
    return BuildGraphFile(wavPath, graphPath, settings, RealFileSystem());
}

} // namespace tellamo
