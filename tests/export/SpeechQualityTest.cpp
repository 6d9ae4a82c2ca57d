#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include <QFile>

#include "audio/NoteAudio.h"
#include "export/ConvertCtrl.h"
#include "support/ChildProcess.h"
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

// Speech in several voices, stored as notes are (8000, 11025 and 22050 Hz, 8 and 16 bits, one
// stereo file), converted, then decoded by FFmpeg: the decoding must be clean, have the right
// length, and follow the 8000 Hz input within the segmental SNR bound. The notes are fixture
// files made once (tests/data/speech/make-speech.sh), so the figures depend on the codec alone,
// not on the speech synthesiser's or the resampler's version.
TEST(SpeechQuality, FfmpegDecodesConvertedSpeechCloseToTheInput) {
    const char* const notes[] = {
        "en-us-8000-16-mono", "en-f3-11025-16-mono", "en-gb-22050-16-mono",
        "en-m3-11025-8-mono", "de-22050-8-stereo",   "en-us-f2-8000-8-mono",
    };
    const char* data = std::getenv("TELLAMO_TEST_DATA");
    ASSERT_NE(data, nullptr);
    test::TempDir dir;
    double worst = 100;
    for (const char* name : notes) {
        const std::string label = name;
        SCOPED_TRACE(label);
        const std::string note = std::string(data) + "/speech/" + name + ".wav";
        const std::string target = dir.File("note-ts.wav");
        ASSERT_TRUE(test::FileExists(note));

        ConvertCtrl converter;
        converter.AudioCompressors().SetSelection(0);
        converter.SetSourceFile(QFile::decodeName(note.c_str()));
        converter.SetTargetFile(QFile::decodeName(target.c_str()));
        converter.SetTargetFormat(ConvertCtrl::TargetFormatWav);
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
