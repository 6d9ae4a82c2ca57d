#include "audio/AlsaMixer.h"

#include <algorithm>
#include <cerrno>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "common/Rounding.h"

namespace tellamo::alsa {

namespace {
constexpr std::size_t MaxChangesPerEvent = 128;

std::uint32_t ToValue(long min, long max, long raw) {
    if (max <= min) {
        return 0;
    }
    const double v = static_cast<double>(raw - min) * 65535.0 / static_cast<double>(max - min);
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(RoundHalfEven(v), 0, 65535));
}

long ToRaw(long min, long max, std::uint32_t value) {
    const double r = static_cast<double>(std::min<std::uint32_t>(value, 65535)) *
                     static_cast<double>(max - min) / 65535.0;
    return min + static_cast<long>(RoundHalfEven(r));
}
} // namespace

Mixer::~Mixer() {
    Stop();
}

WaveResult Mixer::Load() {
    int r = snd_mixer_open(&mHandle, 0);
    if (r < 0) {
        mHandle = nullptr;
        return r;
    }
    if ((r = snd_mixer_attach(mHandle, "default")) < 0 ||
        (r = snd_mixer_selem_register(mHandle, nullptr, nullptr)) < 0 ||
        (r = snd_mixer_load(mHandle)) < 0) {
        snd_mixer_close(mHandle);
        mHandle = nullptr;
        return r;
    }
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mHandle); e; e = snd_mixer_elem_next(e)) {
        if (snd_mixer_selem_is_active(e)) {
            AddElements(e);
        }
    }
    LayOutDestinations();
    for (Element& el : mElements) {
        ReadRaw(el, el.LastVolume, el.LastSwitch);
    }
    return WaveOk;
}

// An element with both directions is listed once for each.
void Mixer::AddElements(snd_mixer_elem_t* e) {
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
        const bool mono =
            capture ? snd_mixer_selem_is_capture_mono(e) : snd_mixer_selem_is_playback_mono(e);
        el.Channels = mono ? 1 : 2;
        el.Name = snd_mixer_selem_get_name(e);
        mElements.push_back(el);
    }
}

void Mixer::LayOutDestinations() {
    for (bool capture : {false, true}) {
        Destination d;
        const char* preferred = capture ? "Capture" : "Master";
        for (std::size_t i = 0; i < mElements.size() && d.Self < 0; ++i) {
            if (mElements[i].Capture == capture && mElements[i].HasVolume &&
                mElements[i].Name == preferred) {
                d.Self = static_cast<int>(i);
            }
        }
        for (std::size_t i = 0; i < mElements.size() && d.Self < 0; ++i) {
            if (mElements[i].Capture == capture && mElements[i].HasVolume) {
                d.Self = static_cast<int>(i);
            }
        }
        for (std::size_t i = 0; i < mElements.size() && d.Self < 0; ++i) {
            if (mElements[i].Capture == capture) {
                d.Self = static_cast<int>(i);
            }
        }
        if (d.Self < 0) {
            continue;
        }
        for (std::size_t i = 0; i < mElements.size(); ++i) {
            if (mElements[i].Capture == capture && static_cast<int>(i) != d.Self) {
                d.Sources.push_back(static_cast<int>(i));
            }
        }
        mDests.push_back(d);
    }
}

WaveResult Mixer::StartWatching(MixerCallback* callback) {
    mCallback = callback;
    mWakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (mWakeFd < 0) {
        return -errno; // without it the watcher could never be stopped
    }
    mWatcher = std::thread([this] { Watch(); });
    return WaveOk;
}

void Mixer::Stop() {
    if (mWatcher.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(mWakeFd, &one, sizeof one);
        mWatcher.join();
    }
    if (mWakeFd >= 0) {
        ::close(mWakeFd);
        mWakeFd = -1;
    }
    if (mHandle) {
        snd_mixer_close(mHandle);
        mHandle = nullptr;
    }
}

void Mixer::ReadRaw(const Element& el, std::array<long, 2>& volume, int& sw) {
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

void Mixer::Watch() {
    std::vector<pollfd> fds;
    for (;;) {
        {
            std::lock_guard<std::mutex> g(mAlsaLock);
            const int n = snd_mixer_poll_descriptors_count(mHandle);
            fds.assign(static_cast<std::size_t>(std::max(n, 0)) + 1, pollfd{});
            if (n > 0) {
                snd_mixer_poll_descriptors(mHandle, fds.data() + 1, static_cast<unsigned>(n));
            }
        }
        fds[0] = pollfd{mWakeFd, POLLIN, 0};
        const int r = ::poll(fds.data(), fds.size(), -1);
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r < 0 || (fds[0].revents & POLLIN)) {
            return;
        }
        std::array<std::uint32_t, MaxChangesPerEvent> changed{};
        std::size_t count = 0;
        {
            std::lock_guard<std::mutex> g(mAlsaLock);
            snd_mixer_handle_events(mHandle);
            for (std::size_t i = 0; i < mElements.size(); ++i) {
                Element& el = mElements[i];
                std::array<long, 2> volume{};
                int sw = 1;
                ReadRaw(el, volume, sw);
                if (volume != el.LastVolume && count < changed.size()) {
                    changed[count++] = ControlId{i, true}.Value();
                }
                if (sw != el.LastSwitch && count < changed.size()) {
                    changed[count++] = ControlId{i, false}.Value();
                }
                el.LastVolume = volume;
                el.LastSwitch = sw;
            }
        }
        for (std::size_t i = 0; i < count; ++i) {
            mCallback->MixerControlChanged(changed[i]);
        }
    }
}

WaveResult Mixer::LineInfo(std::uint32_t destination, std::int32_t source, MixerLineInfo& info) {
    std::lock_guard<std::mutex> g(mAlsaLock);
    if (destination >= mDests.size()) {
        return -EINVAL;
    }
    const Destination& d = mDests[destination];
    int index = d.Self;
    if (source != MixerDestinationLine) {
        if (source < 0 || static_cast<std::size_t>(source) >= d.Sources.size()) {
            return -EINVAL;
        }
        index = d.Sources[static_cast<std::size_t>(source)];
    }
    const Element& el = mElements[static_cast<std::size_t>(index)];
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

WaveResult Mixer::LineControls(std::uint32_t lineId, std::vector<MixerControlInfo>& controls) {
    std::lock_guard<std::mutex> g(mAlsaLock);
    if (lineId >= mElements.size()) {
        return -EINVAL;
    }
    const Element& el = mElements[lineId];
    controls.clear();
    if (el.HasVolume) {
        controls.push_back(
            {ControlId{lineId, true}.Value(), MixerControlType::Volume, el.Name + " Volume"});
    }
    if (el.HasSwitch) {
        controls.push_back(
            {ControlId{lineId, false}.Value(), MixerControlType::Mute, el.Name + " Mute"});
    }
    return WaveOk;
}

const Mixer::Element* Mixer::Find(std::uint32_t controlId, bool& isVolume) const {
    const std::optional<ControlId> id = ControlId::From(controlId);
    if (!id || id->Element >= mElements.size()) {
        return nullptr;
    }
    const Element& el = mElements[id->Element];
    isVolume = id->IsVolume;
    return (isVolume ? el.HasVolume : el.HasSwitch) ? &el : nullptr;
}

WaveResult Mixer::GetDetails(std::uint32_t controlId, std::uint32_t channels,
                             std::uint32_t* values) {
    std::lock_guard<std::mutex> g(mAlsaLock);
    bool isVolume = true;
    const Element* el = Find(controlId, isVolume);
    if (!el) {
        return -EINVAL;
    }
    std::array<long, 2> volume{};
    int sw = 1;
    ReadRaw(*el, volume, sw);
    for (std::uint32_t c = 0; c < channels; ++c) {
        values[c] = isVolume ? ToValue(el->Min, el->Max,
                                       volume[std::min<std::uint32_t>(c, el->Channels - 1)])
                             : (sw ? 0u : 1u);
    }
    return WaveOk;
}

WaveResult Mixer::SetDetails(std::uint32_t controlId, std::uint32_t channels,
                             const std::uint32_t* values) {
    std::lock_guard<std::mutex> g(mAlsaLock);
    bool isVolume = true;
    const Element* el = Find(controlId, isVolume);
    if (!el || channels == 0) {
        return -EINVAL;
    }
    int r = 0;
    if (isVolume) {
        if (channels == 1 || el->Channels == 1) {
            const long raw = ToRaw(el->Min, el->Max, values[0]);
            r = el->Capture ? snd_mixer_selem_set_capture_volume_all(el->Elem, raw)
                            : snd_mixer_selem_set_playback_volume_all(el->Elem, raw);
        } else {
            for (std::uint32_t c = 0; c < 2 && r >= 0; ++c) {
                const auto ch = static_cast<snd_mixer_selem_channel_id_t>(c);
                const long raw = ToRaw(el->Min, el->Max, values[c]);
                r = el->Capture ? snd_mixer_selem_set_capture_volume(el->Elem, ch, raw)
                                : snd_mixer_selem_set_playback_volume(el->Elem, ch, raw);
            }
        }
    } else {
        const int on = values[0] ? 0 : 1; // a mute is the switch turned off
        r = el->Capture ? snd_mixer_selem_set_capture_switch_all(el->Elem, on)
                        : snd_mixer_selem_set_playback_switch_all(el->Elem, on);
    }
    return r < 0 ? r : WaveOk;
}

} // namespace tellamo::alsa
