#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <alsa/asoundlib.h>

#include "audio/WavePort.h"

namespace tellamo::alsa {

// A mixer control's identifier: each element has two, its volume and its mute, numbered
// 2 * index + 1 and 2 * index + 2; 0 names no control.
struct ControlId {
    std::size_t Element = 0;
    bool IsVolume = true;

    std::uint32_t Value() const {
        return static_cast<std::uint32_t>(2 * Element + (IsVolume ? 1 : 2));
    }
    static std::optional<ControlId> From(std::uint32_t id) {
        if (id == 0) {
            return std::nullopt;
        }
        return ControlId{(id - 1) / 2, id % 2 == 1};
    }
};

// ALSA's simple mixer on the "default" control device laid out as destinations and sources,
// and the watcher thread that reports changed controls.
//
// Destination 0 is the master playback element ("Master", else the first element with a
// playback volume) and its sources are the other playback elements in ALSA's order; then a
// capture destination ("Capture", else the first element with a capture volume) with the other
// capture elements. An element's line identifier is its index. Volumes are scaled linearly
// between the element's range and 0..65535; a mute is ALSA's switch turned off.
class Mixer {
public:
    Mixer() = default;
    ~Mixer();
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    WaveResult Load();
    std::uint32_t DestinationCount() const { return static_cast<std::uint32_t>(mDests.size()); }

    // The watcher waits on the mixer's poll descriptors and an eventfd that Stop writes to.
    WaveResult StartWatching(MixerCallback* callback);
    void Stop();

    WaveResult LineInfo(std::uint32_t destination, std::int32_t source, MixerLineInfo& info);
    WaveResult LineControls(std::uint32_t lineId, std::vector<MixerControlInfo>& controls);
    WaveResult GetDetails(std::uint32_t controlId, std::uint32_t channels, std::uint32_t* values);
    WaveResult SetDetails(std::uint32_t controlId, std::uint32_t channels,
                          const std::uint32_t* values);

private:
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

    void AddElements(snd_mixer_elem_t* e);
    void LayOutDestinations();
    void Watch();
    static void ReadRaw(const Element& el, std::array<long, 2>& volume, int& sw);
    // The element a control identifier names, when it exists and has that control.
    const Element* Find(std::uint32_t controlId, bool& isVolume) const;

    // The ALSA handle and every element's last-seen values are shared by the window thread's
    // calls and the watcher: guarded by mAlsaLock, which every public call takes. The layout
    // (which elements, which destinations) is fixed by Load before the watcher starts.
    std::mutex mAlsaLock;
    snd_mixer_t* mHandle = nullptr;
    std::vector<Element> mElements;
    std::vector<Destination> mDests;

    MixerCallback* mCallback = nullptr; // set before the watcher starts
    int mWakeFd = -1;
    std::thread mWatcher;
};

} // namespace tellamo::alsa
