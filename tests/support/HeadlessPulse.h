#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace tellamo::test {

// A PulseAudio server of a test's own, headless, reached through ALSA's pulse plugin (which
// Debian's ALSA configuration loads when a server is running). Its HOME, runtime folder and
// client configuration lie in `dir`, and this process's environment points at them; the client
// uses the plain socket transport (its shared-memory channel synchronises in ways
// ThreadSanitizer cannot see, and the tests are about our side of the plugin). Stopped by its
// process id when the object goes.
class HeadlessPulse {
public:
    // modules: "module-name arguments", loaded after the native protocol.
    HeadlessPulse(const std::string& dir, const std::vector<std::string>& modules);
    ~HeadlessPulse();
    HeadlessPulse(const HeadlessPulse&) = delete;
    HeadlessPulse& operator=(const HeadlessPulse&) = delete;

    // The server answers pactl.
    bool Running() const { return mUp; }
    // The runtime folder, for pipes and sockets of the test's own.
    const std::string& RuntimeDir() const { return mRuntimeDir; }

private:
    pid_t mPid = 0;
    bool mUp = false;
    std::string mRuntimeDir;
};

} // namespace tellamo::test
