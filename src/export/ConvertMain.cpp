// tellamo-convert: converts a PCM WAV file (a note, or any 8- or 16-bit PCM WAV file) into a
// WAV file coded with DSP Group TrueSpeech 8.5, with the same converter the program uses.

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include <QFile>

#include "common/Errors.h"
#include "export/ConvertCtrl.h"

namespace {
constexpr const char* Usage =
    "Usage: tellamo-convert SOURCE.wav TARGET.wav\n"
    "\n"
    "Converts a PCM WAV file (8 or 16 bits, mono or stereo) into a WAV file coded with\n"
    "DSP Group TrueSpeech 8.5 (8000 Hz mono, about 1 kB per second). Stereo is mixed down\n"
    "and the sound is resampled to 8000 Hz. TARGET.wav is replaced only when the conversion\n"
    "succeeds.\n"
    "\n"
    "Options:\n"
    "  -h, --help   show this help and exit\n"
    "  --           end of options (for file names that begin with '-')\n"
    "\n"
    "Exit status: 0 on success, 1 when the conversion fails, 2 for wrong arguments.\n";
} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "-h" || arg == "--help")) {
            std::fputs(Usage, stdout);
            return 0;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "tellamo-convert: unknown option '%s'\n", arg.c_str());
            std::fputs("Try 'tellamo-convert --help'.\n", stderr);
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) {
        std::fprintf(stderr, "tellamo-convert: expected a source and a target file, got %zu %s\n",
                     files.size(), files.size() == 1 ? "name" : "names");
        std::fputs("Try 'tellamo-convert --help'.\n", stderr);
        return 2;
    }
    try {
        tellamo::ConvertCtrl converter;
        tellamo::CompressorList& list = converter.AudioCompressors();
        for (int i = 0; i < list.Count(); ++i) {
            if (list.Item(i).Name() == tellamo::ConvertCtrl::TrueSpeechName) {
                list.SetSelection(i);
            }
        }
        converter.SetSourceFile(QFile::decodeName(files[0].c_str()));
        converter.SetTargetFile(QFile::decodeName(files[1].c_str()));
        converter.SetTargetFormat(tellamo::ConvertCtrl::TargetFormatWav);
        converter.StartConvert();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tellamo-convert: %s\n", e.what());
        return 1;
    }
    return 0;
}
