#include "support/ChildProcess.h"

#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TempDir.h"

extern char** environ;

namespace tellamo::test {

int RunProgram(const std::vector<std::string>& args, const std::string& stdoutPath,
               const std::string& stderrPath) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::int16_t> BytesToSamples(const std::string& bytes) {
    std::vector<std::int16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                               (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return samples;
}

FfmpegDecoding DecodeWithFfmpeg(const std::string& wavPath, const std::string& workDir) {
    const std::string raw = workDir + "/ffmpeg-out.raw";
    const std::string log = workDir + "/ffmpeg-log.txt";
    FfmpegDecoding result;
    result.ExitStatus = RunProgram({"ffmpeg", "-nostdin", "-hide_banner", "-v", "warning", "-y",
                                    "-i", wavPath, "-f", "s16le", "-ac", "1", raw},
                                   workDir + "/ffmpeg-stdout.txt", log);
    result.Messages = ReadFileBytes(log);
    if (result.ExitStatus == 0) {
        result.Samples = BytesToSamples(ReadFileBytes(raw));
    }
    return result;
}

double FfprobeDuration(const std::string& path, const std::string& workDir) {
    const std::string out = workDir + "/ffprobe-out.txt";
    if (RunProgram({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                    "stream=duration", "-of", "default=noprint_wrappers=1:nokey=1", path},
                   out, workDir + "/ffprobe-log.txt") != 0) {
        return -1;
    }
    return std::atof(ReadFileBytes(out).c_str());
}

} // namespace tellamo::test
