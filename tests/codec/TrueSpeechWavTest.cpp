#include "codec/TrueSpeechWav.h"

#include <gtest/gtest.h>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace tellamo::truespeech {
namespace {

TEST(TrueSpeechWav, HeaderOfHundredFramesIsTheCodecsOwnLayout) {
    const unsigned char expected[90] = {
        0x52, 0x49, 0x46, 0x46, 0xD2, 0x0C, 0x00, 0x00, 0x57, 0x41, 0x56, 0x45, 0x66, 0x6D, 0x74,
        0x20, 0x32, 0x00, 0x00, 0x00, 0x22, 0x00, 0x01, 0x00, 0x40, 0x1F, 0x00, 0x00, 0x2B, 0x04,
        0x00, 0x00, 0x20, 0x00, 0x01, 0x00, 0x20, 0x00, 0x01, 0x00, 0xF0, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x66, 0x61, 0x63, 0x74, 0x04,
        0x00, 0x00, 0x00, 0xC0, 0x5D, 0x00, 0x00, 0x64, 0x61, 0x74, 0x61, 0x80, 0x0C, 0x00, 0x00};
    const auto header = MakeWavHeader(100);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), expected));
}

// The sizes follow the sample count, the last partial frame is padded, and FFmpeg reads each
// file cleanly to the right duration.
TEST(TrueSpeechWav, EncoderPadsTheLastFrameAndFfmpegReadsEveryLength) {
    struct Case {
        std::size_t Samples;
        std::uint32_t Frames;
    };
    const Case cases[] = {{0, 0}, {1, 1}, {240, 1}, {241, 2}, {8000, 34}};
    test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.Samples) + " samples");
        std::vector<std::int16_t> pcm(c.Samples);
        for (std::size_t i = 0; i < pcm.size(); ++i) {
            pcm[i] = static_cast<std::int16_t>((i * 7919) % 4000 - 2000);
        }
        WavEncoder encoder;
        // In uneven pieces, as a resampler delivers them.
        std::size_t done = 0;
        for (std::size_t piece = 1; done < pcm.size(); piece = piece * 3 + 1) {
            const std::size_t take = std::min(piece, pcm.size() - done);
            encoder.Write(pcm.data() + done, take);
            done += take;
        }
        const std::string file = encoder.Finish();
        ASSERT_EQ(file.size(), WavHeaderSize + 32 * c.Frames);
        const auto expectedHeader = MakeWavHeader(c.Frames);
        EXPECT_EQ(file.substr(0, WavHeaderSize),
                  std::string(expectedHeader.begin(), expectedHeader.end()));
        if (c.Frames == 0) {
            continue;
        }
        const std::string path = dir.File("out.wav");
        test::WriteFileBytes(path, file);
        const test::FfmpegDecoding decoded = test::DecodeWithFfmpeg(path, dir.Path());
        EXPECT_EQ(decoded.ExitStatus, 0);
        EXPECT_EQ(decoded.Messages, "");
        EXPECT_EQ(decoded.Samples.size(), c.Frames * 240u);
        EXPECT_NEAR(test::FfprobeDuration(path, dir.Path()), c.Frames * 0.03, 1e-6);
    }
}

TEST(TrueSpeechWav, EncoderIsReusableAfterFinish) {
    std::vector<std::int16_t> pcm(1000, 1000);
    WavEncoder encoder;
    encoder.Write(pcm.data(), pcm.size());
    const std::string first = encoder.Finish();
    encoder.Write(pcm.data(), pcm.size());
    EXPECT_EQ(encoder.Finish(), first);
}

} // namespace
} // namespace tellamo::truespeech
