#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/AudioSettings.h"
#include "audio/WindowPoster.h"

namespace tellamo {

// The wave-out part of the audio component. It plays WAV files by copying their sample data
// into the play file (raw samples, no header) and streaming that file to the device through the
// ring of four buffers. A file of the same format handed over while a playback runs is appended
// and follows without a gap; a playback can repeat the play file Loops more times. Each file's
// format is adopted first, and the format the player had before is restored when the playback
// ends.
//
// Threads: every operation runs on the window thread, which also reads the play file and writes
// to the device (FeedBuffer) and closes it (CloseDevice), on requests posted by the device
// thread. The device thread only compares and advances the ring, raises OnBufferPlayed and
// posts. Stop and the format wait process the window thread's posts while they wait, so other
// handlers may run inside them.
class TPlayer final : public TAudioSettings, public WaveCallback, public PostTarget {
public:
    TPlayer(TAudio& owner, std::string playFilePath);
    ~TPlayer() override;

    // Adopts the file's format, copies its samples into the play file and starts or extends the
    // playback. `samples` receives the file's sample count (bytes, halved for 16-bit data) as
    // soon as the header is read. Throws TellamoError for file errors (the WAV file cannot be
    // read or ends before its declared data, the play file cannot be written).
    bool PlayFile(const std::string& fileName, std::uint16_t loops, std::int32_t& samples);
    // Ends the playback at once and returns when the device has closed.
    void Stop();

    bool OpenDevice();
    void FeedBuffer();
    void CloseDevice();

    std::uint16_t Loops() const { return mLoops; }
    std::int64_t ReadPosition() const { return mReadPosition; }
    bool PlayStreamOpen() const { return mPlayFd >= 0; }
    bool FormatSaved() const { return mFormatSaved; }
    const std::string& PlayFilePath() const { return mPlayFilePath; }
    // Bytes the device has actually played in this playback (written minus its delay).
    std::uint64_t PlayedBytes();

    // WaveCallback (device thread)
    void WaveOpened() override;
    void WaveBufferDone(WaveHeader* header) override;
    void WaveClosed() override;
    // PostTarget (window thread)
    void HandlePost(std::uint32_t message, std::intptr_t param) override;

private:
    // A playback whose end the player can still wait for: the device is open and no close
    // attempt has failed (a failed close leaves nothing that would end it).
    bool PlaybackRunning() const { return mDeviceOpen && !mCloseFailed; }
    // Processes the window thread's posts until done() is true.
    template <typename Done> void WaitProcessing(Done done);
    void CloseDeviceQuietly();
    // Closes the play file: the data has run out.
    void CloseStream();
    void CopySamples(int sourceFd, std::uint64_t offset, std::uint32_t size,
                     const std::string& fileName);

    std::string mPlayFilePath;
    std::uint16_t mLoops = 0;       // window thread only
    std::int64_t mReadPosition = 0; // window thread only
    int mPlayFd = -1;               // window thread only
    TChannels mSavedChannels = TChannels::Mono;
    TBPS mSavedBitsPerSample = TBPS::_8;
    std::uint16_t mSavedSampleRate = 11025;
    bool mFormatSaved = false; // window thread only
    bool mCloseFailed = false; // window thread only
    // Written by the device thread (last chunk back) and the window thread (FeedBuffer, Stop):
    // atomic.
    std::atomic<bool> mEndPosted{false};
    // Chunks written and not yet come back; changed by both threads atomically.
    std::atomic<std::int32_t> mOutstanding{0};
    // Set by the window thread when the play file has run out (or was closed by Stop), read
    // by the device thread to recognise the last chunk: atomic.
    std::atomic<bool> mDataExhausted{false};
    std::vector<char> mCopyBuffer; // window thread only
};

} // namespace tellamo
