// tellamo-transcribe: prints the transcript of a WAV file, with the recogniser the program's
// worker uses, as WebVTT (or the words alone).

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "transcript/PocketSphinxRecogniser.h"
#include "transcript/Transcriber.h"
#include "transcript/WebVtt.h"

namespace {
constexpr const char* Usage =
    "Usage: tellamo-transcribe [--text] FILE.wav\n"
    "\n"
    "Recognises the English speech in a PCM WAV file (8 or 16 bits, mono or stereo, any\n"
    "rate) and prints its transcript on standard output as WebVTT, one cue per phrase\n"
    "with the start of every word, as Tellamo stores it beside a note.\n"
    "\n"
    "Options:\n"
    "  --text       print only the words, one phrase a line\n"
    "  -h, --help   show this help and exit\n"
    "  --           end of options (for file names that begin with '-')\n"
    "\n"
    "Exit status: 0 on success, 1 when the file cannot be transcribed (or the speech model\n"
    "is not installed), 2 for wrong arguments.\n";
} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    bool textOnly = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "-h" || arg == "--help")) {
            std::fputs(Usage, stdout);
            return 0;
        } else if (!optionsEnded && arg == "--text") {
            textOnly = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "tellamo-transcribe: unknown option '%s'\n", arg.c_str());
            std::fputs("Try 'tellamo-transcribe --help'.\n", stderr);
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 1) {
        std::fprintf(stderr, "tellamo-transcribe: expected one WAV file, got %zu\n", files.size());
        std::fputs("Try 'tellamo-transcribe --help'.\n", stderr);
        return 2;
    }
    try {
        tellamo::PocketSphinxRecogniser recogniser;
        tellamo::Transcript transcript = tellamo::TranscribeWav(recogniser, files[0]);
        std::string out;
        if (textOnly) {
            for (const tellamo::Cue& cue : transcript.Cues) {
                for (std::size_t i = 0; i < cue.Words.size(); ++i) {
                    out += (i > 0 ? " " : "") + cue.Words[i].Text;
                }
                out += "\n";
            }
        } else {
            // The stamp ties a stored transcript to its note; printed, it would only mislead.
            transcript.HasSource = false;
            out = tellamo::FormatWebVtt(transcript);
        }
        if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout)) {
            std::fputs("tellamo-transcribe: cannot write the transcript\n", stderr);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tellamo-transcribe: %s\n", e.what());
        return 1;
    }
    return 0;
}
