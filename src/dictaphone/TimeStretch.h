#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tellamo {

// Where the stretch takes the note's sound from: whole frames of PCM as the WAV file holds them.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    // Copies up to `frames` frames to `data`; returns how many, 0 when the note has no more.
    virtual std::size_t ReadFrames(unsigned char* data, std::size_t frames) = 0;
};

// Plays a note faster or slower with its pitch kept, between the note's PCM frames (8-bit
// unsigned or 16-bit signed, interleaved) and the device's buffers of the same format: a
// waveform-similarity overlap-add made for speech. The output is built of windows of 20 ms
// laid half a window apart; each is cut from the note near where the speed puts it, at
// the place within 7 ms that best continues the window before it, so that voiced sound keeps
// its pitch periods whole. Output frame k of a run that Start began holds the note's sound from
// k × speed frames after where the source stood, to within those 7 ms: the first buffer already
// carries the note's first sound, a position counted from the played output is note time, and
// a run of n note frames gives n / speed frames.
//
// Everything is allocated by the constructor; Start and Fill allocate nothing. One thread (the
// window thread).
class TimeStretch {
public:
    static constexpr double MinSpeed = 0.5;
    static constexpr double MaxSpeed = 2.0;

    TimeStretch(std::uint32_t sampleRate, std::uint16_t channels, bool sixteenBit);
    TimeStretch(const TimeStretch&) = delete;
    TimeStretch& operator=(const TimeStretch&) = delete;

    bool SameFormat(std::uint32_t sampleRate, std::uint16_t channels, bool sixteenBit) const;

    // Forgets what an earlier run left inside and begins a new one at `speed` (note seconds per
    // played second, held to MinSpeed..MaxSpeed), reading on from where the source stands.
    void Start(double speed);
    double Speed() const { return mSpeed; }

    // Writes up to `frames` frames to `out`. Fewer than asked only once the source has ended and
    // everything the stretch held has been handed out; 0 from then on.
    std::size_t Fill(unsigned char* out, std::size_t frames, FrameSource& source);

private:
    bool NextWindow(FrameSource& source);
    void Require(std::int64_t end, FrameSource& source);
    void Discard(std::int64_t before);
    std::int64_t BestStart(std::int64_t natural, std::int64_t from, std::int64_t to,
                           std::int64_t nominal);
    void ToFloat(std::size_t frames);
    void FromFloat(unsigned char* out, const float* from, std::size_t frames) const;
    const float* Mono() const { return mChannels == 1 ? mIn.data() : mMono.data(); }

    std::uint32_t mRate;
    std::uint16_t mChannels;
    bool mSixteenBit;
    std::size_t mFrameBytes;
    std::size_t mWindow;       // frames in one window
    std::size_t mHop;          // output frames from one window to the next: half a window
    std::size_t mTolerance;    // how far from its place a window may be cut, either way
    std::size_t mStep;         // the coarse search's decimation: to about 5 kHz
    std::size_t mCapacity;     // input frames held at most
    std::vector<float> mShape; // the window: a periodic Hann, whose halves add up to 1

    double mSpeed = 1.0;
    // The run, in frames from where the source stood at Start.
    std::int64_t mNext = 0;       // the next window's number
    std::int64_t mPrevStart = 0;  // where the last window was cut from the note
    std::int64_t mInBase = 0;     // the note frame in mIn[0]
    std::size_t mInFrames = 0;    // frames held in mIn
    std::int64_t mOutLength = -1; // the run's output length, once the source has ended
    bool mSourceEnded = false;
    bool mFinished = false;
    std::size_t mReadyAt = 0, mReadyEnd = 0; // frames of mOut to hand out

    std::vector<unsigned char> mRaw; // one block of the source's frames
    std::vector<float> mIn;          // the note near the windows, interleaved
    std::vector<float> mMono;        // the channels added up, beside mIn (two or more channels)
    std::vector<float> mOut;         // the output under the last window, interleaved
    std::vector<float> mCoarse;      // the search's decimated natural continuation and range
};

} // namespace tellamo
