// The Ogg Opus encoding, the staged PCM copy and the conversion on a worker thread.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include <QFile>

#include "common/Errors.h"
#include "export/BackgroundWork.h"
#include "export/ConvertCtrl.h"
#include "export/ExportTestSupport.h"
#include "export/OggOpus.h"
#include "export/StagedFile.h"
#include "support/ChildProcess.h"
#include "support/FaultyFileSystem.h"
#include "support/TempDir.h"

namespace tellamo {
namespace {

using test::FilesIn;

struct Probe {
    std::string Codec;
    int Channels = 0;
    double Duration = -1;
};

Probe ProbeAudio(const std::string& path, const std::string& work) {
    const std::string out = work + "/probe.txt";
    Probe p;
    if (test::RunProgram({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                          "stream=codec_name,channels", "-of", "default=noprint_wrappers=1", path},
                         out, work + "/probe-log.txt") != 0) {
        return p;
    }
    const std::string text = test::ReadFileBytes(out);
    auto value = [&](const std::string& key) {
        const std::size_t at = text.find(key + "=");
        return at == std::string::npos
                   ? std::string()
                   : text.substr(at + key.size() + 1, text.find('\n', at) - at - key.size() - 1);
    };
    p.Codec = value("codec_name");
    p.Channels = std::atoi(value("channels").c_str());
    p.Duration = test::FfprobeDuration(path, work);
    return p;
}

// opusinfo, the reference tools' own reader, checks the pages, headers and positions in order and
// reports each fault it finds as a warning or an error.
void ExpectOpusinfoClean(const std::string& path, const std::string& work) {
    const std::string out = work + "/opusinfo-out.txt";
    const std::string err = work + "/opusinfo-err.txt";
    EXPECT_EQ(test::RunProgram({"opusinfo", path}, out, err), 0);
    const std::string info = test::ReadFileBytes(out) + test::ReadFileBytes(err);
    EXPECT_EQ(info.find("WARNING"), std::string::npos) << info;
    EXPECT_EQ(info.find("ERROR"), std::string::npos) << info;
    EXPECT_NE(info.find("Channels: 1"), std::string::npos) << info;
}

void ConvertOpus(const std::string& source, const std::string& target) {
    ConvertCtrl converter;
    CompressorList& list = converter.AudioCompressors();
    for (int i = 0; i < list.Count(); ++i) {
        if (list.Item(i).Name() == ConvertCtrl::OpusName) {
            list.SetSelection(i);
        }
    }
    converter.SetSourceFile(QFile::decodeName(source.c_str()));
    converter.SetTargetFile(QFile::decodeName(target.c_str()));
    converter.SetTargetFormat(ConvertCtrl::TargetFormatOgg);
    converter.StartConvert();
}

// Notes of the program's usual shapes become Ogg Opus files that FFmpeg reads as mono Opus of
// the note's length and loudness, at about 2 kB per second.
TEST(OggOpus, NotesBecomeMonoSpeechOpusOfTheRightLength) {
    test::TempDir dir;
    test::TempDir work;
    struct Case {
        const char* Name;
        std::uint16_t Channels, Rate, Bits;
        double Seconds;
    };
    const Case cases[] = {
        {"22050 Hz 16-bit mono", 1, 22050, 16, 10.0},
        {"11025 Hz 8-bit stereo", 2, 11025, 8, 2.5},
        {"8000 Hz 16-bit stereo", 2, 8000, 16, 3.3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<std::int16_t> voice = test::VoiceLike(c.Rate, c.Seconds);
        std::string data;
        for (std::int16_t s : voice) {
            for (int ch = 0; ch < c.Channels; ++ch) {
                if (c.Bits == 16) {
                    data += test::Pcm16Bytes({s});
                } else {
                    data.push_back(static_cast<char>((s >> 8) + 128));
                }
            }
        }
        const std::string source = dir.File("note.wav");
        test::WriteFileBytes(source, test::PcmWavBytes(c.Channels, c.Rate, c.Bits, data));
        const std::string target = dir.File("note.opus");
        ConvertOpus(source, target);

        const Probe probe = ProbeAudio(target, work.Path());
        EXPECT_EQ(probe.Codec, "opus");
        EXPECT_EQ(probe.Channels, 1);
        EXPECT_NEAR(probe.Duration, c.Seconds, 0.1);
        const auto size = static_cast<double>(std::filesystem::file_size(target));
        EXPECT_GT(size, 1.2 * 1024 * c.Seconds);
        EXPECT_LT(size, 3.0 * 1024 * c.Seconds + 2048);

        const test::FfmpegDecoding decoded = test::DecodeWithFfmpeg(target, work.Path());
        ASSERT_EQ(decoded.ExitStatus, 0) << decoded.Messages;
        EXPECT_EQ(decoded.Messages, "");
        // Players drop the encoder's delay and the padding of the last packet: the note's own
        // length, to the sample of the 48 kHz output (give or take the resampler's rounding).
        EXPECT_NEAR(static_cast<double>(decoded.Samples.size()),
                    static_cast<double>(voice.size()) * 48000 / c.Rate, 8);
        const double ratio = test::Rms(decoded.Samples) / test::Rms(voice);
        EXPECT_GT(ratio, 0.7);
        EXPECT_LT(ratio, 1.3);
        EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"note.opus", "note.wav"}));

        ExpectOpusinfoClean(target, work.Path());
    }
}

// Notes shorter than a page, down to none at all: the first page of sound is also the last, and
// its position trims the decoded sound to the note's own samples (16 kHz: no resampling, so
// exactly three samples of 48 kHz output each).
TEST(OggOpus, ShortNotesKeepTheirExactLength) {
    test::TempDir dir;
    test::TempDir work;
    for (const std::size_t samples : {std::size_t{0}, std::size_t{1}, std::size_t{1600}}) {
        SCOPED_TRACE(samples);
        std::vector<std::int16_t> note = test::VoiceLike(16000, 0.1);
        note.resize(samples);
        const std::string source = dir.File("note.wav");
        test::WriteFileBytes(source, test::PcmWavBytes(1, 16000, 16, test::Pcm16Bytes(note)));
        const std::string target = dir.File("note.opus");
        ConvertOpus(source, target);
        ExpectOpusinfoClean(target, work.Path());
        const test::FfmpegDecoding decoded = test::DecodeWithFfmpeg(target, work.Path());
        ASSERT_EQ(decoded.ExitStatus, 0) << decoded.Messages;
        EXPECT_EQ(decoded.Samples.size(), 3 * samples);
    }
}

// The sound stays where it was in the note: a voice between two seconds of silence starts and
// ends at the same moments in the decoded Opus, at each of the encoder's rates.
TEST(OggOpus, SoundStaysInPlace) {
    test::TempDir dir;
    test::TempDir work;
    for (const std::uint16_t rate : {8000, 11025, 22050}) {
        SCOPED_TRACE(rate);
        std::vector<std::int16_t> note(rate, 0);
        const std::vector<std::int16_t> voice = test::VoiceLike(rate, 0.5);
        note.insert(note.end(), voice.begin(), voice.end());
        note.resize(note.size() + rate, 0);
        const std::string source = dir.File("note.wav");
        test::WriteFileBytes(source, test::PcmWavBytes(1, rate, 16, test::Pcm16Bytes(note)));
        const std::string target = dir.File("note.opus");
        ConvertOpus(source, target);

        const test::FfmpegDecoding decoded = test::DecodeWithFfmpeg(target, work.Path());
        ASSERT_EQ(decoded.ExitStatus, 0) << decoded.Messages;
        const auto loud = [](std::int16_t s) { return std::abs(s) > 1000; };
        const auto first = std::find_if(decoded.Samples.begin(), decoded.Samples.end(), loud);
        const auto last = std::find_if(decoded.Samples.rbegin(), decoded.Samples.rend(), loud);
        ASSERT_NE(first, decoded.Samples.end());
        EXPECT_NEAR(static_cast<double>(first - decoded.Samples.begin()) / 48000, 1.0, 0.003);
        // The codec's decay may ring on for a few milliseconds, never end the voice early.
        const double end = static_cast<double>(decoded.Samples.rend() - last) / 48000;
        EXPECT_GE(end, 1.5 - 0.003);
        EXPECT_LE(end, 1.5 + 0.010);
    }
}

// A failed encoding leaves an existing target as it was and no temporary file; the Opus
// compressor refuses a WAV target format and its own source.
TEST(OggOpus, FailuresLeaveTheTargetAlone) {
    test::TempDir dir;
    const std::string good = dir.File("good.wav");
    test::WriteFileBytes(
        good, test::PcmWavBytes(1, 11025, 16, test::Pcm16Bytes(test::VoiceLike(11025, 1))));
    const std::string target = dir.File("old.opus");
    test::WriteFileBytes(target, "old content");
    const std::string before = test::ReadFileBytes(good);

    EXPECT_THROW(ConvertOpus(dir.File("missing.wav"), target), TellamoError);
    EXPECT_THROW(ConvertOpus(good, good), TellamoError);
    ConvertCtrl wrongFormat;
    wrongFormat.AudioCompressors().SetSelection(1);
    wrongFormat.SetSourceFile(QFile::decodeName(good.c_str()));
    wrongFormat.SetTargetFile(QFile::decodeName(target.c_str()));
    wrongFormat.SetTargetFormat(ConvertCtrl::TargetFormatWav);
    EXPECT_THROW(wrongFormat.StartConvert(), TellamoError);
    // Cancelled after the first piece of the note, as the progress dialog's Cancel does it.
    EXPECT_THROW(
        EncodeOggOpus(RealFileSystem(), good, target, [](double) { throw ConversionCancelled(); }),
        ConversionCancelled);
    EXPECT_EQ(test::ReadFileBytes(target), "old content");
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"good.wav", "old.opus"}));

    // Each file-system operation failing in turn.
    test::FaultyFileSystem counting;
    EncodeOggOpus(counting, good, dir.File("probe.opus"));
    std::filesystem::remove(dir.File("probe.opus"));
    ASSERT_GT(counting.Calls, 3);
    for (int failAt = 1; failAt <= counting.Calls; ++failAt) {
        SCOPED_TRACE("failing operation " + std::to_string(failAt));
        test::FaultyFileSystem fs;
        fs.FailAt = failAt;
        try {
            EncodeOggOpus(fs, good, target);
            EXPECT_NE(test::ReadFileBytes(target), "old content");
            test::WriteFileBytes(target, "old content");
        } catch (const TellamoError& e) {
            EXPECT_NE(std::string(e.what()).find("old.opus"), std::string::npos) << e.what();
            EXPECT_EQ(test::ReadFileBytes(target), "old content");
        }
        EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"good.wav", "old.opus"}));
    }
    EXPECT_EQ(test::ReadFileBytes(good), before);
}

// The PCM copy is byte for byte; a missing source, a full disk or the source itself as target
// leave the target as it was.
TEST(StagedCopy, CopiesExactlyOrNotAtAll) {
    test::TempDir dir;
    const std::string source = dir.File("note.wav");
    std::string bytes =
        test::PcmWavBytes(1, 11025, 16, test::Pcm16Bytes(test::VoiceLike(11025, 60)));
    test::WriteFileBytes(source, bytes);
    const std::string target = dir.File("copy.wav");
    test::WriteFileBytes(target, "old content");

    CopyFileStaged(RealFileSystem(), source, target);
    EXPECT_EQ(test::ReadFileBytes(target), bytes);

    test::WriteFileBytes(target, "old content");
    EXPECT_THROW(CopyFileStaged(RealFileSystem(), dir.File("missing.wav"), target), TellamoError);
    EXPECT_THROW(CopyFileStaged(RealFileSystem(), source, source), TellamoError);
    EXPECT_EQ(test::ReadFileBytes(source), bytes);
    test::FaultyFileSystem full;
    full.FailAt = 3; // create, write, write...: the second write finds the disk full
    try {
        CopyFileStaged(full, source, target);
        ADD_FAILURE() << "no error";
    } catch (const TellamoError& e) {
        EXPECT_NE(std::string(e.what()).find("copy.wav"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("No space left"), std::string::npos) << e.what();
    }
    EXPECT_EQ(test::ReadFileBytes(target), "old content");
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"copy.wav", "note.wav"}));
}

// A conversion on the worker thread: completes with the file in place, or is cancelled half-way
// and leaves the old target and no partial file; other failures reach the caller.
TEST(BackgroundWork, CompletesCancelsAndReportsFailures) {
    test::TempDir dir;
    const std::string source = dir.File("note.wav");
    test::WriteFileBytes(
        source, test::PcmWavBytes(1, 22050, 16, test::Pcm16Bytes(test::VoiceLike(22050, 120))));
    const std::string target = dir.File("old.wav");
    test::WriteFileBytes(target, "old content");

    auto convert = [&](const WorkProgress& progress) {
        ConvertCtrl converter;
        converter.AudioCompressors().SetSelection(0);
        converter.SetSourceFile(QFile::decodeName(source.c_str()));
        converter.SetTargetFile(QFile::decodeName(target.c_str()));
        converter.SetTargetFormat(ConvertCtrl::TargetFormatWav);
        converter.SetProgress(progress);
        converter.StartConvert();
    };
    {
        BackgroundWork job(convert);
        while (job.Fraction() < 0.2 && !job.Done()) {
            std::this_thread::yield();
        }
        ASSERT_FALSE(job.Done()) << "the conversion ended before it could be cancelled";
        job.Cancel();
        EXPECT_FALSE(job.Finish());
        EXPECT_EQ(test::ReadFileBytes(target), "old content");
        EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"note.wav", "old.wav"}));
    }
    {
        BackgroundWork job(convert);
        EXPECT_TRUE(job.Finish());
        EXPECT_EQ(test::ReadFileBytes(target).substr(0, 4), "RIFF");
        EXPECT_DOUBLE_EQ(job.Fraction(), 1.0);
    }
    {
        BackgroundWork job([](const WorkProgress&) { throw TellamoError("disk on fire"); });
        EXPECT_THROW(job.Finish(), TellamoError);
    }
}

} // namespace
} // namespace tellamo
