#pragma once

#include <string_view>

namespace tellamo {

class WavePort;

// Plays a short WAV held in memory through the wave-out port and returns when it has been
// played (the start/stop notification). A sound the device cannot play is skipped silently: a
// notification is never worth an error box.
void PlaySoundSynchronously(WavePort& port, std::string_view wavBytes);

// The start/stop notification built into the program (a WAV file); empty only if the build lost it.
std::string_view NotificationSound();

// Plays the built-in notification through the port that plays the notes.
void PlayNotificationSound(WavePort& port);

} // namespace tellamo
