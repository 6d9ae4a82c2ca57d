#include <cmath>
#include <cstdio>
#include <filesystem>

#include <gtest/gtest.h>

#include <QFile>

#include "audio/NoteAudio.h"
#include "audio/WavFormat.h"
#include "common/ByteIO.h"
#include "common/Errors.h"
#include "export/ConvertCtrl.h"
#include "support/ChildProcess.h"
#include "support/FaultyFileSystem.h"
#include "support/TempDir.h"

namespace tellamo {
namespace {
using test::FilesIn;

std::string PcmWav(std::uint16_t channels, std::uint16_t rate, std::uint16_t bits,
                   const std::string& samples) {
    auto header = MakeWaveHeader(channels, rate, bits);
    PutU32(&header[4], static_cast<std::uint32_t>(36 + samples.size()));
    PutU32(&header[40], static_cast<std::uint32_t>(samples.size()));
    return std::string(header.begin(), header.end()) + samples;
}

std::string Pcm16(const std::vector<std::int16_t>& samples) {
    std::string bytes;
    for (std::int16_t s : samples) {
        bytes.push_back(static_cast<char>(s & 0xFF));
        bytes.push_back(static_cast<char>((s >> 8) & 0xFF));
    }
    return bytes;
}

std::vector<std::int16_t> Read8k(const std::string& path) {
    std::vector<std::int16_t> all;
    ReadNoteAs8kHzMono(
        path, [&](const std::int16_t* s, std::size_t n) { all.insert(all.end(), s, s + n); });
    return all;
}

void Convert(const std::string& source, const std::string& target,
             FileSystem& fs = RealFileSystem()) {
    ConvertCtrl converter(fs);
    converter.AudioCompressors().SetSelection(0);
    converter.SetSourceFile(QFile::decodeName(source.c_str()));
    converter.SetTargetFile(QFile::decodeName(target.c_str()));
    converter.SetTargetFormat(ConvertCtrl::TargetFormatWav);
    converter.StartConvert();
}

TEST(NoteAudio, MixesStereoAndReads8BitAtTheTargetRateExactly) {
    test::TempDir dir;
    struct Case {
        const char* Name;
        std::string File;
        std::vector<std::int16_t> Expected;
    };
    const Case cases[] = {
        {"16-bit stereo",
         PcmWav(2, 8000, 16, Pcm16({1000, 3000, -4, -2, 32767, 32767})),
         {2000, -3, 32767}},
        {"8-bit mono",
         PcmWav(1, 8000, 8, std::string("\x80\x82\x00\xFF", 4)),
         {0, 512, -32768, 32512}},
        {"8-bit stereo", PcmWav(2, 8000, 8, std::string("\x80\x84", 2)), {512}},
        // A recording that was never completed claims no data; one that claims more than the
        // file holds is read to the end of the file.
        {"data size beyond the file",
         [] {
             std::string f = PcmWav(1, 8000, 16, Pcm16({5, 6, 7}));
             PutU32(reinterpret_cast<unsigned char*>(&f[40]), 1000000);
             return f;
         }(),
         {5, 6, 7}},
        {"odd trailing byte", PcmWav(1, 8000, 16, Pcm16({9, 10}) + "\x01"), {9, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = dir.File("in.wav");
        test::WriteFileBytes(path, c.File);
        EXPECT_EQ(Read8k(path), c.Expected);
    }
}

// A rate of 65536 Hz or more is read in all its 32 bits, not as its low half.
TEST(NoteAudio, ResamplesToTheRightLength) {
    test::TempDir dir;
    for (const std::uint32_t rate : {4000u, 11025u, 22050u, 96000u}) {
        SCOPED_TRACE(rate);
        std::vector<std::int16_t> tone(rate * 2u);
        for (std::size_t i = 0; i < tone.size(); ++i) {
            tone[i] = static_cast<std::int16_t>(8000 * std::sin(2 * 3.14159265 * 440 * i / rate));
        }
        const std::string path = dir.File("in.wav");
        std::string wav = PcmWav(1, 8000, 16, Pcm16(tone));
        PutU32(reinterpret_cast<unsigned char*>(&wav[24]), rate);
        PutU32(reinterpret_cast<unsigned char*>(&wav[28]), rate * 2);
        test::WriteFileBytes(path, wav);
        const std::vector<std::int16_t> out = Read8k(path);
        EXPECT_NEAR(static_cast<double>(out.size()), 16000.0, 1.0);
        // The 440 Hz tone keeps its level (RMS 8000 / sqrt 2) in the middle of the file.
        double energy = 0;
        for (std::size_t i = 4000; i < 12000; ++i) {
            energy += static_cast<double>(out[i]) * out[i];
        }
        EXPECT_NEAR(std::sqrt(energy / 8000), 8000 / std::sqrt(2.0), 60);
    }
}

TEST(ConvertCtrl, OffersTrueSpeechAndChecksItsSettings) {
    ConvertCtrl converter;
    const CompressorList& list = converter.AudioCompressors();
    ASSERT_GE(list.Count(), 1);
    const QString name = list.Item(0).Name();
    EXPECT_EQ(name, "DSP Group TrueSpeech(TM)");
    EXPECT_TRUE(name.toUpper().contains("DSP") && name.toUpper().contains("TRUESPEECH"));
    EXPECT_EQ(list.Selection(), -1);
    EXPECT_THROW(list.Item(list.Count()), TellamoError);
    EXPECT_THROW(converter.AudioCompressors().SetSelection(5), TellamoError);

    test::TempDir dir;
    const std::string source = dir.File("note.wav");
    test::WriteFileBytes(source, PcmWav(1, 11025, 16, Pcm16(std::vector<std::int16_t>(2000, 100))));
    converter.SetSourceFile(QString::fromStdString(source));
    converter.SetTargetFile(QString::fromStdString(dir.File("out.wav")));
    converter.SetTargetFormat(ConvertCtrl::TargetFormatWav);
    EXPECT_THROW(converter.StartConvert(), TellamoError); // nothing selected
    converter.AudioCompressors().SetSelection(0);
    converter.SetTargetFormat(1);
    EXPECT_THROW(converter.StartConvert(), TellamoError);
    converter.SetTargetFormat(ConvertCtrl::TargetFormatWav);
    converter.StartConvert();
    EXPECT_TRUE(test::FileExists(dir.File("out.wav")));
}

// Each failure gives a message naming the file, and leaves no file under the target's name and
// no temporary file behind; an existing target stays as it was.
TEST(ConvertCtrl, FailuresLeaveTheTargetAloneAndNameTheCause) {
    test::TempDir dir;
    const std::string good = dir.File("good.wav");
    test::WriteFileBytes(good, PcmWav(1, 8000, 16, Pcm16(std::vector<std::int16_t>(4000, 300))));
    const std::string noData = dir.File("nodata.wav");
    test::WriteFileBytes(noData, std::string(400, 'x'));
    const std::string shortFile = dir.File("short.wav");
    test::WriteFileBytes(shortFile, "RIFF");
    const std::string zeroRate = dir.File("zerorate.wav");
    test::WriteFileBytes(zeroRate, PcmWav(1, 0, 16, Pcm16({1, 2, 3})));
    const std::string float32 = dir.File("float.wav");
    std::string floatFile = PcmWav(1, 8000, 32, std::string(400, '\x10'));
    PutU16(reinterpret_cast<unsigned char*>(&floatFile[20]), 3);
    test::WriteFileBytes(float32, floatFile);
    const std::string noChannels = dir.File("nochannels.wav");
    test::WriteFileBytes(noChannels, PcmWav(0, 8000, 16, Pcm16({1, 2, 3})));
    const std::string manyChannels = dir.File("manychannels.wav");
    std::string many = PcmWav(1, 8000, 8, std::string(4000, '\x10'));
    PutU16(reinterpret_cast<unsigned char*>(&many[22]), 65535);
    PutU16(reinterpret_cast<unsigned char*>(&many[32]), 65535);
    test::WriteFileBytes(manyChannels, many);
    const std::string millionHz = dir.File("million.wav");
    std::string million = PcmWav(1, 8000, 16, Pcm16({1, 2, 3}));
    PutU32(reinterpret_cast<unsigned char*>(&million[24]), 1000000);
    test::WriteFileBytes(millionHz, million);
    const std::string bits24 = dir.File("24bit.wav");
    test::WriteFileBytes(bits24, PcmWav(1, 8000, 24, std::string(300, '\x10')));
    const std::string compressed = dir.File("adpcm.wav");
    std::string adpcm = PcmWav(1, 8000, 16, std::string(400, '\x10'));
    PutU16(reinterpret_cast<unsigned char*>(&adpcm[20]), 2);
    test::WriteFileBytes(compressed, adpcm);

    struct Case {
        const char* Name;
        std::string Source;
        std::string Target;
        std::string MessagePart;
    };
    const Case cases[] = {
        {"missing source", dir.File("missing.wav"), dir.File("t1.wav"), "missing.wav"},
        {"no data chunk", noData, dir.File("t2.wav"), "nodata.wav"},
        {"truncated header", shortFile, dir.File("t3.wav"), "short.wav"},
        {"no sample rate", zeroRate, dir.File("t4.wav"), "zerorate.wav\" is not a sound file"},
        {"no channels", noChannels, dir.File("t9.wav"), "declares no channels"},
        {"65535 channels", manyChannels, dir.File("t10.wav"), "65535 channels (at most 8)"},
        {"1000000 Hz", millionHz, dir.File("t11.wav"), "rate of 1000000 Hz"},
        {"float samples", float32, dir.File("t6.wav"), "samples of 32 bits (8 or 16)"},
        {"24-bit samples", bits24, dir.File("t7.wav"), "samples of 24 bits (8 or 16)"},
        {"compressed samples", compressed, dir.File("t8.wav"), "not an 8- or 16-bit PCM"},
        {"missing folder", good, dir.File("no/such/t5.wav"), "no/such/t5.wav"},
        {"target is a folder", good, dir.Path(), dir.Path()},
        {"target is the source", good, good, "good.wav"},
    };
    const std::vector<std::string> before = FilesIn(dir.Path());
    const std::string goodBytes = test::ReadFileBytes(good);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        try {
            Convert(c.Source, c.Target);
            ADD_FAILURE() << "no error";
        } catch (const TellamoError& e) {
            EXPECT_NE(std::string(e.what()).find(c.MessagePart), std::string::npos) << e.what();
        }
        EXPECT_EQ(FilesIn(dir.Path()), before);
        EXPECT_EQ(test::ReadFileBytes(good), goodBytes);
    }
}

TEST(ConvertCtrl, AFullDiskKeepsTheOldTargetAndLeavesNoTemporaryFile) {
    test::TempDir dir;
    const std::string source = dir.File("note.wav");
    test::WriteFileBytes(source, PcmWav(1, 8000, 16, Pcm16(std::vector<std::int16_t>(4000, 300))));
    const std::string target = dir.File("old.wav");
    test::WriteFileBytes(target, "old content");

    test::FaultyFileSystem counting;
    Convert(source, dir.File("probe.wav"), counting);
    std::filesystem::remove(dir.File("probe.wav"));
    ASSERT_GT(counting.Calls, 0);
    // Fail each file-system operation in turn: every one must either succeed in full or leave
    // the old target and no temporary file.
    for (int failAt = 1; failAt <= counting.Calls; ++failAt) {
        SCOPED_TRACE("failing operation " + std::to_string(failAt));
        test::FaultyFileSystem fs;
        fs.FailAt = failAt;
        bool failed = false;
        try {
            Convert(source, target, fs);
        } catch (const TellamoError& e) {
            failed = true;
            EXPECT_NE(std::string(e.what()).find("old.wav"), std::string::npos) << e.what();
        }
        const std::string now = test::ReadFileBytes(target);
        if (failed) {
            EXPECT_EQ(now, "old content");
        } else {
            EXPECT_EQ(now.substr(0, 4), "RIFF");
            test::WriteFileBytes(target, "old content");
        }
        EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"note.wav", "old.wav"}));
    }
}

TEST(ConvertTool, ReportsUsageAndErrorsWithExitStatus) {
    const char* binaryDir = std::getenv("TELLAMO_BINARY_DIR");
    ASSERT_NE(binaryDir, nullptr);
    const std::string tool = std::string(binaryDir) + "/src/export/tellamo-convert";
    test::TempDir dir;
    const std::string source = dir.File("note.wav");
    test::WriteFileBytes(source, PcmWav(1, 8000, 16, Pcm16(std::vector<std::int16_t>(800, 300))));
    const std::string empty = dir.File("empty.wav");
    test::WriteFileBytes(empty, PcmWav(0, 8000, 16, Pcm16(std::vector<std::int16_t>(800, 300))));
    struct Case {
        std::vector<std::string> Args;
        int Status;
        const char* StdoutPart;
        const char* StderrPart;
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage: tellamo-convert SOURCE.wav TARGET.wav", ""},
        {{}, 2, "", "expected a source and a target file"},
        {{source}, 2, "", "expected a source and a target file"},
        {{"-x", source, dir.File("a.wav")}, 2, "", "unknown option '-x'"},
        {{dir.File("missing.wav"), dir.File("b.wav")}, 1, "", "missing.wav"},
        {{source, dir.File("none/c.wav")}, 1, "", "none/c.wav"},
        {{empty, dir.File("e.wav")},
         1,
         "",
         "empty.wav\" is not a sound file that can be read: it declares no channels"},
        {{source, dir.File("d.wav")}, 0, "", ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{tool};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        SCOPED_TRACE(args.size() > 1 ? args[1] : "no arguments");
        const int status = test::RunProgram(args, dir.File("out.txt"), dir.File("err.txt"));
        EXPECT_EQ(status, c.Status);
        EXPECT_NE(test::ReadFileBytes(dir.File("out.txt")).find(c.StdoutPart), std::string::npos);
        const std::string err = test::ReadFileBytes(dir.File("err.txt"));
        if (c.Status == 0) {
            EXPECT_EQ(err, "") << "a success says nothing on the error output";
        } else {
            EXPECT_NE(err.find(c.StderrPart), std::string::npos) << err;
            EXPECT_NE(err.find("tellamo-convert: "), std::string::npos);
        }
    }
    EXPECT_EQ(test::ReadFileBytes(dir.File("d.wav")).substr(0, 4), "RIFF");
}

} // namespace
} // namespace tellamo
