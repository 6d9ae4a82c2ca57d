#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/WavePort.h"

namespace tellamo::alsa {

// The PCM devices of one direction: "plughw:card,device" for each card's device in ALSA's
// order (plughw so that any format converts), at most ten.
std::vector<std::string> CardDevices(bool capture);

// The devices the port offers for a direction: the cards' devices, or on a machine without
// cards whose "default" opens (a sound server), that one.
std::uint32_t DeviceCount(bool capture);

// The ALSA name of device number `device` (or WaveMapper: "default"); empty when there is no
// such device.
std::string DeviceName(bool capture, std::uint32_t device);

} // namespace tellamo::alsa
