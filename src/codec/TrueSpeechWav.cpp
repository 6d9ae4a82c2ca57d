#include "codec/TrueSpeechWav.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace tellamo::truespeech {

namespace {
void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}
// The 32-bit size fields limit a file to this many frames.
constexpr std::uint32_t MaxFrames = (0xFFFFFFFFu - WavHeaderSize) / FrameBytes;
} // namespace

std::array<std::uint8_t, WavHeaderSize> MakeWavHeader(std::uint32_t frameCount) {
    if (frameCount > MaxFrames) {
        throw std::length_error("Too much sound for one TrueSpeech WAV file");
    }
    const std::uint32_t dataSize = frameCount * FrameBytes;
    std::array<std::uint8_t, WavHeaderSize> h{};
    std::memcpy(&h[0x00], "RIFF", 4);
    Put32(&h[0x04], static_cast<std::uint32_t>(WavHeaderSize - 8) + dataSize);
    std::memcpy(&h[0x08], "WAVE", 4);
    std::memcpy(&h[0x0C], "fmt ", 4);
    Put32(&h[0x10], 50);
    Put16(&h[0x14], 0x0022);
    Put16(&h[0x16], 1);
    Put32(&h[0x18], SampleRate);
    Put32(&h[0x1C], 1067); // 8000 / 240 * 32 bytes per second, rounded up
    Put16(&h[0x20], FrameBytes);
    Put16(&h[0x22], 1);
    Put16(&h[0x24], 32);
    Put16(&h[0x26], 1); // revision: TrueSpeech 8.5
    Put16(&h[0x28], FrameSamples);
    std::memcpy(&h[0x46], "fact", 4);
    Put32(&h[0x4A], 4);
    Put32(&h[0x4E], frameCount * FrameSamples);
    std::memcpy(&h[0x52], "data", 4);
    Put32(&h[0x56], dataSize);
    return h;
}

WavEncoder::WavEncoder() : mData(WavHeaderSize, '\0') {}

void WavEncoder::Write(const std::int16_t* pcm, std::size_t count) {
    while (count > 0) {
        const std::size_t take =
            std::min(count, static_cast<std::size_t>(FrameSamples - mPendingCount));
        std::copy(pcm, pcm + take, mPending + mPendingCount);
        mPendingCount += static_cast<int>(take);
        pcm += take;
        count -= take;
        if (mPendingCount == FrameSamples) {
            if (mFrames >= MaxFrames) {
                throw std::length_error("Too much sound for one TrueSpeech WAV file");
            }
            const FrameBytesArray bytes = mCodec.EncodeFrameBytes(mPending);
            mData.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            ++mFrames;
            mPendingCount = 0;
        }
    }
}

std::string WavEncoder::Finish() {
    if (mPendingCount > 0) {
        const std::int16_t silence[FrameSamples] = {};
        Write(silence, static_cast<std::size_t>(FrameSamples - mPendingCount));
    }
    const auto header = MakeWavHeader(mFrames);
    std::memcpy(mData.data(), header.data(), header.size());
    std::string out = std::move(mData);
    mData.assign(WavHeaderSize, '\0');
    mFrames = 0;
    mCodec = Encoder();
    return out;
}

} // namespace tellamo::truespeech
