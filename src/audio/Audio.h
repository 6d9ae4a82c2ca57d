#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "audio/AudioSettings.h"
#include "audio/MixerSettings.h"
#include "audio/Player.h"
#include "audio/Recorder.h"
#include "audio/WavePort.h"
#include "audio/WindowPoster.h"

namespace tellamo {

// The audio component: the recorder, the player and the mixer over one wave-audio port, with
// the events through which they report to the application and the text of the last failure.
//
// Threads: constructed, used and destroyed on the window thread. OnRecord, OnWaiting and
// OnBufferPlayed run on the port's device thread; OnPlayed, OnMixerChange and the file events on
// the window thread. Assign the events before a device is opened. Work the device threads hand to
// the window thread goes through the poster, whose ProcessPending the window thread must run.
class TAudio {
public:
    using TNotifyAudioRecordEvent =
        std::function<void(TRecorder* sender, const unsigned char* lp, const unsigned char* rp,
                           std::uint16_t bufferSize)>;
    using TNotifyBufferPlayedEvent = std::function<void(TPlayer* sender)>;
    using TNotifyPlayedEvent = std::function<void(TPlayer* sender)>;
    using TNotifyFileStoppedEvent = std::function<void(TRecorder* sender)>;
    using TNotifyMixerChange = std::function<void(TMixerSettings* sender, std::uint16_t destination,
                                                  std::uint16_t source)>;

    static constexpr const char* VersionText = "4.1 (32bit)";

    // playFilePath: where the player keeps its play file ("PLAY.TMP" in the cache folder).
    // The port and the poster must outlive the component.
    TAudio(WavePort& port, WindowPoster& poster, std::string playFilePath);
    ~TAudio();
    TAudio(const TAudio&) = delete;
    TAudio& operator=(const TAudio&) = delete;

    std::uint32_t AudioDeviceID() const { return mAudioDeviceID; }
    void SetAudioDeviceID(std::uint32_t value);
    std::int32_t MixerDeviceID() const { return mMixerDeviceID; }
    void SetMixerDeviceID(std::int32_t value);
    bool SeparateCtrls() const { return mSeparateCtrls; }
    void SetSeparateCtrls(bool value) { mSeparateCtrls = value; }
    const std::string& Version() const { return mVersion; }
    void SetVersion(const std::string&) {} // the version is fixed

    TRecorder& Recorder() { return mRecorder; }
    TPlayer& Player() { return mPlayer; }
    TMixerSettings& Mixer() { return mMixer; }

    // The desktop session is ending: stop the player and the recorder as destruction does, so
    // that a recording in progress is completed on disk. The component stays usable. A file
    // error on completion is left in ErrorMessage.
    bool QueryEndSession();

    WavePort& Port() { return mPort; }
    WindowPoster& Poster() { return mPoster; }

    TNotifyAudioRecordEvent OnRecord;
    // A captured buffer the level trigger did not accept (the recorder waits for sound); rp is
    // null and the buffer is not split. Device thread, as OnRecord; never while paused.
    TNotifyAudioRecordEvent OnWaiting;
    TNotifyBufferPlayedEvent OnBufferPlayed;
    TNotifyPlayedEvent OnPlayed;
    TNotifyMixerChange OnMixerChange;
    // The recording file stopped taking sound (a failed write, or the largest size reached);
    // the recorder's FileError says why. Window thread.
    TNotifyFileStoppedEvent OnFileStopped;
    // The recording file came within the recorder's PrepareMargin of ContinueAtSize: the
    // recording's next file is wanted (TRecorder::PrepareNextFile). Window thread.
    TNotifyFileStoppedEvent OnFileNearContinuation;
    // The recording went on in the prepared file; TRecorder::CompleteContinuedFile completes
    // the one it left. Window thread.
    TNotifyFileStoppedEvent OnFileContinued;

    // The last failure of any recorder, player or mixer operation (window thread only).
    std::string ErrorMessage;

private:
    WavePort& mPort;
    WindowPoster& mPoster;
    std::uint32_t mAudioDeviceID = WaveMapper;
    std::int32_t mMixerDeviceID = 0;
    bool mSeparateCtrls = false;
    std::string mVersion = VersionText;
    TRecorder mRecorder;
    TPlayer mPlayer;
    TMixerSettings mMixer;
};

} // namespace tellamo
