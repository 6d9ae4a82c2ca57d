#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/WavFormat.h"
#include "audio/WavePort.h"
#include "audio/WindowPoster.h"
#include "dictaphone/TimeStretch.h"

namespace tellamo {

// Plays one WAV file through the wave-out port, the way the playback workflow drives it: open by
// file name, play from a position, pause and resume, stop, seek in milliseconds, and report the
// position (from what the device has actually played), the length and the mode. For listening to
// dictation it also plays slower or faster with the pitch kept (TimeStretch, between the file and
// the device), skips back and forward by a step, and starts a little earlier when it resumes
// after a pause. Position, length, seeks and skips are always in the note's own time, whatever
// the speed. Errors are raised as TellamoError: "No MCI device open" for a command without an
// open file, and the device's own words when it cannot be opened.
//
// Threads: every call on the window thread. The device thread only posts "a buffer came back";
// the window thread reads the file, stretches and writes the next buffer. A generation number in
// each post lets the window thread ignore buffers that a pause, stop or seek has already taken
// back.
class MediaPlayer final : public WaveCallback, public PostTarget, private FrameSource {
public:
    enum class Mode { NotOpen, Stopped, Playing, Paused };

    // Speeds in tenths: 0.5x to 2.0x in steps of 0.1.
    static constexpr int MinSpeedTenths = 5;
    static constexpr int MaxSpeedTenths = 20;
    static constexpr int NormalSpeedTenths = 10;
    static constexpr std::uint32_t DefaultSkipStepMs = 5000;
    static constexpr std::uint32_t DefaultRewindOnResumeMs = 1000;

    MediaPlayer(WavePort& port, WindowPoster& poster);
    ~MediaPlayer() override;
    MediaPlayer(const MediaPlayer&) = delete;
    MediaPlayer& operator=(const MediaPlayer&) = delete;

    // Closes a file that is open, then opens this one and its output device.
    void Open(const std::string& fileName);
    // Plays from the current position; at the end, from the start.
    void Play();
    // Playing: pause; paused: resume (the rewind on resume earlier, see below); otherwise nothing.
    void PauseToggle();
    void Stop();
    // Moves to a place and stops there, as a media device's seek does.
    void Seek(std::uint32_t milliseconds);
    // Moves to a place and keeps the mode: playing goes on from there, paused stays paused.
    void JumpTo(std::uint32_t milliseconds);
    std::uint32_t Position();
    std::uint32_t Length() const;
    Mode CurrentMode() const { return mState; }
    void Close();
    bool IsOpen() const { return mState != Mode::NotOpen; }

    // The speed, held to MinSpeedTenths..MaxSpeedTenths; it may be set at any time, open or not,
    // and a note that is playing goes on at the new speed from where it is.
    void SetSpeedTenths(int tenths);
    int SpeedTenths() const { return mSpeedTenths; }

    // Skips by the step, back or forward from the position, never past the start or the end;
    // playing goes on, paused stays paused (and resumes from exactly there).
    void SkipBack();
    void SkipForward();
    void SetSkipStepMs(std::uint32_t milliseconds) { mSkipStepMs = milliseconds; }
    std::uint32_t SkipStepMs() const { return mSkipStepMs; }
    // How much earlier a resume after a pause starts; 0 resumes where the pause left off.
    void SetRewindOnResumeMs(std::uint32_t milliseconds) { mRewindOnResumeMs = milliseconds; }
    std::uint32_t RewindOnResumeMs() const { return mRewindOnResumeMs; }

    // WaveCallback (device thread)
    void WaveOpened() override {}
    void WaveBufferDone(WaveHeader* header) override;
    void WaveClosed() override {}
    // PostTarget (window thread)
    void HandlePost(std::uint32_t message, std::intptr_t param) override;

private:
    static constexpr int Slots = 4;
    void RequireOpen() const;
    void StartDevice();
    void HaltDevice(); // takes every buffer back; the position stays where the device was
    void Feed(int slot);
    // Playing, with every byte written and every buffer back: the note has played to its end,
    // and the mode becomes Stopped at the length, as a media device reports it.
    void EndIfAllPlayed();
    // The note's byte the device has reached (playing) or stands at (otherwise).
    std::uint64_t PositionBytes();
    std::uint64_t MsToBytes(std::uint64_t milliseconds) const;
    std::uint64_t BytesToMs(std::uint64_t bytes) const;
    // Moves the held position; a note that is playing goes on from there.
    void MoveTo(std::uint64_t bytes);
    void Skip(bool forward);
    bool Stretching() const { return mSpeedTenths != NormalSpeedTenths; }
    // FrameSource: the stretch reads the note on from mNextByte.
    std::size_t ReadFrames(unsigned char* data, std::size_t frames) override;

    WavePort& mPort;
    WindowPoster& mPoster;
    WaveHandle mHandle = 0;
    int mFileFd = -1;
    WaveInfo mInfo;
    std::uint32_t mBlockAlign = 1;
    std::uint32_t mBytesPerSecond = 1;
    std::uint32_t mChunkBytes = 1; // one device buffer: a tenth of a second, whole frames
    Mode mState = Mode::NotOpen;
    int mSpeedTenths = NormalSpeedTenths;
    std::uint32_t mSkipStepMs = DefaultSkipStepMs;
    std::uint32_t mRewindOnResumeMs = DefaultRewindOnResumeMs;
    bool mRewindDue = false;               // paused from playing, not moved since
    std::uint64_t mStartByte = 0;          // data offset where the current play began
    std::uint64_t mPlayedBase = 0;         // the port's played count when it began
    std::uint64_t mPlayedHigh = 0;         // the most it has counted since, less mPlayedBase
    std::uint64_t mNextByte = 0;           // data offset of the next bytes to read
    std::uint64_t mHeldPosition = 0;       // position in bytes while not playing
    bool mAllWritten = false;              // this play has nothing more for the device
    int mInFlight = 0;                     // buffers of this play written and not yet back
    std::unique_ptr<TimeStretch> mStretch; // made at the first play away from normal speed
    std::array<WaveHeader, Slots> mHeaders{};
    std::array<std::vector<unsigned char>, Slots> mBuffers;
    // Written on the window thread, read by the device thread to tag its posts.
    std::atomic<std::uint32_t> mGeneration{0};
};

} // namespace tellamo
