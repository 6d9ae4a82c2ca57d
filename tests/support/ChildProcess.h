#pragma once

// The FFmpeg oracle of the tests: FFmpeg and ffprobe, never our own code, judge what the codec,
// the converter and the export commands write.

#include <cstdint>
#include <string>
#include <vector>

namespace tellamo::test {

// Runs a program found on PATH with the given arguments (no shell), standard output and error
// going to files. Returns the exit status, or -1 when it could not run or was killed.
int RunProgram(const std::vector<std::string>& args, const std::string& stdoutPath,
               const std::string& stderrPath);

struct FfmpegDecoding {
    std::vector<std::int16_t> Samples;
    std::string Messages; // what ffmpeg printed at warning level and above
    int ExitStatus = -1;
};

// Decodes a WAV file with FFmpeg into 16-bit mono samples at the file's own rate.
FfmpegDecoding DecodeWithFfmpeg(const std::string& wavPath, const std::string& workDir);

// The duration in seconds that ffprobe reports for the file's audio stream, or -1.
double FfprobeDuration(const std::string& path, const std::string& workDir);

std::vector<std::int16_t> BytesToSamples(const std::string& bytes);

} // namespace tellamo::test
