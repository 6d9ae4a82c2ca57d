#include "audio/AlsaWavePort.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <optional>
#include <thread>

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "common/Rounding.h"

namespace tellamo {

namespace {
constexpr unsigned LatencyMicroseconds = 500000; // the device's own buffer, beyond our four
constexpr int PollMilliseconds = 50;             // how soon a device thread notices a request
constexpr std::size_t QueueCapacity = 64;
} // namespace

// One open PCM device and the thread that serves it.
class AlsaWavePort::Device {
public:
    Device(snd_pcm_t* pcm, bool capture, unsigned frameBytes, unsigned rate, WaveCallback* callback)
        : Pcm(pcm), Capture(capture), FrameBytes(frameBytes), Rate(rate ? rate : 1),
          Callback(callback) {}

    ~Device() {
        if (Thread.joinable()) {
            Thread.join();
        }
    }

    void Start() {
        Thread = std::thread([this] { Run(); });
        std::unique_lock<std::mutex> lk(Lock);
        Changed.wait(lk, [this] { return Opened; });
    }

    WaveResult Queue(WaveHeader* header) {
        std::lock_guard<std::mutex> g(Lock);
        if (Count == QueueCapacity) {
            return -ENOBUFS;
        }
        header->Flags = (header->Flags & ~WaveHeaderDone) | WaveHeaderInQueue;
        if (Capture) {
            header->BytesRecorded = 0;
        }
        header->Reserved = 0; // bytes of it played so far
        Pending[(Head + Count) % QueueCapacity] = header;
        ++Count;
        Changed.notify_all();
        return WaveOk;
    }

    bool IsQueued(const WaveHeader* header) {
        std::lock_guard<std::mutex> g(Lock);
        for (std::size_t i = 0; i < Count; ++i) {
            if (Pending[(Head + i) % QueueCapacity] == header) {
                return true;
            }
        }
        return false;
    }

    void StartCapture() {
        std::lock_guard<std::mutex> g(Lock);
        Started = true;
        Changed.notify_all();
    }

    WaveResult Reset() {
        std::unique_lock<std::mutex> lk(Lock);
        ResetRequested = true;
        Interrupt.store(true);
        Changed.notify_all();
        Changed.wait(lk, [this] { return !ResetRequested; });
        return WaveOk;
    }

    WaveResult Close() {
        {
            std::lock_guard<std::mutex> g(Lock);
            if (Count > 0) {
                return -EBUSY; // buffers still with the device: reset first
            }
            CloseRequested = true;
            Interrupt.store(true);
            Changed.notify_all();
        }
        Thread.join();
        return WaveOk;
    }

    std::uint64_t PlayedBytes() {
        std::lock_guard<std::mutex> g(PcmLock);
        snd_pcm_sframes_t delay = 0;
        if (snd_pcm_delay(Pcm, &delay) != 0 || delay < 0) {
            delay = 0;
        }
        const std::uint64_t written = WrittenFrames.load();
        const auto d = static_cast<std::uint64_t>(delay);
        return (written > d ? written - d : 0) * FrameBytes;
    }

private:
    void Run() {
        Callback->WaveOpened();
        {
            std::lock_guard<std::mutex> g(Lock);
            Opened = true;
            Changed.notify_all();
        }
        bool drainAtClose = false;
        for (;;) {
            std::unique_lock<std::mutex> lk(Lock);
            Changed.wait(lk, [this] {
                return CloseRequested || ResetRequested || (Count > 0 && (Started || !Capture));
            });
            if (ResetRequested) {
                ReturnAll(lk);
                drainAtClose = false;
                continue;
            }
            if (CloseRequested) {
                break;
            }
            WaveHeader* h = Pending[Head];
            lk.unlock();
            const bool complete = Capture ? Fill(h) : Play(h);
            if (!complete) {
                continue; // a request interrupted the transfer; the top of the loop serves it
            }
            if (!Capture) {
                WaitTail();
            }
            lk.lock();
            Head = (Head + 1) % QueueCapacity;
            --Count;
            lk.unlock();
            drainAtClose = !Capture;
            h->Flags = (h->Flags & ~WaveHeaderInQueue) | WaveHeaderDone;
            Callback->WaveBufferDone(h);
        }
        {
            std::lock_guard<std::mutex> g(PcmLock);
            if (drainAtClose) {
                // What was written is played to its end before the device goes.
                snd_pcm_nonblock(Pcm, 0);
                snd_pcm_drain(Pcm);
            } else {
                snd_pcm_drop(Pcm);
            }
            snd_pcm_close(Pcm);
        }
        Callback->WaveClosed();
    }

    // Lock held on entry and on return; released while the callbacks run.
    void ReturnAll(std::unique_lock<std::mutex>& lk) {
        std::array<WaveHeader*, QueueCapacity> back{};
        const std::size_t n = Count;
        for (std::size_t i = 0; i < n; ++i) {
            back[i] = Pending[(Head + i) % QueueCapacity];
        }
        Head = 0;
        Count = 0;
        Started = false;
        lk.unlock();
        {
            std::lock_guard<std::mutex> g(PcmLock);
            snd_pcm_drop(Pcm);
            snd_pcm_prepare(Pcm);
        }
        for (std::size_t i = 0; i < n; ++i) {
            back[i]->Flags = (back[i]->Flags & ~WaveHeaderInQueue) | WaveHeaderDone;
            Callback->WaveBufferDone(back[i]);
        }
        lk.lock();
        ResetRequested = false;
        Interrupt.store(false);
        Changed.notify_all();
    }

    // Waits until the device can transfer; false when a request interrupts the wait.
    bool WaitReady() {
        while (!Interrupt.load()) {
            const int r = snd_pcm_wait(Pcm, PollMilliseconds);
            if (r > 0) {
                return true;
            }
            if (r < 0 && !Recover(r)) {
                // A device that cannot recover (unplugged, server gone): wait before trying
                // again instead of spinning; Reset and Close still get through.
                std::this_thread::sleep_for(std::chrono::milliseconds(PollMilliseconds));
            }
        }
        return false;
    }

    // When the buffer just written is the last one queued, it comes back only once the device
    // has played it (or more output arrives, or a request comes): so the end of a playback is
    // heard before the player closes the device, and the close need not wait on the window
    // thread.
    void WaitTail() {
        // A sound server's plugin never reports a delay of 0: once the stream has run dry it
        // goes on counting the server's own latency (tens of milliseconds, constant). So the
        // moment the ring runs dry (an xrun, which the pointer update reports) ends the wait
        // after that remaining delay, the time the last frame still needs to reach the output.
        // Should neither come, the sound written cannot take longer than its own length.
        using Clock = std::chrono::steady_clock;
        Clock::time_point deadline{};
        std::optional<Clock::time_point> dryEnd;
        for (bool first = true;; first = false) {
            if (Interrupt.load()) {
                return;
            }
            {
                std::lock_guard<std::mutex> g(Lock);
                if (Count > 1) {
                    return;
                }
            }
            snd_pcm_sframes_t delay = 0;
            bool dry = false;
            int r;
            {
                std::lock_guard<std::mutex> g(PcmLock);
                if (snd_pcm_state(Pcm) == SND_PCM_STATE_PREPARED) {
                    snd_pcm_start(Pcm); // less than a period was written: play it anyway
                }
                dry = snd_pcm_avail(Pcm) == -EPIPE;
                r = snd_pcm_delay(Pcm, &delay);
            }
            if (r < 0 || delay <= 0) {
                return;
            }
            const auto now = Clock::now();
            const auto left = std::chrono::microseconds(delay * 1000000LL / Rate);
            if (first) {
                deadline = now + std::chrono::milliseconds(200) + left;
            } else if (now >= deadline) {
                return;
            }
            if (dry && !dryEnd) {
                dryEnd = now + left;
            }
            if (dryEnd && now >= *dryEnd) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // An xrun or suspend is recovered before anything is reported; false when it cannot be.
    bool Recover(int error) {
        std::lock_guard<std::mutex> g(PcmLock);
        return snd_pcm_recover(Pcm, error, 1) >= 0 || snd_pcm_prepare(Pcm) >= 0;
    }

    bool Fill(WaveHeader* h) {
        while (h->BytesRecorded + FrameBytes <= h->BufferLength) {
            if (!WaitReady()) {
                return false;
            }
            snd_pcm_sframes_t got;
            {
                std::lock_guard<std::mutex> g(PcmLock);
                if (snd_pcm_state(Pcm) == SND_PCM_STATE_PREPARED) {
                    snd_pcm_start(Pcm);
                }
                got = snd_pcm_readi(Pcm, h->Data + h->BytesRecorded,
                                    (h->BufferLength - h->BytesRecorded) / FrameBytes);
            }
            if (got < 0 && got != -EAGAIN && !Recover(static_cast<int>(got))) {
                std::this_thread::sleep_for(std::chrono::milliseconds(PollMilliseconds));
            }
            if (got > 0) {
                h->BytesRecorded += static_cast<std::uint32_t>(got) * FrameBytes;
            }
        }
        return true;
    }

    bool Play(WaveHeader* h) {
        while (h->Reserved + FrameBytes <= h->BufferLength) {
            if (!WaitReady()) {
                return false;
            }
            snd_pcm_sframes_t put;
            {
                std::lock_guard<std::mutex> g(PcmLock);
                put = snd_pcm_writei(Pcm, h->Data + h->Reserved,
                                     (h->BufferLength - h->Reserved) / FrameBytes);
            }
            if (put < 0 && put != -EAGAIN && !Recover(static_cast<int>(put))) {
                std::this_thread::sleep_for(std::chrono::milliseconds(PollMilliseconds));
            }
            if (put > 0) {
                h->Reserved += static_cast<std::uint32_t>(put) * FrameBytes;
                WrittenFrames.fetch_add(static_cast<std::uint64_t>(put));
            }
        }
        return true;
    }

    snd_pcm_t* const Pcm;
    const bool Capture;
    const unsigned FrameBytes;
    const unsigned Rate;
    WaveCallback* const Callback;
    std::thread Thread;
    // Serialises the calls on Pcm between the device thread and PlayedBytes.
    std::mutex PcmLock;
    // Requests and the queue, shared by the window thread and the device thread: guarded by Lock.
    std::mutex Lock;
    std::condition_variable Changed;
    std::array<WaveHeader*, QueueCapacity> Pending{};
    std::size_t Head = 0;
    std::size_t Count = 0;
    bool Opened = false;
    bool Started = false;
    bool ResetRequested = false;
    bool CloseRequested = false;
    // Set with a request so that a transfer in progress stops waiting for the device: atomic.
    std::atomic<bool> Interrupt{false};
    // Frames handed to ALSA for playback: written by the device thread, read by PlayedBytes.
    std::atomic<std::uint64_t> WrittenFrames{0};
};

namespace {
// The program keeps no log: ALSA's own diagnostics on stderr are dropped; every failure reaches
// the caller as an error code.
void SilentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}
} // namespace

AlsaWavePort::AlsaWavePort() {
    snd_lib_error_set_handler(SilentAlsaErrors);
}

AlsaWavePort::~AlsaWavePort() {
    std::map<WaveHandle, std::shared_ptr<Device>> devices;
    {
        std::lock_guard<std::mutex> g(Lock);
        devices.swap(Devices);
    }
    for (auto& [handle, device] : devices) {
        device->Reset();
        device->Close();
    }
    MixerClose(1);
}

std::vector<std::string> AlsaWavePort::CardDevices(bool capture) {
    std::vector<std::string> names;
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        snd_ctl_t* ctl = nullptr;
        const std::string ctlName = "hw:" + std::to_string(card);
        if (snd_ctl_open(&ctl, ctlName.c_str(), 0) < 0) {
            continue;
        }
        snd_pcm_info_t* info = nullptr;
        snd_pcm_info_malloc(&info);
        int dev = -1;
        while (snd_ctl_pcm_next_device(ctl, &dev) == 0 && dev >= 0) {
            snd_pcm_info_set_device(info, static_cast<unsigned>(dev));
            snd_pcm_info_set_subdevice(info, 0);
            snd_pcm_info_set_stream(info,
                                    capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK);
            if (snd_ctl_pcm_info(ctl, info) >= 0) {
                names.push_back("plughw:" + std::to_string(card) + "," + std::to_string(dev));
            }
        }
        snd_pcm_info_free(info);
        snd_ctl_close(ctl);
    }
    if (names.size() > 10) {
        names.resize(10);
    }
    return names;
}

std::uint32_t AlsaWavePort::DeviceCount(bool capture) {
    const std::size_t cards = CardDevices(capture).size();
    if (cards > 0) {
        return static_cast<std::uint32_t>(cards);
    }
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK,
                     SND_PCM_NONBLOCK) < 0) {
        return 0;
    }
    snd_pcm_close(pcm);
    return 1;
}

std::uint32_t AlsaWavePort::InputDeviceCount() {
    return DeviceCount(true);
}
std::uint32_t AlsaWavePort::OutputDeviceCount() {
    return DeviceCount(false);
}

WaveResult AlsaWavePort::Open(WaveHandle& handle, bool capture, std::uint32_t device,
                              const PcmFormat& format, WaveCallback* callback) {
    std::string name = "default";
    if (device != WaveMapper) {
        const std::vector<std::string> cards = CardDevices(capture);
        if (device < cards.size()) {
            name = cards[device];
        } else if (!(cards.empty() && device == 0 && DeviceCount(capture) == 1)) {
            return -ENODEV;
        }
    }
    if (format.FormatTag != 1 || format.Channels == 0 ||
        (format.BitsPerSample != 8 && format.BitsPerSample != 16) ||
        format.BlockAlign != format.Channels * (format.BitsPerSample / 8)) {
        return -EINVAL;
    }
    snd_pcm_t* pcm = nullptr;
    int r = snd_pcm_open(&pcm, name.c_str(),
                         capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK, 0);
    if (r < 0) {
        return r;
    }
    r = snd_pcm_set_params(pcm,
                           format.BitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE,
                           SND_PCM_ACCESS_RW_INTERLEAVED, format.Channels, format.SamplesPerSec, 1,
                           LatencyMicroseconds);
    if (r >= 0 && !capture) {
        // Start playing after the first period, not when the whole device buffer is full.
        snd_pcm_uframes_t bufferSize = 0, periodSize = 0;
        snd_pcm_sw_params_t* sw = nullptr;
        if (snd_pcm_get_params(pcm, &bufferSize, &periodSize) >= 0 &&
            snd_pcm_sw_params_malloc(&sw) >= 0) {
            if (snd_pcm_sw_params_current(pcm, sw) >= 0 &&
                snd_pcm_sw_params_set_start_threshold(pcm, sw, periodSize) >= 0) {
                r = snd_pcm_sw_params(pcm, sw);
            }
            snd_pcm_sw_params_free(sw);
        }
    }
    if (r >= 0) {
        r = snd_pcm_nonblock(pcm, 1);
    }
    if (r >= 0) {
        r = snd_pcm_prepare(pcm);
    }
    if (r < 0) {
        snd_pcm_close(pcm);
        return r;
    }
    auto dev =
        std::make_shared<Device>(pcm, capture, format.BlockAlign, format.SamplesPerSec, callback);
    dev->Start();
    std::lock_guard<std::mutex> g(Lock);
    handle = NextHandle++;
    Devices[handle] = std::move(dev);
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

std::shared_ptr<AlsaWavePort::Device> AlsaWavePort::Find(WaveHandle handle) {
    std::lock_guard<std::mutex> g(Lock);
    auto it = Devices.find(handle);
    return it == Devices.end() ? nullptr : it->second;
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
        std::lock_guard<std::mutex> g(Lock);
        Devices.erase(handle);
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

// ---------------------------------------------------------------------------------------------
// Mixer

// The simple mixer of the "default" control device laid out as destinations and sources, and
// the watcher thread that reports changed controls. The ALSA handle and the cached values are
// shared by the window thread (get, set) and the watcher: guarded by Lock.
class AlsaWavePort::Mixer {
public:
    struct Element {
        snd_mixer_elem_t* Elem = nullptr;
        bool Capture = false;
        bool HasVolume = false;
        bool HasSwitch = false;
        long Min = 0, Max = 0;
        std::uint32_t Channels = 2;
        std::array<long, 2> LastVolume{};
        int LastSwitch = 1;
        std::string Name;
    };
    struct Destination {
        int Self = -1;
        std::vector<int> Sources;
    };

    ~Mixer() { Stop(); }

    WaveResult Load() {
        int r = snd_mixer_open(&Handle, 0);
        if (r < 0) {
            Handle = nullptr;
            return r;
        }
        if ((r = snd_mixer_attach(Handle, "default")) < 0 ||
            (r = snd_mixer_selem_register(Handle, nullptr, nullptr)) < 0 ||
            (r = snd_mixer_load(Handle)) < 0) {
            snd_mixer_close(Handle);
            Handle = nullptr;
            return r;
        }
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(Handle); e; e = snd_mixer_elem_next(e)) {
            if (!snd_mixer_selem_is_active(e)) {
                continue;
            }
            // An element with both directions is listed once for each.
            for (const bool capture : {false, true}) {
                const bool volume = capture ? snd_mixer_selem_has_capture_volume(e)
                                            : snd_mixer_selem_has_playback_volume(e);
                const bool toggle = capture ? snd_mixer_selem_has_capture_switch(e)
                                            : snd_mixer_selem_has_playback_switch(e);
                if (!volume && !toggle) {
                    continue;
                }
                Element el;
                el.Elem = e;
                el.Capture = capture;
                el.HasVolume = volume;
                el.HasSwitch = toggle;
                if (volume) {
                    if (capture) {
                        snd_mixer_selem_get_capture_volume_range(e, &el.Min, &el.Max);
                    } else {
                        snd_mixer_selem_get_playback_volume_range(e, &el.Min, &el.Max);
                    }
                }
                const bool mono = capture ? snd_mixer_selem_is_capture_mono(e)
                                          : snd_mixer_selem_is_playback_mono(e);
                el.Channels = mono ? 1 : 2;
                el.Name = snd_mixer_selem_get_name(e);
                Elements.push_back(el);
            }
        }
        for (bool capture : {false, true}) {
            Destination d;
            const char* preferred = capture ? "Capture" : "Master";
            for (std::size_t i = 0; i < Elements.size() && d.Self < 0; ++i) {
                if (Elements[i].Capture == capture && Elements[i].HasVolume &&
                    Elements[i].Name == preferred) {
                    d.Self = static_cast<int>(i);
                }
            }
            for (std::size_t i = 0; i < Elements.size() && d.Self < 0; ++i) {
                if (Elements[i].Capture == capture && Elements[i].HasVolume) {
                    d.Self = static_cast<int>(i);
                }
            }
            for (std::size_t i = 0; i < Elements.size() && d.Self < 0; ++i) {
                if (Elements[i].Capture == capture) {
                    d.Self = static_cast<int>(i);
                }
            }
            if (d.Self < 0) {
                continue;
            }
            for (std::size_t i = 0; i < Elements.size(); ++i) {
                if (Elements[i].Capture == capture && static_cast<int>(i) != d.Self) {
                    d.Sources.push_back(static_cast<int>(i));
                }
            }
            Destinations.push_back(d);
        }
        for (Element& el : Elements) {
            ReadRaw(el, el.LastVolume, el.LastSwitch);
        }
        return WaveOk;
    }

    void StartWatching(MixerCallback* callback) {
        Callback = callback;
        WakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        Watcher = std::thread([this] { Watch(); });
    }

    void Stop() {
        if (Watcher.joinable()) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(WakeFd, &one, sizeof one);
            Watcher.join();
        }
        if (WakeFd >= 0) {
            ::close(WakeFd);
            WakeFd = -1;
        }
        if (Handle) {
            snd_mixer_close(Handle);
            Handle = nullptr;
        }
    }

    void ReadRaw(const Element& el, std::array<long, 2>& volume, int& sw) {
        volume = {0, 0};
        sw = 1;
        for (std::uint32_t c = 0; c < el.Channels && c < 2; ++c) {
            const auto ch = static_cast<snd_mixer_selem_channel_id_t>(c);
            if (el.HasVolume) {
                if (el.Capture) {
                    snd_mixer_selem_get_capture_volume(el.Elem, ch, &volume[c]);
                } else {
                    snd_mixer_selem_get_playback_volume(el.Elem, ch, &volume[c]);
                }
            }
        }
        if (el.HasSwitch) {
            if (el.Capture) {
                snd_mixer_selem_get_capture_switch(el.Elem, SND_MIXER_SCHN_FRONT_LEFT, &sw);
            } else {
                snd_mixer_selem_get_playback_switch(el.Elem, SND_MIXER_SCHN_FRONT_LEFT, &sw);
            }
        }
    }

    std::uint32_t ToValue(const Element& el, long raw) const {
        if (el.Max <= el.Min) {
            return 0;
        }
        const double v =
            static_cast<double>(raw - el.Min) * 65535.0 / static_cast<double>(el.Max - el.Min);
        return static_cast<std::uint32_t>(std::clamp<std::int64_t>(RoundHalfEven(v), 0, 65535));
    }

    long ToRaw(const Element& el, std::uint32_t value) const {
        const double r = static_cast<double>(std::min<std::uint32_t>(value, 65535)) *
                         static_cast<double>(el.Max - el.Min) / 65535.0;
        return el.Min + static_cast<long>(RoundHalfEven(r));
    }

    // Locks: Lock guards the ALSA mixer handle and the element cache, shared with the watcher.
    std::mutex Lock;
    snd_mixer_t* Handle = nullptr;
    std::vector<Element> Elements;
    std::vector<Destination> Destinations;

private:
    void Watch() {
        std::vector<pollfd> fds;
        for (;;) {
            {
                std::lock_guard<std::mutex> g(Lock);
                const int n = snd_mixer_poll_descriptors_count(Handle);
                fds.assign(static_cast<std::size_t>(std::max(n, 0)) + 1, pollfd{});
                if (n > 0) {
                    snd_mixer_poll_descriptors(Handle, fds.data() + 1, static_cast<unsigned>(n));
                }
            }
            fds[0] = pollfd{WakeFd, POLLIN, 0};
            const int r = ::poll(fds.data(), fds.size(), -1);
            if (r < 0 && errno == EINTR) {
                continue;
            }
            if (r < 0 || (fds[0].revents & POLLIN)) {
                return;
            }
            std::array<std::uint32_t, 128> changed{};
            std::size_t count = 0;
            {
                std::lock_guard<std::mutex> g(Lock);
                snd_mixer_handle_events(Handle);
                for (std::size_t i = 0; i < Elements.size(); ++i) {
                    Element& el = Elements[i];
                    std::array<long, 2> volume{};
                    int sw = 1;
                    ReadRaw(el, volume, sw);
                    if (volume != el.LastVolume && count < changed.size()) {
                        changed[count++] = static_cast<std::uint32_t>(2 * i + 1);
                    }
                    if (sw != el.LastSwitch && count < changed.size()) {
                        changed[count++] = static_cast<std::uint32_t>(2 * i + 2);
                    }
                    el.LastVolume = volume;
                    el.LastSwitch = sw;
                }
            }
            for (std::size_t i = 0; i < count; ++i) {
                Callback->MixerControlChanged(changed[i]);
            }
        }
    }

    MixerCallback* Callback = nullptr;
    int WakeFd = -1;
    std::thread Watcher;
};

std::uint32_t AlsaWavePort::MixerDeviceCount() {
    Mixer probe;
    return probe.Load() == WaveOk ? 1 : 0;
}

WaveResult AlsaWavePort::MixerGetCaps(std::uint32_t mixer, MixerCaps& caps) {
    if (mixer != 0) {
        return -ENODEV;
    }
    Mixer probe;
    const WaveResult r = probe.Load();
    if (r != WaveOk) {
        return r;
    }
    caps.Destinations = static_cast<std::uint32_t>(probe.Destinations.size());
    caps.Name = "default";
    return WaveOk;
}

WaveResult AlsaWavePort::MixerOpen(MixerHandle& handle, std::uint32_t mixer,
                                   MixerCallback* callback) {
    if (mixer != 0) {
        return -ENODEV;
    }
    auto m = std::make_unique<Mixer>();
    const WaveResult r = m->Load();
    if (r != WaveOk) {
        return r;
    }
    m->StartWatching(callback);
    std::unique_ptr<Mixer> old;
    {
        std::lock_guard<std::mutex> g(Lock);
        old = std::move(OpenMixer);
        OpenMixer = std::move(m);
    }
    handle = 1;
    return WaveOk;
}

WaveResult AlsaWavePort::MixerClose(MixerHandle handle) {
    std::unique_ptr<Mixer> m;
    {
        std::lock_guard<std::mutex> g(Lock);
        if (handle != 1 || !OpenMixer) {
            return -EINVAL;
        }
        m = std::move(OpenMixer);
    }
    m->Stop();
    return WaveOk;
}

WaveResult AlsaWavePort::MixerGetLineInfo(MixerHandle handle, std::uint32_t destination,
                                          std::int32_t source, MixerLineInfo& info) {
    std::lock_guard<std::mutex> g(Lock);
    if (handle != 1 || !OpenMixer) {
        return -EINVAL;
    }
    Mixer& m = *OpenMixer;
    if (destination >= m.Destinations.size()) {
        return -EINVAL;
    }
    const Mixer::Destination& d = m.Destinations[destination];
    int index = d.Self;
    if (source != MixerDestinationLine) {
        if (source < 0 || static_cast<std::size_t>(source) >= d.Sources.size()) {
            return -EINVAL;
        }
        index = d.Sources[static_cast<std::size_t>(source)];
    }
    const Mixer::Element& el = m.Elements[static_cast<std::size_t>(index)];
    info.Destination = destination;
    info.Source = source == MixerDestinationLine ? 0 : static_cast<std::uint32_t>(source);
    info.LineId = static_cast<std::uint32_t>(index);
    info.Channels = el.Channels;
    info.Connections =
        source == MixerDestinationLine ? static_cast<std::uint32_t>(d.Sources.size()) : 0;
    info.Controls = (el.HasVolume ? 1u : 0u) + (el.HasSwitch ? 1u : 0u);
    info.Name = el.Name;
    return WaveOk;
}

WaveResult AlsaWavePort::MixerGetLineControls(MixerHandle handle, std::uint32_t lineId,
                                              std::vector<MixerControlInfo>& controls) {
    std::lock_guard<std::mutex> g(Lock);
    if (handle != 1 || !OpenMixer || lineId >= OpenMixer->Elements.size()) {
        return -EINVAL;
    }
    const Mixer::Element& el = OpenMixer->Elements[lineId];
    controls.clear();
    if (el.HasVolume) {
        controls.push_back({2 * lineId + 1, MixerControlType::Volume, el.Name + " Volume"});
    }
    if (el.HasSwitch) {
        controls.push_back({2 * lineId + 2, MixerControlType::Mute, el.Name + " Mute"});
    }
    return WaveOk;
}

WaveResult AlsaWavePort::MixerGetControlDetails(MixerHandle handle, std::uint32_t controlId,
                                                std::uint32_t channels, std::uint32_t* values) {
    std::lock_guard<std::mutex> g(Lock);
    if (handle != 1 || !OpenMixer || controlId == 0) {
        return -EINVAL;
    }
    Mixer& m = *OpenMixer;
    const std::size_t index = (controlId - 1) / 2;
    const bool isVolume = controlId % 2 == 1;
    if (index >= m.Elements.size()) {
        return -EINVAL;
    }
    const Mixer::Element& el = m.Elements[index];
    if ((isVolume && !el.HasVolume) || (!isVolume && !el.HasSwitch)) {
        return -EINVAL;
    }
    std::lock_guard<std::mutex> mg(m.Lock);
    std::array<long, 2> volume{};
    int sw = 1;
    m.ReadRaw(el, volume, sw);
    for (std::uint32_t c = 0; c < channels; ++c) {
        values[c] = isVolume ? m.ToValue(el, volume[std::min<std::uint32_t>(c, el.Channels - 1)])
                             : (sw ? 0u : 1u);
    }
    return WaveOk;
}

WaveResult AlsaWavePort::MixerSetControlDetails(MixerHandle handle, std::uint32_t controlId,
                                                std::uint32_t channels,
                                                const std::uint32_t* values) {
    std::lock_guard<std::mutex> g(Lock);
    if (handle != 1 || !OpenMixer || controlId == 0 || channels == 0) {
        return -EINVAL;
    }
    Mixer& m = *OpenMixer;
    const std::size_t index = (controlId - 1) / 2;
    const bool isVolume = controlId % 2 == 1;
    if (index >= m.Elements.size()) {
        return -EINVAL;
    }
    const Mixer::Element& el = m.Elements[index];
    std::lock_guard<std::mutex> mg(m.Lock);
    int r = 0;
    if (isVolume) {
        if (!el.HasVolume) {
            return -EINVAL;
        }
        if (channels == 1 || el.Channels == 1) {
            const long raw = m.ToRaw(el, values[0]);
            r = el.Capture ? snd_mixer_selem_set_capture_volume_all(el.Elem, raw)
                           : snd_mixer_selem_set_playback_volume_all(el.Elem, raw);
        } else {
            for (std::uint32_t c = 0; c < 2 && r >= 0; ++c) {
                const auto ch = static_cast<snd_mixer_selem_channel_id_t>(c);
                const long raw = m.ToRaw(el, values[c]);
                r = el.Capture ? snd_mixer_selem_set_capture_volume(el.Elem, ch, raw)
                               : snd_mixer_selem_set_playback_volume(el.Elem, ch, raw);
            }
        }
    } else {
        if (!el.HasSwitch) {
            return -EINVAL;
        }
        const int on = values[0] ? 0 : 1; // a mute is the switch turned off
        r = el.Capture ? snd_mixer_selem_set_capture_switch_all(el.Elem, on)
                       : snd_mixer_selem_set_playback_switch_all(el.Elem, on);
    }
    return r < 0 ? r : WaveOk;
}

} // namespace tellamo
