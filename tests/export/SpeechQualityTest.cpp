#include <algorithm>
#include <cmath>
#include <cstdio>

#include <gtest/gtest.h>

#include <QFile>

#include "codec/ChildProcess.h"
#include "export/ConvertCtrl.h"
#include "export/NoteAudio.h"
#include "support/TempDir.h"

namespace tellamo {
namespace {

// Segmental SNR over 30 ms segments, the usual way: segments more than 40 dB below the loudest
// one are pauses and left out, and each segment's SNR is limited to -10..35 dB.
double SegmentalSnrDb(const std::vector<std::int16_t>& reference,
                      const std::vector<std::int16_t>& decoded) {
    constexpr std::size_t Segment = 240;
    const std::size_t segments = std::min(reference.size(), decoded.size()) / Segment;
    std::vector<double> signal(segments);
    std::vector<double> noise(segments);
    double loudest = 0;
    for (std::size_t s = 0; s < segments; ++s) {
        for (std::size_t n = s * Segment; n < (s + 1) * Segment; ++n) {
            const double r = reference[n];
            const double e = r - decoded[n];
            signal[s] += r * r;
            noise[s] += e * e;
        }
        loudest = std::max(loudest, signal[s]);
    }
    double sum = 0;
    int counted = 0;
    for (std::size_t s = 0; s < segments; ++s) {
        if (signal[s] < loudest * 1e-4) {
            continue;
        }
        sum += std::clamp(10 * std::log10(signal[s] / (noise[s] + 1e-9)), -10.0, 35.0);
        ++counted;
    }
    return counted > 0 ? sum / counted : -100;
}

// Speech from espeak-ng in several voices, stored as notes are (8000, 11025 and 22050 Hz, 8 and
// 16 bits, one stereo file), converted, then decoded by FFmpeg: the decoding must be clean, have
// the right length, and follow the 8000 Hz input within the segmental SNR bound. The 8-bit files
// are made without dither, as a sound device quantises a recording; sox's default dither would
// add white noise that no speech codec at this rate reproduces.
TEST(SpeechQuality, FfmpegDecodesConvertedSpeechCloseToTheInput) {
    struct Case {
        const char* Voice;
        int Rate;
        int Bits;
        int Channels;
        const char* Text;
    };
    const Case cases[] = {
        {"en-us", 8000, 16, 1,
         "Please call Stella. Ask her to bring these things with her from the store."},
        {"en+f3", 11025, 16, 1, "Six spoons of fresh snow peas, five thick slabs of blue cheese."},
        {"en-gb", 22050, 16, 1,
         "Remember the meeting on Thursday at half past nine in room twelve."},
        {"en+m3", 11025, 8, 1,
         "We also need a small plastic snake and a big toy frog for the kids."},
        {"de", 22050, 8, 2, "Morgen fruh um acht Uhr beginnt die Besprechung im grossen Saal."},
        {"en-us+f2", 8000, 8, 1,
         "She can scoop these things into three red bags, and we will go meet her."},
    };
    test::TempDir dir;
    double worst = 100;
    for (const Case& c : cases) {
        const std::string label = std::string(c.Voice) + " " + std::to_string(c.Rate) + " Hz " +
                                  std::to_string(c.Bits) + "-bit " +
                                  (c.Channels == 2 ? "stereo" : "mono");
        SCOPED_TRACE(label);
        const std::string speech = dir.File("speech.wav");
        const std::string note = dir.File("note.wav");
        const std::string target = dir.File("note-ts.wav");
        ASSERT_EQ(test::RunProgram({"espeak-ng", "-v", c.Voice, "-w", speech, c.Text},
                                   dir.File("espeak.out"), dir.File("espeak.err")),
                  0);
        ASSERT_EQ(test::RunProgram({"sox", "-V1", "-D", speech, "-r", std::to_string(c.Rate), "-b",
                                    std::to_string(c.Bits), "-c", std::to_string(c.Channels), note},
                                   dir.File("sox.out"), dir.File("sox.err")),
                  0)
            << test::ReadFileBytes(dir.File("sox.err"));

        TConvertCtrl converter;
        converter.AudioCompressors().SetSelection(0);
        converter.SetSourceFile(QFile::decodeName(note.c_str()));
        converter.SetTargetFile(QFile::decodeName(target.c_str()));
        converter.SetTargetFormat(TConvertCtrl::TargetFormatWav);
        converter.StartConvert();

        std::vector<std::int16_t> reference;
        ReadNoteAs8kHzMono(note, [&](const std::int16_t* s, std::size_t n) {
            reference.insert(reference.end(), s, s + n);
        });
        const test::FfmpegDecoding decoded = test::DecodeWithFfmpeg(target, dir.Path());
        ASSERT_EQ(decoded.ExitStatus, 0);
        EXPECT_EQ(decoded.Messages, "");
        const std::size_t frames = (reference.size() + 239) / 240;
        EXPECT_EQ(decoded.Samples.size(), frames * 240);
        EXPECT_NEAR(test::FfprobeDuration(target, dir.Path()), frames * 0.03, 1e-6);

        const double snr = SegmentalSnrDb(reference, decoded.Samples);
        std::printf("segmental SNR %-32s %.2f dB\n", label.c_str(), snr);
        worst = std::min(worst, snr);
        EXPECT_GE(snr, 10.0);
    }
    std::printf("lowest segmental SNR %.2f dB\n", worst);
}

} // namespace
} // namespace tellamo
