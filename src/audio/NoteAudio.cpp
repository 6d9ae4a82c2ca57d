#include "audio/NoteAudio.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <soxr.h>
#include <unistd.h>

#include "audio/WavFormat.h"
#include "common/ByteIO.h"
#include "common/Errors.h"
#include "common/Files.h"
#include "common/Rounding.h"

namespace tellamo {

namespace {
constexpr unsigned TargetRate = 8000;
constexpr std::size_t ReadChunk = 64 * 1024;

struct SoxrDeleter {
    void operator()(soxr_t s) const { soxr_delete(s); }
};
using Resampler = std::unique_ptr<std::remove_pointer_t<soxr_t>, SoxrDeleter>;

void Deliver(const float* samples, std::size_t count, std::vector<std::int16_t>& buffer,
             const SampleSink& sink) {
    buffer.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::int64_t v = RoundHalfEven(samples[i]);
        buffer[i] = static_cast<std::int16_t>(std::clamp<std::int64_t>(v, -32768, 32767));
    }
    if (count > 0) {
        sink(buffer.data(), count);
    }
}
} // namespace

void ReadNoteAs8kHzMono(const std::string& path, const SampleSink& sink) {
    ReadNoteAsMono(path, TargetRate, sink);
}

void ReadNoteAsMono(const std::string& path, unsigned targetRate, const SampleSink& sink,
                    const ReadProgress& progress) {
    const WaveInfo info = ReadWaveHeader(path, WaveUse::Play);
    const int bytesPerSample = info.SixteenBit() ? 2 : 1;
    const int channels = info.Channels;
    const std::size_t frameBytes = info.BlockAlign;
    std::uint64_t remaining = info.HeldDataSize();
    const std::uint64_t total = remaining;
    if (targetRate == 0) {
        targetRate = info.SampleRate;
    }

    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        throw TellamoError("\"" + path + "\": " + SystemErrorText(errno));
    }
    // The reading rule never looks at the format tag: right for the program's own notes, but a
    // float or compressed file read that way would be converted into loud noise. Refuse those.
    unsigned char format[2] = {};
    if (::pread(file.Get(), format, 2, 20) != 2 ||
        (GetU16(format) != 1 && GetU16(format) != 0xFFFE)) {
        throw TellamoError("\"" + path + "\" is not an 8- or 16-bit PCM WAV file");
    }

    Resampler resampler;
    if (info.SampleRate != targetRate) {
        soxr_error_t error = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        resampler.reset(
            soxr_create(info.SampleRate, targetRate, 1, &error, &io, &quality, nullptr));
        if (error != nullptr || !resampler) {
            throw TellamoError(std::string("Cannot set up the resampler: ") +
                               (error ? error : "unknown error"));
        }
    }

    std::vector<unsigned char> raw(ReadChunk - ReadChunk % frameBytes);
    std::vector<float> mono;
    std::vector<float> resampled;
    std::vector<std::int16_t> out;
    std::uint64_t offset = info.DataStart;
    auto feed = [&](const float* in, std::size_t count) {
        if (!resampler) {
            Deliver(in, count, out, sink);
            return;
        }
        // Room for the whole output of this input plus the filter's pending tail.
        resampled.resize(count * targetRate / info.SampleRate + 1024);
        std::size_t consumed = 0;
        do {
            std::size_t used = 0;
            std::size_t produced = 0;
            const soxr_error_t error =
                soxr_process(resampler.get(), in ? in + consumed : nullptr, count - consumed, &used,
                             resampled.data(), resampled.size(), &produced);
            if (error != nullptr) {
                throw TellamoError(std::string("Resampling failed: ") + error);
            }
            if (in != nullptr && used == 0 && produced == 0) {
                throw TellamoError("Resampling failed: the resampler made no progress");
            }
            consumed += used;
            Deliver(resampled.data(), produced, out, sink);
            if (in == nullptr && produced == 0) {
                break; // the tail is flushed
            }
        } while (in == nullptr || consumed < count);
    };

    while (remaining > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(raw.size(), remaining));
        const ssize_t got = ::pread(file.Get(), raw.data(), want, static_cast<off_t>(offset));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw TellamoError("\"" + path + "\": " + SystemErrorText(errno));
        }
        if (got == 0) {
            break; // the file shrank while it was read
        }
        const std::size_t whole =
            static_cast<std::size_t>(got) - static_cast<std::size_t>(got) % frameBytes;
        if (whole == 0) {
            break;
        }
        const std::size_t frames = whole / frameBytes;
        mono.resize(frames);
        for (std::size_t f = 0; f < frames; ++f) {
            float sum = 0;
            for (int c = 0; c < channels; ++c) {
                const unsigned char* p =
                    &raw[f * frameBytes + static_cast<std::size_t>(c * bytesPerSample)];
                sum += bytesPerSample == 2
                           ? static_cast<float>(static_cast<std::int16_t>(p[0] | (p[1] << 8)))
                           : static_cast<float>((p[0] - 128) * 256);
            }
            mono[f] = sum / static_cast<float>(channels);
        }
        feed(mono.data(), frames);
        offset += whole;
        remaining -= whole;
        if (progress) {
            progress(static_cast<double>(total - remaining) / static_cast<double>(total));
        }
    }
    if (resampler) {
        feed(nullptr, 0);
    }
}

} // namespace tellamo
