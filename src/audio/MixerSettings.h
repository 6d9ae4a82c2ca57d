#pragma once

#include <cstdint>
#include <vector>

#include "audio/WavePort.h"
#include "audio/WindowPoster.h"

namespace tellamo {

class TAudio;

// One line of the mixer as discovery found it.
struct TMixDetails {
    std::uint16_t Destination = 0xFFFF; // $FFFF in the head node
    std::uint16_t Source = 0xFFFF;      // 0: the destination line itself; 1, 2, ...: its sources
    std::uint32_t VolumeID = 0xFFFF;    // $FFFF: no volume control
    std::uint32_t MuteID = 0xFFFF;      // $FFFF: no mute control
    std::uint16_t LeftVolume = 0;
    std::uint16_t RightVolume = 0;
    bool Muted = false;
    bool SingleChannel = false;
};

// The mixer part of the audio component: the lines of one mixer with their volume and mute
// controls, volume and mute read and written per line, and the component's OnMixerChange when a
// watched control changes.
//
// Threads: every operation runs on the window thread. The port's change notifications arrive on
// a thread of the port and are posted to the window thread, where OnMixerChange is raised.
class TMixerSettings final : public MixerCallback, public PostTarget {
public:
    explicit TMixerSettings(TAudio& owner);
    ~TMixerSettings() override;
    TMixerSettings(const TMixerSettings&) = delete;
    TMixerSettings& operator=(const TMixerSettings&) = delete;

    // Builds Lines for the mixer (releasing an earlier one first) and returns whether every line
    // could be read; MixerOpen is set by the caller from the result.
    bool Discover(std::uint32_t mixer);
    bool SetVolume(std::uint16_t destination, std::uint16_t source, std::uint16_t left,
                   std::uint16_t right, bool mute);
    bool GetVolume(std::uint16_t destination, std::uint16_t source, std::uint16_t& left,
                   std::uint16_t& right, bool& muted);
    // Closes the mixer and drops the lines.
    void Release();

    bool MixerOpen() const { return mMixerOpen; }
    void SetMixerOpen(bool value) { mMixerOpen = value; }
    const std::vector<TMixDetails>& Lines() const { return mLines; }

    // MixerCallback (port thread)
    void MixerControlChanged(std::uint32_t controlId) override;
    // PostTarget (window thread)
    void HandlePost(std::uint32_t message, std::intptr_t param) override;

private:
    void AddLine(const MixerLineInfo& line);
    const TMixDetails* Find(std::uint16_t destination, std::uint16_t source) const;

    TAudio& mOwner;
    MixerHandle mHandle = 0;
    bool mHandleOpen = false;
    bool mMixerOpen = false;
    std::vector<TMixDetails> mLines;
};

} // namespace tellamo
