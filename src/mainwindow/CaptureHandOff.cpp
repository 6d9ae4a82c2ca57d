#include "mainwindow/CaptureHandOff.h"

#include <utility>

#include "dictaphone/TellamoWav.h"

namespace tellamo {

namespace {
constexpr std::uint32_t CapturedMessage = 1;
} // namespace

CaptureHandOff::CaptureHandOff(WindowPoster& poster, std::function<void()> delivered)
    : mPoster(poster), mDelivered(std::move(delivered)) {}

CaptureHandOff::~CaptureHandOff() {
    mPoster.Cancel(this);
}

void CaptureHandOff::Start(std::uint16_t sampleRate, bool sixteenBit) {
    mSixteenBit = sixteenBit;
    mRate = sampleRate;
    mRecordedSamples = 0;
    mWaiting = false;
    mFeed.Discard();
}

void CaptureHandOff::SetSilence(bool on, std::uint16_t noiseLevel) {
    mSilenceOn = on;
    mNoiseLevel = noiseLevel;
}

void CaptureHandOff::Captured(const unsigned char* data, std::uint16_t bytes) {
    const bool sixteenBit = mSixteenBit.load();
    mFeed.Push(data, bytes, sixteenBit, mRate.load());
    mRecordedSamples += SampleCount(bytes, sixteenBit);
    mWaiting = false;
    Announce();
}

void CaptureHandOff::Skipped(const unsigned char* data, std::uint16_t bytes) {
    mFeed.Push(data, bytes, mSixteenBit.load(), mRate.load());
    mWaiting = true;
    Announce();
}

void CaptureHandOff::Announce() {
    // Cleared by the window thread before it reads the count, so a buffer counted after that
    // read always brings a post of its own: the last count is never left unshown.
    if (!mPostQueued.exchange(true) && !mPoster.Post(this, CapturedMessage, 0)) {
        mPostQueued = false; // a full queue: the next buffer tries again
    }
}

std::int64_t CaptureHandOff::RecordedMs() const {
    return static_cast<std::int64_t>(mRecordedSamples.load()) * 1000 / mRate.load();
}

void CaptureHandOff::HandlePost(std::uint32_t message, std::intptr_t) {
    if (message != CapturedMessage) {
        return;
    }
    mPostQueued = false;
    if (mDelivered) {
        mDelivered();
    }
}

} // namespace tellamo
