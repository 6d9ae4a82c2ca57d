#pragma once

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace tellamo::test {

// Runs a shell command line; the test fails when it does not succeed (a missing tool is a
// failure, never a skip).
inline bool Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << command;
    return status == 0;
}

// Speech at the rate asked for, as raw signed 16-bit little-endian mono samples.
inline bool MakeSpeech(const std::string& dir, int rate, const std::string& rawPath) {
    return Shell("espeak-ng -w '" + dir + "/speech.wav' 'Tellamo records this voice note.' && " +
                 "sox '" + dir + "/speech.wav' -r " + std::to_string(rate) +
                 " -b 16 -e signed-integer -c 1 -t raw '" + rawPath + "'");
}

} // namespace tellamo::test
