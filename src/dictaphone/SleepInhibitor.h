#pragma once

#include <QString>

namespace tellamo {

// Keeps the computer from suspending while a recording runs: a suspend in the middle of a
// recording would cut it off. The desktop is asked through whatever it offers (the composition
// root picks the implementation); where it offers nothing the recording simply goes on without
// the hold. Window thread only.
class SleepInhibitor {
public:
    virtual ~SleepInhibitor() = default;

    // Asks the desktop not to suspend, giving the reason it may show to the user. Nothing when
    // the hold is already asked for. Returns at once and never fails the caller.
    virtual void Inhibit(const QString& reason) = 0;
    // Gives the hold back; nothing when none is held or asked for.
    virtual void Release() = 0;
};

} // namespace tellamo
