#include "dictaphone/TimeStretch.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/ByteIO.h"

namespace tellamo {

namespace {
// Frames taken from the source at a time.
constexpr std::size_t Block = 1024;

// A window long enough to hold two pitch periods of a low voice (100 Hz) and short enough that a
// syllable's sounds do not smear into each other: on read speech given to the recogniser, 20 ms
// kept more words than 16, 24 or 30 ms at 0.5x, 1.5x and 2.0x together.
constexpr double WindowSeconds = 0.020;
// Either way from its place: together a little more than one period of the lowest voices
// (70 Hz), so that a window can always be lined up with the one before it.
constexpr double ToleranceSeconds = 0.007;
// The coarse search runs on the sound averaged down to about this rate: speech's pitch periods
// are still plain there, and it costs a fraction of the full rate.
constexpr std::uint32_t SearchRate = 5000;

std::size_t Frames(std::uint32_t rate, double seconds) {
    return static_cast<std::size_t>(std::lround(rate * seconds));
}
} // namespace

TimeStretch::TimeStretch(std::uint32_t sampleRate, std::uint16_t channels, bool sixteenBit)
    : mRate(sampleRate), mChannels(std::max<std::uint16_t>(channels, 1)), mSixteenBit(sixteenBit),
      mFrameBytes(static_cast<std::size_t>(mChannels) * (sixteenBit ? 2 : 1)),
      mWindow(2 * std::max<std::size_t>(Frames(sampleRate, WindowSeconds / 2), 2)),
      mHop(mWindow / 2), mTolerance(std::max<std::size_t>(Frames(sampleRate, ToleranceSeconds), 1)),
      mStep(std::max<std::uint32_t>(sampleRate / SearchRate, 1)),
      // What the windows need at most (the search range, a window, a hop) and one block read.
      mCapacity(mWindow + 2 * mTolerance + mHop + Block + 8), mShape(mWindow),
      mRaw(Block * mFrameBytes), mIn(mCapacity * mChannels), mMono(mChannels > 1 ? mCapacity : 0),
      mOut(mWindow * mChannels), mCoarse(2 * mWindow / mStep + 2 * mTolerance / mStep + 4) {
    for (std::size_t n = 0; n < mWindow; ++n) {
        mShape[n] = static_cast<float>(
            0.5 - 0.5 * std::cos(2 * M_PI * static_cast<double>(n) / static_cast<double>(mWindow)));
    }
}

bool TimeStretch::SameFormat(std::uint32_t sampleRate, std::uint16_t channels,
                             bool sixteenBit) const {
    return sampleRate == mRate && channels == mChannels && sixteenBit == mSixteenBit;
}

void TimeStretch::Start(double speed) {
    mSpeed = std::clamp(speed, MinSpeed, MaxSpeed);
    mNext = 0;
    mPrevStart = 0;
    mInBase = 0;
    mInFrames = 0;
    mOutLength = -1;
    mSourceEnded = false;
    mFinished = false;
    mReadyAt = mReadyEnd = 0;
    std::fill(mOut.begin(), mOut.end(), 0.0f);
}

void TimeStretch::ToFloat(std::size_t frames) {
    const unsigned char* p = mRaw.data();
    float* to = mIn.data() + mInFrames * mChannels;
    float* mono = mChannels > 1 ? mMono.data() + mInFrames : nullptr;
    for (std::size_t i = 0; i < frames; ++i) {
        float sum = 0;
        for (std::size_t c = 0; c < mChannels; ++c) {
            float v;
            if (mSixteenBit) {
                v = static_cast<std::int16_t>(GetU16(p)) / 32768.0f;
                p += 2;
            } else {
                v = (static_cast<int>(*p) - 128) / 128.0f;
                ++p;
            }
            *to++ = v;
            sum += v;
        }
        if (mono != nullptr) {
            mono[i] = sum;
        }
    }
}

void TimeStretch::FromFloat(unsigned char* out, const float* from, std::size_t frames) const {
    // Windows that add up to one cannot overshoot what they were cut from, but the rounding
    // can by a hair at full scale: clipped, never wrapped round.
    // The scale is the one ToFloat divided by, so that a sample the stretch leaves whole comes
    // back as it was.
    for (std::size_t i = 0; i < frames * mChannels; ++i) {
        if (mSixteenBit) {
            const long s = std::clamp(std::lround(from[i] * 32768.0f), -32768L, 32767L);
            PutU16(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(s)));
            out += 2;
        } else {
            *out++ = static_cast<unsigned char>(
                std::clamp(std::lround(from[i] * 128.0f), -128L, 127L) + 128);
        }
    }
}

void TimeStretch::Discard(std::int64_t before) {
    const auto drop = static_cast<std::size_t>(
        std::clamp<std::int64_t>(before - mInBase, 0, static_cast<std::int64_t>(mInFrames)));
    if (drop == 0) {
        return;
    }
    mInFrames -= drop;
    std::memmove(mIn.data(), mIn.data() + drop * mChannels, mInFrames * mChannels * sizeof(float));
    if (mChannels > 1) {
        std::memmove(mMono.data(), mMono.data() + drop, mInFrames * sizeof(float));
    }
    mInBase += static_cast<std::int64_t>(drop);
}

void TimeStretch::Require(std::int64_t end, FrameSource& source) {
    while (mInBase + static_cast<std::int64_t>(mInFrames) < end) {
        if (mSourceEnded) {
            // Past the note's end the windows see silence.
            const auto n = static_cast<std::size_t>(end - mInBase) - mInFrames;
            std::fill_n(mIn.data() + mInFrames * mChannels, n * mChannels, 0.0f);
            if (mChannels > 1) {
                std::fill_n(mMono.data() + mInFrames, n, 0.0f);
            }
            mInFrames += n;
            return;
        }
        const std::size_t got =
            source.ReadFrames(mRaw.data(), std::min(Block, mCapacity - mInFrames));
        if (got == 0) {
            mSourceEnded = true;
            const auto noteFrames = static_cast<double>(mInBase) + static_cast<double>(mInFrames);
            mOutLength = std::llround(noteFrames / mSpeed);
            continue;
        }
        ToFloat(got);
        mInFrames += got;
    }
}

std::int64_t TimeStretch::BestStart(std::int64_t natural, std::int64_t from, std::int64_t to,
                                    std::int64_t nominal) {
    // Normalised cross-correlation of each candidate with the sound that would have followed
    // the last window in the note (its natural continuation), first on averages of mStep
    // frames at every mStep-th place, then at every place around the best of those.
    const float* x = Mono();
    const std::size_t step = mStep;
    const std::size_t length = mWindow;
    const float* natural0 = x + (natural - mInBase);
    const float* range0 = x + (from - mInBase);
    const std::size_t places = static_cast<std::size_t>(to - from) / step + 1;
    const std::size_t templateCount = length / step;
    float* coarseTemplate = mCoarse.data();
    float* coarseRange = coarseTemplate + templateCount;
    const std::size_t rangeCount = places - 1 + templateCount;
    for (std::size_t i = 0; i < templateCount; ++i) {
        float sum = 0;
        for (std::size_t j = 0; j < step; ++j) {
            sum += natural0[i * step + j];
        }
        coarseTemplate[i] = sum;
    }
    for (std::size_t i = 0; i < rangeCount; ++i) {
        float sum = 0;
        for (std::size_t j = 0; j < step; ++j) {
            sum += range0[i * step + j];
        }
        coarseRange[i] = sum;
    }
    // Scores compared as correlation × |correlation| / energy: the square of the normalised
    // correlation with its sign, without a square root.
    const auto better = [](double correlation, double energy, double& best) {
        if (correlation <= 0 || energy <= 1e-12) {
            return false;
        }
        const double score = correlation * correlation / energy;
        if (score <= best) {
            return false;
        }
        best = score;
        return true;
    };
    double energy = 0;
    for (std::size_t i = 0; i < templateCount; ++i) {
        energy += static_cast<double>(coarseRange[i]) * coarseRange[i];
    }
    double best = 0;
    std::int64_t coarseBest = -1;
    for (std::size_t p = 0; p < places; ++p) {
        float correlation = 0;
        for (std::size_t i = 0; i < templateCount; ++i) {
            correlation += coarseTemplate[i] * coarseRange[p + i];
        }
        if (better(correlation, energy, best)) {
            coarseBest = from + static_cast<std::int64_t>(p * step);
        }
        if (p + 1 < places) {
            const double leaving = coarseRange[p];
            const double entering = coarseRange[p + templateCount];
            energy = std::max(0.0, energy + entering * entering - leaving * leaving);
        }
    }
    if (coarseBest < 0) {
        return nominal; // silence, or nothing alike: the window stays where the speed puts it
    }
    const auto fine = static_cast<std::int64_t>(step) - 1;
    const std::int64_t lo = std::max(from, coarseBest - fine);
    const std::int64_t hi = std::min(to, coarseBest + fine);
    best = 0;
    std::int64_t chosen = coarseBest;
    for (std::int64_t c = lo; c <= hi; ++c) {
        const float* candidate = x + (c - mInBase);
        float correlation = 0, candidateEnergy = 0;
        for (std::size_t n = 0; n < length; ++n) {
            correlation += natural0[n] * candidate[n];
            candidateEnergy += candidate[n] * candidate[n];
        }
        if (better(correlation, candidateEnergy, best)) {
            chosen = c;
        }
    }
    return chosen;
}

bool TimeStretch::NextWindow(FrameSource& source) {
    const auto hop = static_cast<std::int64_t>(mHop);
    const auto window = static_cast<std::int64_t>(mWindow);
    const auto tolerance = static_cast<std::int64_t>(mTolerance);
    const std::int64_t k = mNext;
    const std::int64_t outAt = k * hop;
    if (k > 0) {
        // The first hop under the last window has been handed out.
        std::memmove(mOut.data(), mOut.data() + mHop * mChannels, mHop * mChannels * sizeof(float));
        std::fill(mOut.begin() + static_cast<std::ptrdiff_t>(mHop * mChannels), mOut.end(), 0.0f);
    }
    const std::int64_t nominal = std::llround(static_cast<double>(outAt) * mSpeed);
    // The first window is the note's start exactly; every later one is searched for.
    const std::int64_t from = k == 0 ? 0 : std::max<std::int64_t>(0, nominal - tolerance);
    const std::int64_t to = k == 0 ? 0 : nominal + tolerance;
    const std::int64_t natural = mPrevStart + hop;
    Require(std::max(to + window, k == 0 ? 0 : natural + window), source);
    if (mSourceEnded && outAt >= mOutLength) {
        mFinished = true;
        return false;
    }
    const std::int64_t start = k == 0 ? 0 : BestStart(natural, from, to, nominal);
    const float* in = mIn.data() + static_cast<std::size_t>(start - mInBase) * mChannels;
    float* out = mOut.data();
    for (std::size_t n = 0; n < mWindow; ++n) {
        // The first window's rising half is whole: nothing comes before it to add up to one.
        const float w = k == 0 && n < mHop ? 1.0f : mShape[n];
        for (std::size_t c = 0; c < mChannels; ++c) {
            out[n * mChannels + c] += w * in[n * mChannels + c];
        }
    }
    mPrevStart = start;
    ++mNext;
    mReadyAt = 0;
    mReadyEnd = mSourceEnded
                    ? static_cast<std::size_t>(std::min<std::int64_t>(hop, mOutLength - outAt))
                    : mHop;
    // What the next window may still be cut from, or continue.
    const std::int64_t nextNominal = std::llround(static_cast<double>(outAt + hop) * mSpeed);
    Discard(std::min(start + hop, std::max<std::int64_t>(0, nextNominal - tolerance)));
    return true;
}

std::size_t TimeStretch::Fill(unsigned char* out, std::size_t frames, FrameSource& source) {
    std::size_t written = 0;
    while (written < frames) {
        if (mReadyAt < mReadyEnd) {
            const std::size_t n = std::min(frames - written, mReadyEnd - mReadyAt);
            FromFloat(out + written * mFrameBytes, mOut.data() + mReadyAt * mChannels, n);
            mReadyAt += n;
            written += n;
            continue;
        }
        if (mFinished || !NextWindow(source)) {
            break;
        }
    }
    return written;
}

} // namespace tellamo
