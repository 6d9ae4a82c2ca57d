#include "support/HeadlessPulse.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "support/TempDir.h"

extern char** environ;

namespace tellamo::test {

HeadlessPulse::HeadlessPulse(const std::string& dir, const std::vector<std::string>& modules)
    : mRuntimeDir(dir + "/run") {
    ::mkdir((dir + "/home").c_str(), 0700);
    ::mkdir(mRuntimeDir.c_str(), 0700);
    ::setenv("HOME", (dir + "/home").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", mRuntimeDir.c_str(), 1);
    ::setenv("PULSE_SERVER", ("unix:" + mRuntimeDir + "/pulse/native").c_str(), 1);
    WriteFileBytes(dir + "/client.conf", "enable-shm = no\nenable-memfd = no\n");
    ::setenv("PULSE_CLIENTCONFIG", (dir + "/client.conf").c_str(), 1);
    std::vector<std::string> args = {"pulseaudio",
                                     "--daemonize=no",
                                     "--exit-idle-time=-1",
                                     "--disallow-exit",
                                     "-n",
                                     "--load=module-native-protocol-unix auth-anonymous=1"};
    for (const std::string& m : modules) {
        args.push_back("--load=" + m);
    }
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    if (::posix_spawnp(&mPid, "pulseaudio", nullptr, nullptr, argv.data(), environ) != 0) {
        mPid = 0;
        return;
    }
    for (int i = 0; i < 100 && !mUp; ++i) {
        mUp = std::system("pactl info >/dev/null 2>&1") == 0;
        if (!mUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
}

HeadlessPulse::~HeadlessPulse() {
    if (mPid > 0) {
        ::kill(mPid, SIGTERM);
        int status = 0;
        ::waitpid(mPid, &status, 0);
    }
}

} // namespace tellamo::test
