#include "audio/MixerSettings.h"

#include <algorithm>
#include <array>

#include "audio/Audio.h"

namespace tellamo {

namespace {
std::uint16_t Clamp16(std::uint32_t v) {
    return static_cast<std::uint16_t>(std::min<std::uint32_t>(v, 0xFFFF));
}
} // namespace

TMixerSettings::TMixerSettings(TAudio& owner) : mOwner(owner) {}

TMixerSettings::~TMixerSettings() {
    Release();
    mOwner.Poster().Cancel(this);
}

void TMixerSettings::Release() {
    if (mHandleOpen) {
        mOwner.Port().MixerClose(mHandle);
        mHandleOpen = false;
    }
    mLines.clear();
    mMixerOpen = false;
    mOwner.Poster().Cancel(this);
}

bool TMixerSettings::Discover(std::uint32_t mixer) {
    Release();
    WavePort& port = mOwner.Port();
    if (port.MixerDeviceCount() == 0) {
        return false;
    }
    MixerCaps caps;
    if (port.MixerGetCaps(mixer, caps) != WaveOk) {
        return false;
    }
    if (port.MixerOpen(mHandle, mixer, this) != WaveOk) {
        return false;
    }
    mHandleOpen = true;
    mLines.push_back(TMixDetails{});
    bool result = false;
    for (std::uint32_t d = 0; d < caps.Destinations; ++d) {
        MixerLineInfo line;
        if (port.MixerGetLineInfo(mHandle, d, MixerDestinationLine, line) != WaveOk) {
            return false;
        }
        AddLine(line);
        for (std::uint32_t s = 0; s < line.Connections; ++s) {
            MixerLineInfo source;
            if (port.MixerGetLineInfo(mHandle, d, static_cast<std::int32_t>(s), source) != WaveOk) {
                return false;
            }
            AddLine(source);
        }
        result = true;
    }
    return result;
}

void TMixerSettings::AddLine(const MixerLineInfo& line) {
    TMixDetails node;
    node.Destination = static_cast<std::uint16_t>(line.Destination);
    const TMixDetails& previous = mLines.back();
    node.Source = previous.Destination == node.Destination
                      ? static_cast<std::uint16_t>(previous.Source + 1)
                      : std::uint16_t{0};
    if (line.Controls > 0) {
        WavePort& port = mOwner.Port();
        std::vector<MixerControlInfo> controls;
        if (port.MixerGetLineControls(mHandle, line.LineId, controls) == WaveOk) {
            const std::uint32_t channels = std::max<std::uint32_t>(line.Channels, 1);
            std::vector<std::uint32_t> values(std::max<std::uint32_t>(channels, 2), 0);
            for (const MixerControlInfo& c : controls) {
                if (c.Type == MixerControlType::Volume) {
                    if (port.MixerGetControlDetails(mHandle, c.ControlId, channels,
                                                    values.data()) == WaveOk) {
                        node.VolumeID = c.ControlId;
                        node.LeftVolume = Clamp16(values[0]);
                        if (line.Channels == 1) {
                            node.SingleChannel = true;
                        } else {
                            node.RightVolume = Clamp16(values[1]);
                        }
                    }
                } else if (c.Type == MixerControlType::Mute) {
                    std::uint32_t value = 0;
                    if (port.MixerGetControlDetails(mHandle, c.ControlId, 1, &value) == WaveOk &&
                        node.MuteID == 0xFFFF) {
                        node.MuteID = c.ControlId;
                        node.Muted = value != 0;
                    }
                }
            }
        }
    }
    mLines.push_back(node);
}

const TMixDetails* TMixerSettings::Find(std::uint16_t destination, std::uint16_t source) const {
    for (const TMixDetails& node : mLines) {
        if (node.Destination == destination && node.Source == source) {
            return &node;
        }
    }
    return nullptr;
}

bool TMixerSettings::SetVolume(std::uint16_t destination, std::uint16_t source, std::uint16_t left,
                               std::uint16_t right, bool mute) {
    if (!mMixerOpen || mLines.empty()) {
        return false;
    }
    const TMixDetails* node = Find(destination, source);
    if (node == nullptr) {
        return false;
    }
    WavePort& port = mOwner.Port();
    if (node->VolumeID < 0xFFFF) {
        const std::array<std::uint32_t, 2> values{left, right};
        if (port.MixerSetControlDetails(mHandle, node->VolumeID, node->SingleChannel ? 1 : 2,
                                        values.data()) != WaveOk) {
            mOwner.ErrorMessage = "Volume SetControlError in Mixer";
            return false;
        }
    }
    if (node->MuteID == 0xFFFF) {
        return true;
    }
    const std::uint32_t value = mute ? 1 : 0;
    if (port.MixerSetControlDetails(mHandle, node->MuteID, 1, &value) != WaveOk) {
        mOwner.ErrorMessage = "Mute SetControlError in Mixer";
        return false;
    }
    return true;
}

bool TMixerSettings::GetVolume(std::uint16_t destination, std::uint16_t source, std::uint16_t& left,
                               std::uint16_t& right, bool& muted) {
    if (!mMixerOpen || mLines.empty()) {
        return false;
    }
    const TMixDetails* node = Find(destination, source);
    if (node == nullptr) {
        return false;
    }
    WavePort& port = mOwner.Port();
    std::array<std::uint32_t, 2> values{};
    if (port.MixerGetControlDetails(mHandle, node->VolumeID, node->SingleChannel ? 1 : 2,
                                    values.data()) != WaveOk) {
        mOwner.ErrorMessage = "Volume GetControlError in Mixer";
        return false;
    }
    left = Clamp16(values[0]);
    right = node->SingleChannel ? left : Clamp16(values[1]);
    std::uint32_t value = 0;
    if (port.MixerGetControlDetails(mHandle, node->MuteID, 1, &value) != WaveOk) {
        mOwner.ErrorMessage = "Mute GetControlError in Mixer";
        return false;
    }
    muted = value != 0;
    return true;
}

void TMixerSettings::MixerControlChanged(std::uint32_t controlId) {
    mOwner.Poster().Post(this, MM_MIXM_CONTROL_CHANGE, static_cast<std::intptr_t>(controlId));
}

void TMixerSettings::HandlePost(std::uint32_t message, std::intptr_t param) {
    if (message != MM_MIXM_CONTROL_CHANGE || !mMixerOpen || !mOwner.OnMixerChange) {
        return;
    }
    const auto id = static_cast<std::uint32_t>(param);
    for (const TMixDetails& node : mLines) {
        if ((node.VolumeID == id || node.MuteID == id) && id != 0xFFFF) {
            mOwner.OnMixerChange(this, node.Destination, node.Source);
            return;
        }
    }
}

} // namespace tellamo
