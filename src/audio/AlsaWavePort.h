#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/WavePort.h"

namespace tellamo {

// The wave-audio port over ALSA.
//
// Devices: the mapper is ALSA's "default" PCM; numbers 0..9 are the cards' PCM devices of the
// stream's direction in ALSA's order (opened through "plughw", so that any format converts).
// On a machine without cards whose "default" opens (a sound server), that one device counts.
//
// Threads: each open device has a thread of its own that plays the driver's callback thread. It
// captures into (or plays from) the queued buffers in queue order and returns each through the
// device's callback, full or played; Reset hands it a request and returns once every pending
// buffer is back. An xrun is recovered with snd_pcm_recover before anything is reported. No
// lock of the port is held while a callback runs.
//
// Mixer: ALSA's simple mixer on the "default" control device. Destination 0 is the master
// playback element ("Master", else the first element with a playback volume) and its sources
// are the other playback elements in ALSA's order; then a capture destination ("Capture", else
// the first element with a capture volume) with the other capture elements. Each element has a
// line identifier (its index) and control identifiers 2 * index + 1 (volume) and 2 * index + 2
// (mute, the inverse of ALSA's switch). Volumes are scaled linearly between the element's range
// and 0..65535. A watcher thread waits on the mixer's poll descriptors and reports each control
// whose value changed.
class AlsaWavePort final : public WavePort {
public:
    AlsaWavePort();
    ~AlsaWavePort() override;
    AlsaWavePort(const AlsaWavePort&) = delete;
    AlsaWavePort& operator=(const AlsaWavePort&) = delete;

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

    class Device;
    class Mixer;

private:
    WaveResult Open(WaveHandle& handle, bool capture, std::uint32_t device, const PcmFormat& format,
                    WaveCallback* callback);
    std::shared_ptr<Device> Find(WaveHandle handle);
    std::vector<std::string> CardDevices(bool capture);
    std::uint32_t DeviceCount(bool capture);

    // The open devices and the mixer, touched by the window thread's calls; guarded by Lock
    // (the device threads never touch them).
    std::mutex Lock;
    std::map<WaveHandle, std::shared_ptr<Device>> Devices;
    WaveHandle NextHandle = 1;
    std::unique_ptr<Mixer> OpenMixer;
};

} // namespace tellamo
