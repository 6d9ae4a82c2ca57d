#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "audio/WindowPoster.h"
#include "dictaphone/LiveGraphFeed.h"

namespace tellamo {

// What the capture thread hands the window thread while a recording runs: the count of the
// samples the recorder accepted, a copy of each accepted buffer for the live graph, and a post
// that tells the window thread to show them, at most one queued at a time however many buffers
// arrive meanwhile.
//
// Threads: Captured and Skipped run on the capture thread, and only between Start and the end of
// the recorder's Stop (the port delivers no buffer once its Close has returned). Every other member
// function runs on the window thread, except the read-only accessors, which any thread may call.
// Shared members, each an atomic: mRecordedSamples is reset by Start, before the capture thread
// can call Captured, and then added to by the capture thread alone, so the two threads never
// write it at the same time; mSixteenBit and mRate are written by Start only and read by the
// capture thread; mSilenceOn and mNoiseLevel are written by SetSilence and read by the capture
// thread; mPostQueued is set by the capture thread and cleared by the window thread as it
// handles the post. mFeed has its own single-producer single-consumer rule (LiveGraphFeed.h).
class CaptureHandOff final : private PostTarget {
public:
    // delivered runs on the window thread once per handled post, after the buffers it announces
    // have been counted and fed.
    CaptureHandOff(WindowPoster& poster, std::function<void()> delivered);
    ~CaptureHandOff() override;
    CaptureHandOff(const CaptureHandOff&) = delete;
    CaptureHandOff& operator=(const CaptureHandOff&) = delete;

    // Window thread, before the capture starts: the recording's format; the count starts at 0
    // and buffers left over from an earlier recording are dropped.
    void Start(std::uint16_t sampleRate, bool sixteenBit);
    // Window thread, at any time: whether the silence trigger is on, and its level in the
    // recording's sample scale.
    void SetSilence(bool on, std::uint16_t noiseLevel);

    // Capture thread: counts one accepted buffer, copies it for the live graph and, unless a
    // post is already waiting, tells the window thread. Allocates nothing and takes no lock.
    void Captured(const unsigned char* data, std::uint16_t bytes);
    // Capture thread: a buffer the silence trigger did not take. It is fed to the live graph, so
    // that the view keeps moving while the recorder waits for speech, but not counted; Waiting
    // tells until the next accepted buffer. The same rules as Captured.
    void Skipped(const unsigned char* data, std::uint16_t bytes);
    bool Waiting() const { return mWaiting.load(); }

    bool SilenceOn() const { return mSilenceOn.load(); }
    std::uint16_t NoiseLevel() const { return mNoiseLevel.load(); }
    bool SixteenBit() const { return mSixteenBit.load(); }
    std::uint16_t SampleRate() const { return mRate.load(); }
    std::int64_t RecordedSamples() const { return mRecordedSamples.load(); }
    // The recorded samples as milliseconds of the recording's rate.
    std::int64_t RecordedMs() const;

    // Window thread: the buffers fed so far, for the live graph to drain or discard.
    LiveGraphFeed& Feed() { return mFeed; }

private:
    void HandlePost(std::uint32_t message, std::intptr_t param) override;
    void Announce(); // capture thread

    WindowPoster& mPoster;
    std::function<void()> mDelivered;
    std::atomic<std::int64_t> mRecordedSamples{0};
    std::atomic<bool> mSixteenBit{false};
    std::atomic<std::uint16_t> mRate{11025};
    std::atomic<bool> mSilenceOn{false};
    std::atomic<std::uint16_t> mNoiseLevel{0};
    std::atomic<bool> mPostQueued{false};
    // Set by Skipped and cleared by Captured (capture thread) and by Start (before the capture).
    std::atomic<bool> mWaiting{false};
    LiveGraphFeed mFeed;
};

} // namespace tellamo
