// libFuzzer target for the converter end to end: a small file of any bytes given as the note
// either converts into a TrueSpeech WAV file or is refused with an error, without a crash or
// undefined behaviour; a refused conversion leaves no target file behind.

#include <cstdint>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include <QString>

#include "FuzzFile.h"
#include "common/Errors.h"
#include "export/ConvertCtrl.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tellamo;
    const std::string source = fuzz::WriteFuzzFile("note.wav", data, size);
    const std::string target = fuzz::FuzzFolder() + "/out.wav";
    ::unlink(target.c_str());
    ConvertCtrl converter;
    converter.SetSourceFile(QString::fromStdString(source));
    converter.SetTargetFile(QString::fromStdString(target));
    converter.SetTargetFormat(ConvertCtrl::TargetFormatWav);
    CompressorList& compressors = converter.AudioCompressors();
    for (int i = 0; i < compressors.Count(); ++i) {
        if (compressors.Item(i).Name() == ConvertCtrl::TrueSpeechName) {
            compressors.SetSelection(i);
        }
    }
    bool converted = true;
    try {
        converter.StartConvert();
    } catch (const TellamoError&) {
        converted = false;
    }
    if (compressors.Selection() < 0 || ::access(target.c_str(), F_OK) == (converted ? -1 : 0)) {
        std::abort();
    }
    return 0;
}
