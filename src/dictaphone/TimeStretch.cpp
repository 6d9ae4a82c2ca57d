#include "dictaphone/TimeStretch.h"

#include <algorithm>
#include <cmath>

#include <rubberband/RubberBandStretcher.h>

#include "common/ByteIO.h"

namespace tellamo {

namespace {
// Frames handed to the stretcher, and taken from it, at a time.
constexpr std::size_t Block = 1024;

// The faster engine: the finer one costs several times the CPU and speech does not need it.
// No threads of its own, so that a run is the same every time and nothing crosses threads. The
// pitch scale stays 1, so no pitch option applies (the consistent one would run a resampler at
// 1 and cost a third more).
constexpr RubberBand::RubberBandStretcher::Options StretchOptions =
    RubberBand::RubberBandStretcher::OptionProcessRealTime |
    RubberBand::RubberBandStretcher::OptionEngineFaster |
    RubberBand::RubberBandStretcher::OptionThreadingNever;
} // namespace

TimeStretch::TimeStretch(std::uint32_t sampleRate, std::uint16_t channels, bool sixteenBit)
    : mStretcher(
          std::make_unique<RubberBand::RubberBandStretcher>(sampleRate, channels, StretchOptions)),
      mRate(sampleRate), mChannels(channels), mSixteenBit(sixteenBit),
      mFrameBytes(static_cast<std::size_t>(channels) * (sixteenBit ? 2 : 1)),
      mRaw(Block * mFrameBytes), mIn(Block * channels), mOut(Block * channels),
      mInChannels(channels), mOutChannels(channels) {
    mStretcher->setMaxProcessSize(Block);
    for (std::size_t c = 0; c < channels; ++c) {
        mInChannels[c] = mIn.data() + c * Block;
        mOutChannels[c] = mOut.data() + c * Block;
    }
}

TimeStretch::~TimeStretch() = default;

bool TimeStretch::SameFormat(std::uint32_t sampleRate, std::uint16_t channels,
                             bool sixteenBit) const {
    return sampleRate == mRate && channels == mChannels && sixteenBit == mSixteenBit;
}

void TimeStretch::Start(double speed) {
    mSpeed = std::clamp(speed, MinSpeed, MaxSpeed);
    mStretcher->reset();
    mStretcher->setTimeRatio(1.0 / mSpeed);
    mPadLeft = mStretcher->getPreferredStartPad();
    mTrimLeft = mStretcher->getStartDelay();
    mSourceEnded = false;
}

void TimeStretch::ToFloat(std::size_t frames) {
    const unsigned char* p = mRaw.data();
    for (std::size_t i = 0; i < frames; ++i) {
        for (std::size_t c = 0; c < mChannels; ++c) {
            if (mSixteenBit) {
                mInChannels[c][i] = static_cast<std::int16_t>(GetU16(p)) / 32768.0f;
                p += 2;
            } else {
                mInChannels[c][i] = (static_cast<int>(*p) - 128) / 128.0f;
                ++p;
            }
        }
    }
}

void TimeStretch::FromFloat(unsigned char* out, std::size_t frames) const {
    // The stretch can overshoot full scale a little; it is clipped, never wrapped round.
    for (std::size_t i = 0; i < frames; ++i) {
        for (std::size_t c = 0; c < mChannels; ++c) {
            const float v = std::clamp(mOutChannels[c][i], -1.0f, 1.0f);
            if (mSixteenBit) {
                const long s = std::lround(v * 32767.0f);
                PutU16(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(s)));
                out += 2;
            } else {
                *out++ = static_cast<unsigned char>(std::lround(v * 127.0f) + 128);
            }
        }
    }
}

void TimeStretch::Feed(FrameSource& source) {
    const std::size_t required = mStretcher->getSamplesRequired();
    const std::size_t want = required > 0 ? std::min(required, Block) : Block;
    if (mPadLeft > 0) {
        const std::size_t n = std::min(want, mPadLeft);
        std::fill(mIn.begin(), mIn.end(), 0.0f);
        mStretcher->process(mInChannels.data(), n, false);
        mPadLeft -= n;
        return;
    }
    const std::size_t got = source.ReadFrames(mRaw.data(), want);
    if (got == 0) {
        mSourceEnded = true;
        mStretcher->process(mInChannels.data(), 0, true);
        return;
    }
    ToFloat(got);
    mStretcher->process(mInChannels.data(), got, false);
}

std::size_t TimeStretch::Fill(unsigned char* out, std::size_t frames, FrameSource& source) {
    std::size_t written = 0;
    while (written < frames) {
        const int available = mStretcher->available();
        if (available < 0) {
            break; // the last of the note has been handed out
        }
        if (available == 0) {
            if (mSourceEnded) {
                break;
            }
            Feed(source);
            continue;
        }
        const std::size_t room = mTrimLeft > 0 ? mTrimLeft : frames - written;
        const std::size_t n = std::min({static_cast<std::size_t>(available), Block, room});
        const std::size_t got = mStretcher->retrieve(mOutChannels.data(), n);
        if (got == 0) {
            break;
        }
        if (mTrimLeft > 0) {
            mTrimLeft -= got;
            continue;
        }
        FromFloat(out + written * mFrameBytes, got);
        written += got;
    }
    return written;
}

} // namespace tellamo
