#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/WavePort.h"

namespace tellamo {

namespace alsa {
class Mixer;
class PcmDevice;
} // namespace alsa

// The wave-audio port over ALSA.
//
// Devices (AlsaDeviceList): the mapper is ALSA's "default" PCM; numbers 0..9 are the cards' PCM
// devices of the stream's direction in ALSA's order (opened through "plughw", so that any format
// converts). On a machine without cards whose "default" opens (a sound server), that one device
// counts.
//
// Threads: each open device (AlsaPcmDevice) has a thread of its own that plays the driver's
// callback thread; Reset hands it a request and returns once every pending buffer is back. The
// mixer (AlsaMixer) is ALSA's simple mixer on the "default" control device, with a watcher
// thread that reports each control whose value changed. No lock of the port is held while a
// callback runs.
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

private:
    WaveResult Open(WaveHandle& handle, bool capture, std::uint32_t device, const PcmFormat& format,
                    WaveCallback* callback);
    std::shared_ptr<alsa::PcmDevice> Find(WaveHandle handle);

    // The open devices and the mixer, touched by the window thread's calls; the device threads
    // and the mixer's watcher never touch them.
    //
    // Lock order: mOpenLock first. The mixer calls run under it (so that a close cannot take
    // the mixer away in the middle of one) and take the mixer's own lock inside; a device is
    // looked up under it and called after it is released, so a device's locks are never taken
    // under it.
    std::mutex mOpenLock;
    std::map<WaveHandle, std::shared_ptr<alsa::PcmDevice>> mDevices; // guarded by mOpenLock
    WaveHandle mNextHandle = 1;                                      // guarded by mOpenLock
    std::unique_ptr<alsa::Mixer> mMixer;                             // guarded by mOpenLock
};

} // namespace tellamo
