#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace RubberBand {
class RubberBandStretcher;
}

namespace tellamo {

// Where the stretch takes the note's sound from: whole frames of PCM as the WAV file holds them.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    // Copies up to `frames` frames to `data`; returns how many, 0 when the note has no more.
    virtual std::size_t ReadFrames(unsigned char* data, std::size_t frames) = 0;
};

// Plays a note faster or slower with its pitch kept: Rubber Band in real-time mode between the
// note's PCM frames (8-bit unsigned or 16-bit signed, interleaved) and the device's buffers of
// the same format. Output frame k of a run that Start began holds the note's sound from
// k × speed frames after where the source stood: the stretcher's own start latency is padded
// and trimmed away, so the first buffer already carries the note's first sound and a position
// counted from the played output is note time.
//
// Everything is allocated by the constructor; Start and Fill allocate nothing. One thread (the
// window thread); the stretcher runs no threads of its own.
class TimeStretch {
public:
    static constexpr double MinSpeed = 0.5;
    static constexpr double MaxSpeed = 2.0;

    TimeStretch(std::uint32_t sampleRate, std::uint16_t channels, bool sixteenBit);
    ~TimeStretch();
    TimeStretch(const TimeStretch&) = delete;
    TimeStretch& operator=(const TimeStretch&) = delete;

    bool SameFormat(std::uint32_t sampleRate, std::uint16_t channels, bool sixteenBit) const;

    // Forgets what an earlier run left inside and begins a new one at `speed` (note seconds per
    // played second, held to MinSpeed..MaxSpeed), reading on from where the source stands.
    void Start(double speed);
    double Speed() const { return mSpeed; }

    // Writes up to `frames` frames to `out`. Fewer than asked only once the source has ended and
    // everything the stretcher held has been handed out; 0 from then on.
    std::size_t Fill(unsigned char* out, std::size_t frames, FrameSource& source);

private:
    void Feed(FrameSource& source);
    void ToFloat(std::size_t frames);
    void FromFloat(unsigned char* out, std::size_t frames) const;

    std::unique_ptr<RubberBand::RubberBandStretcher> mStretcher;
    std::uint32_t mRate;
    std::uint16_t mChannels;
    bool mSixteenBit;
    std::size_t mFrameBytes;
    double mSpeed = 1.0;
    std::size_t mPadLeft = 0;  // silent frames still to give before the note's first
    std::size_t mTrimLeft = 0; // output frames still to drop: the stretcher's start delay
    bool mSourceEnded = false;
    std::vector<unsigned char> mRaw;  // one block of the source's frames
    std::vector<float> mIn, mOut;     // one block per channel, channel after channel
    std::vector<float*> mInChannels;  // into mIn
    std::vector<float*> mOutChannels; // into mOut
};

} // namespace tellamo
