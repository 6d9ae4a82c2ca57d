#pragma once

#include <string_view>

namespace tellamo {

class WavePort;

// Plays a short WAV held in memory through the wave-out port and returns when it has been
// played (the start/stop notification). A sound the device cannot play is skipped silently: a
// notification is never worth an error box.
void PlaySoundSynchronously(WavePort& port, std::string_view wavBytes);

} // namespace tellamo
