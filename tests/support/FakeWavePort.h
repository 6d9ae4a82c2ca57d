#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "audio/WavePort.h"

namespace tellamo {

// The port calls a test can make fail.
enum class FakeCall {
    OpenInput,
    OpenOutput,
    Prepare,
    Unprepare,
    AddInput,
    WriteOutput,
    StartInput,
    Reset,
    Close,
    MixerCaps,
    MixerOpen,
    MixerLineInfo,
    MixerLineControls,
    MixerGet,
    MixerSet,
};

// A scripted wave-audio port for tests. The test decides everything the device would: how many
// devices there are, which call fails with which code (and the code's text), the sample data of
// each input buffer and when each buffer comes back (CompleteInput / CompleteOutput, delivered on
// the thread that calls them, so a test may run them on a thread of its own to play the device
// thread). It keeps what was written for playback and holds a mixer made of lines and controls
// whose values the test can read and change.
//
// Threads: all state is guarded by one lock, never held while a notification is delivered.
class FakeWavePort final : public WavePort {
public:
    struct Failure {
        WaveResult Code = -1;
        int Skip = 0;  // calls of that kind that still succeed first
        int Times = 1; // how many calls then fail; 0 for every later call
    };

    struct Control {
        MixerControlType Type = MixerControlType::Volume;
        std::uint32_t Id = 0;
        std::array<std::uint32_t, 2> Values{}; // a mute keeps its value in Values[0]
        bool FailGet = false;
        bool FailSet = false;
    };

    struct Line {
        std::string Name;
        std::uint32_t Channels = 2;
        std::vector<Control> Controls;
    };

    struct Destination {
        Line Self;
        std::vector<Line> Sources;
    };

    // Scripting, set by the test before use (not while device threads run).
    std::uint32_t InputDevices = 1;
    std::uint32_t OutputDevices = 1;
    std::uint32_t MixerDevices = 1;
    std::vector<Destination> Mixer;
    std::map<WaveResult, std::string> ErrorTexts;
    // PlayedBytes stays this many bytes short of what came back as played, as a device whose
    // reported delay never drains to 0 after its last buffer.
    std::uint64_t PlayedShortfall = 0;

    void Fail(FakeCall call, WaveResult code, int skip = 0, int times = 1);

    // Fills the oldest queued input buffer with up to its length of `data` and returns it. False
    // when no input buffer is queued or input has not been started.
    bool CompleteInput(const void* data, std::size_t size);
    // Puts bytes into the oldest queued input buffer without returning it (a partly filled
    // buffer, as a reset finds it).
    bool FillInputPartly(const void* data, std::size_t size);
    // Returns the oldest written output buffer as played. False when none is queued.
    bool CompleteOutput();

    // Observation.
    std::size_t QueuedInputCount();
    std::size_t QueuedOutputCount();
    std::string WrittenBytes();       // everything written for playback, in order
    std::string PlayedBytesSoFar();   // the part that came back as played
    std::vector<std::string> Calls(); // "OpenInput 4294967295", "Prepare 0", ... (not buffers)
    PcmFormat LastFormat();
    std::uint32_t LastDevice();
    bool InputOpen();
    bool OutputOpen();
    bool MixerIsOpen();
    // The mixer's values as they stand.
    std::array<std::uint32_t, 2> ControlValues(std::uint32_t controlId);
    void SetControlValues(std::uint32_t controlId, std::array<std::uint32_t, 2> values);
    // Delivers a control-change notification as the mixer would, on the calling thread.
    void RaiseControlChange(std::uint32_t controlId);

    // WavePort
    std::uint32_t InputDeviceCount() override;
    std::uint32_t OutputDeviceCount() override;
    std::uint32_t MixerDeviceCount() override;
    WaveResult OpenInput(WaveHandle& handle, std::uint32_t device, const PcmFormat& format,
                         WaveCallback* callback) override;
    WaveResult OpenOutput(WaveHandle& handle, std::uint32_t device, const PcmFormat& format,
                          WaveCallback* callback) override;
    WaveResult PrepareHeader(WaveHandle handle, WaveHeader* header) override;
    WaveResult UnprepareHeader(WaveHandle handle, WaveHeader* header) override;
    WaveResult AddInputBuffer(WaveHandle handle, WaveHeader* header) override;
    WaveResult WriteOutputBuffer(WaveHandle handle, WaveHeader* header) override;
    WaveResult StartInput(WaveHandle handle) override;
    WaveResult Reset(WaveHandle handle) override;
    WaveResult Close(WaveHandle handle) override;
    std::string ErrorText(WaveResult code) override;
    std::uint64_t PlayedBytes(WaveHandle handle) override;
    WaveResult MixerGetCaps(std::uint32_t mixer, MixerCaps& caps) override;
    WaveResult MixerOpen(MixerHandle& handle, std::uint32_t mixer,
                         MixerCallback* callback) override;
    WaveResult MixerClose(MixerHandle handle) override;
    WaveResult MixerGetLineInfo(MixerHandle handle, std::uint32_t destination, std::int32_t source,
                                MixerLineInfo& info) override;
    WaveResult MixerGetLineControls(MixerHandle handle, std::uint32_t lineId,
                                    std::vector<MixerControlInfo>& controls) override;
    WaveResult MixerGetControlDetails(MixerHandle handle, std::uint32_t controlId,
                                      std::uint32_t channels, std::uint32_t* values) override;
    WaveResult MixerSetControlDetails(MixerHandle handle, std::uint32_t controlId,
                                      std::uint32_t channels, const std::uint32_t* values) override;

    // Handles the fake hands out.
    static constexpr WaveHandle InputHandle = 1;
    static constexpr WaveHandle OutputHandle = 2;
    static constexpr MixerHandle TheMixerHandle = 3;
    // Codes the fake itself returns for misuse.
    static constexpr WaveResult ErrorBadHandle = -9001;
    static constexpr WaveResult ErrorNotPrepared = -9002;
    static constexpr WaveResult ErrorStillPlaying = -9003;
    static constexpr WaveResult ErrorNoDevice = -9004;

private:
    struct Device {
        bool Open = false;
        bool Started = false;
        WaveCallback* Callback = nullptr;
        std::vector<WaveHeader*> Queue; // reserved once, never grows past the headers in use
    };

    bool Fails(FakeCall call, WaveResult& code); // lock held
    void Log(std::string entry);                 // lock held
    Device* DeviceFor(WaveHandle handle);        // lock held
    Control* FindControl(std::uint32_t id);      // lock held
    Line* FindLine(std::uint32_t lineId);        // lock held
    WaveResult OpenDevice(Device& d, FakeCall call, WaveHandle h, std::uint32_t device,
                          std::uint32_t count, const PcmFormat& format, WaveCallback* cb);

    std::mutex mStateLock;
    std::map<FakeCall, Failure> mFailures;
    std::vector<std::string> mCallLog;
    Device mIn, mOut;
    std::string mWritten, mPlayed;
    std::uint64_t mPlayedCount = 0;
    PcmFormat mFormat;
    std::uint32_t mDevice = 0;
    bool mMixerOpened = false;
    MixerCallback* mMixerCb = nullptr;
};

} // namespace tellamo
