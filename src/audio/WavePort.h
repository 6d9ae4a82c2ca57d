#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/Utf8.h"

namespace tellamo {

// The wave-audio services the audio component relies on: wave input, wave output and the mixer.
// Everything the component knows about a sound device passes through this interface, so that the
// component runs unchanged over ALSA (AlsaWavePort) and over a scripted stand-in in the tests
// (FakeWavePort, in tests/support).
//
// Threads: every call is made on the window thread. The notifications of an open device (opened,
// buffer done, closed) arrive on a thread of the port; the port never holds one of its locks
// while it calls a notification, so a notification may post work to the window thread but must
// not call back into the port. Mixer change notifications likewise arrive on a port thread.
//
// Error codes are integers the port defines; 0 is success. ErrorText turns a code into words.

using WaveResult = int;
constexpr WaveResult WaveOk = 0;

// The device number that lets the port pick a suitable device.
constexpr std::uint32_t WaveMapper = 0xFFFFFFFFu;

// A PCM wave format record: format tag 1, interleaved frames, little-endian samples.
struct PcmFormat {
    std::uint16_t FormatTag = 1;
    std::uint16_t Channels = 1;
    std::uint32_t SamplesPerSec = 11025;
    std::uint32_t AvgBytesPerSec = 11025;
    std::uint16_t BlockAlign = 1;
    std::uint16_t BitsPerSample = 8;
    std::uint16_t ExtraSize = 0;
};

// Header flags.
constexpr std::uint32_t WaveHeaderDone = 0x01;
constexpr std::uint32_t WaveHeaderPrepared = 0x02;
constexpr std::uint32_t WaveHeaderInQueue = 0x10;

// One buffer handed to a device. The memory at Data belongs to the caller and must stay valid
// until the buffer has come back through BufferDone (or the device was reset). While a buffer is
// queued its fields belong to the port's device thread; they are the caller's again once
// BufferDone has been called for it.
struct WaveHeader {
    unsigned char* Data = nullptr;
    std::uint32_t BufferLength = 0;  // bytes at Data to fill (input) or play (output)
    std::uint32_t BytesRecorded = 0; // input: bytes captured into Data when it comes back
    std::uintptr_t User = 0;         // the caller's own (the component keeps the slot number here)
    std::uint32_t Flags = 0;
    std::uint32_t Loops = 0;
    std::uint32_t BytesPlayed = 0; // output: bytes the port has handed to the device (its own)
};

// Receives the notifications of one open device, on the port's device thread.
class WaveCallback {
public:
    virtual ~WaveCallback() = default;
    virtual void WaveOpened() = 0;
    // A buffer has come back: full (input), played (output) or returned by a reset.
    virtual void WaveBufferDone(WaveHeader* header) = 0;
    virtual void WaveClosed() = 0;
};

using WaveHandle = std::uintptr_t;
using MixerHandle = std::uintptr_t;

// Receives the change notifications of an open mixer, on a thread of the port.
class MixerCallback {
public:
    virtual ~MixerCallback() = default;
    virtual void MixerControlChanged(std::uint32_t controlId) = 0;
};

struct MixerCaps {
    std::uint32_t Destinations = 0;
    std::string Name;
};

struct MixerLineInfo {
    std::uint32_t Destination = 0;
    std::uint32_t Source = 0; // meaningful for source lines only
    std::uint32_t LineId = 0;
    std::uint32_t Channels = 0;
    std::uint32_t Connections = 0; // destination lines: the number of source lines
    std::uint32_t Controls = 0;
    std::string Name;
};

enum class MixerControlType { Volume, Mute, Other };

struct MixerControlInfo {
    std::uint32_t ControlId = 0;
    MixerControlType Type = MixerControlType::Other;
    std::string Name;
};

// Source index meaning "the destination line itself" in MixerGetLineInfo.
constexpr std::int32_t MixerDestinationLine = -1;

class WavePort {
public:
    virtual ~WavePort() = default;

    virtual std::uint32_t InputDeviceCount() = 0;
    virtual std::uint32_t OutputDeviceCount() = 0;
    virtual std::uint32_t MixerDeviceCount() = 0;

    // Opens device `device` (or WaveMapper). On success the callback has received WaveOpened
    // before the call returns.
    virtual WaveResult OpenInput(WaveHandle& handle, std::uint32_t device, const PcmFormat& format,
                                 WaveCallback* callback) = 0;
    virtual WaveResult OpenOutput(WaveHandle& handle, std::uint32_t device, const PcmFormat& format,
                                  WaveCallback* callback) = 0;

    virtual WaveResult PrepareHeader(WaveHandle handle, WaveHeader* header) = 0;
    virtual WaveResult UnprepareHeader(WaveHandle handle, WaveHeader* header) = 0;

    // Queues a prepared buffer. Buffers come back one at a time, in queue order.
    virtual WaveResult AddInputBuffer(WaveHandle handle, WaveHeader* header) = 0;
    virtual WaveResult WriteOutputBuffer(WaveHandle handle, WaveHeader* header) = 0;

    virtual WaveResult StartInput(WaveHandle handle) = 0;

    // Stops the device and returns every pending buffer (a partly filled input buffer with its
    // byte count) before the call returns. Input stays stopped until StartInput.
    virtual WaveResult Reset(WaveHandle handle) = 0;

    // Closes the device; the callback has received WaveClosed before the call returns. Output
    // that was written and not reset is played to its end first.
    virtual WaveResult Close(WaveHandle handle) = 0;

    // The description of an error code, at most 255 characters (may be empty).
    virtual std::string ErrorText(WaveResult code) = 0;

    // Bytes of an output device that have actually been played so far: written minus the
    // device's delay. For the media player's position.
    virtual std::uint64_t PlayedBytes(WaveHandle handle) = 0;

    // Mixer.
    virtual WaveResult MixerGetCaps(std::uint32_t mixer, MixerCaps& caps) = 0;
    virtual WaveResult MixerOpen(MixerHandle& handle, std::uint32_t mixer,
                                 MixerCallback* callback) = 0;
    virtual WaveResult MixerClose(MixerHandle handle) = 0;
    // source: an index below the destination's Connections, or MixerDestinationLine.
    virtual WaveResult MixerGetLineInfo(MixerHandle handle, std::uint32_t destination,
                                        std::int32_t source, MixerLineInfo& info) = 0;
    virtual WaveResult MixerGetLineControls(MixerHandle handle, std::uint32_t lineId,
                                            std::vector<MixerControlInfo>& controls) = 0;
    // Values 0..65535 per channel for a volume, one value 0 or 1 for a mute. `values` holds
    // `channels` entries.
    virtual WaveResult MixerGetControlDetails(MixerHandle handle, std::uint32_t controlId,
                                              std::uint32_t channels, std::uint32_t* values) = 0;
    virtual WaveResult MixerSetControlDetails(MixerHandle handle, std::uint32_t controlId,
                                              std::uint32_t channels,
                                              const std::uint32_t* values) = 0;
};

// Cuts a description to the 255 characters the services promise.
inline std::string CutErrorText(std::string_view text) {
    return CutUtf8(text, 255);
}

} // namespace tellamo
