#include "audio/AlsaWavePort.h"

#include <cerrno>

#include <alsa/asoundlib.h>

#include "audio/AlsaDeviceList.h"
#include "audio/AlsaMixer.h"
#include "audio/AlsaPcmDevice.h"

namespace tellamo {

namespace {
// The port opens one mixer at a time, always under this handle.
constexpr MixerHandle OnlyMixerHandle = 1;

// The program keeps no log: ALSA's own diagnostics on stderr are dropped; every failure reaches
// the caller as an error code.
void SilentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}
} // namespace

AlsaWavePort::AlsaWavePort() {
    snd_lib_error_set_handler(SilentAlsaErrors);
}

AlsaWavePort::~AlsaWavePort() {
    std::map<WaveHandle, std::shared_ptr<alsa::PcmDevice>> devices;
    {
        std::lock_guard<std::mutex> g(mOpenLock);
        devices.swap(mDevices);
    }
    for (auto& [handle, device] : devices) {
        device->Reset();
        device->Close();
    }
    MixerClose(OnlyMixerHandle);
}

std::uint32_t AlsaWavePort::InputDeviceCount() {
    return alsa::DeviceCount(true);
}

std::uint32_t AlsaWavePort::OutputDeviceCount() {
    return alsa::DeviceCount(false);
}

WaveResult AlsaWavePort::Open(WaveHandle& handle, bool capture, std::uint32_t device,
                              const PcmFormat& format, WaveCallback* callback) {
    const std::string name = alsa::DeviceName(capture, device);
    if (name.empty()) {
        return -ENODEV;
    }
    std::shared_ptr<alsa::PcmDevice> dev;
    const WaveResult r = alsa::PcmDevice::Open(name, capture, format, callback, dev);
    if (r != WaveOk) {
        return r;
    }
    std::lock_guard<std::mutex> g(mOpenLock);
    handle = mNextHandle++;
    mDevices[handle] = std::move(dev);
    return WaveOk;
}

WaveResult AlsaWavePort::OpenInput(WaveHandle& handle, std::uint32_t device,
                                   const PcmFormat& format, WaveCallback* callback) {
    return Open(handle, true, device, format, callback);
}

WaveResult AlsaWavePort::OpenOutput(WaveHandle& handle, std::uint32_t device,
                                    const PcmFormat& format, WaveCallback* callback) {
    return Open(handle, false, device, format, callback);
}

std::shared_ptr<alsa::PcmDevice> AlsaWavePort::Find(WaveHandle handle) {
    std::lock_guard<std::mutex> g(mOpenLock);
    auto it = mDevices.find(handle);
    return it == mDevices.end() ? nullptr : it->second;
}

WaveResult AlsaWavePort::PrepareHeader(WaveHandle handle, WaveHeader* header) {
    if (!Find(handle) || header == nullptr || header->Data == nullptr) {
        return -EINVAL;
    }
    header->Flags |= WaveHeaderPrepared;
    return WaveOk;
}

WaveResult AlsaWavePort::UnprepareHeader(WaveHandle handle, WaveHeader* header) {
    const auto dev = Find(handle);
    if (!dev || header == nullptr) {
        return -EINVAL;
    }
    if (dev->IsQueued(header)) {
        return -EBUSY;
    }
    header->Flags &= ~WaveHeaderPrepared;
    return WaveOk;
}

WaveResult AlsaWavePort::AddInputBuffer(WaveHandle handle, WaveHeader* header) {
    const auto dev = Find(handle);
    if (!dev || (header->Flags & WaveHeaderPrepared) == 0) {
        return -EINVAL;
    }
    return dev->Queue(header);
}

WaveResult AlsaWavePort::WriteOutputBuffer(WaveHandle handle, WaveHeader* header) {
    return AddInputBuffer(handle, header);
}

WaveResult AlsaWavePort::StartInput(WaveHandle handle) {
    const auto dev = Find(handle);
    if (!dev) {
        return -EINVAL;
    }
    dev->StartCapture();
    return WaveOk;
}

WaveResult AlsaWavePort::Reset(WaveHandle handle) {
    const auto dev = Find(handle);
    return dev ? dev->Reset() : -EINVAL;
}

WaveResult AlsaWavePort::Close(WaveHandle handle) {
    const auto dev = Find(handle);
    if (!dev) {
        return -EINVAL;
    }
    const WaveResult r = dev->Close();
    if (r == WaveOk) {
        std::lock_guard<std::mutex> g(mOpenLock);
        mDevices.erase(handle);
    }
    return r;
}

std::string AlsaWavePort::ErrorText(WaveResult code) {
    return CutErrorText(snd_strerror(code));
}

std::uint64_t AlsaWavePort::PlayedBytes(WaveHandle handle) {
    const auto dev = Find(handle);
    return dev ? dev->PlayedBytes() : 0;
}

std::uint32_t AlsaWavePort::MixerDeviceCount() {
    alsa::Mixer probe;
    return probe.Load() == WaveOk ? 1 : 0;
}

WaveResult AlsaWavePort::MixerGetCaps(std::uint32_t mixer, MixerCaps& caps) {
    if (mixer != 0) {
        return -ENODEV;
    }
    alsa::Mixer probe;
    const WaveResult r = probe.Load();
    if (r != WaveOk) {
        return r;
    }
    caps.Destinations = probe.DestinationCount();
    caps.Name = "default";
    return WaveOk;
}

WaveResult AlsaWavePort::MixerOpen(MixerHandle& handle, std::uint32_t mixer,
                                   MixerCallback* callback) {
    if (mixer != 0) {
        return -ENODEV;
    }
    auto m = std::make_unique<alsa::Mixer>();
    WaveResult r = m->Load();
    if (r == WaveOk) {
        r = m->StartWatching(callback);
    }
    if (r != WaveOk) {
        return r;
    }
    std::unique_ptr<alsa::Mixer> old;
    {
        std::lock_guard<std::mutex> g(mOpenLock);
        old = std::move(mMixer);
        mMixer = std::move(m);
    }
    handle = OnlyMixerHandle;
    return WaveOk;
}

WaveResult AlsaWavePort::MixerClose(MixerHandle handle) {
    std::unique_ptr<alsa::Mixer> m;
    {
        std::lock_guard<std::mutex> g(mOpenLock);
        if (handle != OnlyMixerHandle || !mMixer) {
            return -EINVAL;
        }
        m = std::move(mMixer);
    }
    m->Stop();
    return WaveOk;
}

WaveResult AlsaWavePort::MixerGetLineInfo(MixerHandle handle, std::uint32_t destination,
                                          std::int32_t source, MixerLineInfo& info) {
    std::lock_guard<std::mutex> g(mOpenLock);
    if (handle != OnlyMixerHandle || !mMixer) {
        return -EINVAL;
    }
    return mMixer->LineInfo(destination, source, info);
}

WaveResult AlsaWavePort::MixerGetLineControls(MixerHandle handle, std::uint32_t lineId,
                                              std::vector<MixerControlInfo>& controls) {
    std::lock_guard<std::mutex> g(mOpenLock);
    if (handle != OnlyMixerHandle || !mMixer) {
        return -EINVAL;
    }
    return mMixer->LineControls(lineId, controls);
}

WaveResult AlsaWavePort::MixerGetControlDetails(MixerHandle handle, std::uint32_t controlId,
                                                std::uint32_t channels, std::uint32_t* values) {
    std::lock_guard<std::mutex> g(mOpenLock);
    if (handle != OnlyMixerHandle || !mMixer) {
        return -EINVAL;
    }
    return mMixer->GetDetails(controlId, channels, values);
}

WaveResult AlsaWavePort::MixerSetControlDetails(MixerHandle handle, std::uint32_t controlId,
                                                std::uint32_t channels,
                                                const std::uint32_t* values) {
    std::lock_guard<std::mutex> g(mOpenLock);
    if (handle != OnlyMixerHandle || !mMixer) {
        return -EINVAL;
    }
    return mMixer->SetDetails(controlId, channels, values);
}

} // namespace tellamo
