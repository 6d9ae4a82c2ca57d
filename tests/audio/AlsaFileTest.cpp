#include <atomic>

#include <gtest/gtest.h>

#include "audio/AlsaTestSupport.h"
#include "audio/AlsaWavePort.h"
#include "audio/Audio.h"
#include "audio/WavFormat.h"
#include "common/ByteIO.h"
#include "support/TempDir.h"

namespace tellamo {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

// The real libasound code path with ALSA's file plugin over "null": the default device captures
// from in.raw and plays into out.raw. The override is loaded through a hook, because a sound
// server's configuration would otherwise replace a plain .asoundrc. The plugin is not paced.
// The suite's setup makes only what no test changes (the speech, the configuration); every file
// a test plays or compares it makes itself, so the tests pass in any order and one at a time.
class AlsaFile : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Dir = new test::TempDir;
        const std::string d = Dir->Path();
        ASSERT_TRUE(test::MakeSpeech(d, 11025, d + "/in.raw"));
        WriteFileBytes(d + "/override.conf", "pcm.!default { type file slave.pcm \"null\" file \"" +
                                                 d + "/out.raw\" infile \"" + d +
                                                 "/in.raw\" format \"raw\" }\n");
        WriteFileBytes(d + "/.asoundrc", "@hooks [ { func load files [ \"" + d +
                                             "/override.conf\" ] errors false } ]\n");
        ::setenv("HOME", d.c_str(), 1);
    }
    static void TearDownTestSuite() {
        delete Dir;
        Dir = nullptr;
    }

    // The speech as a 16-bit mono note at 11025 Hz, and an empty out.raw for the plugin to play
    // into; returns the note's path.
    static std::string SpeechNote() {
        const std::string speech = ReadFileBytes(Dir->File("in.raw"));
        const auto header = MakeWaveHeader(1, 11025, 16);
        std::string file(reinterpret_cast<const char*>(header.data()), header.size());
        PutU32(reinterpret_cast<unsigned char*>(file.data()) + 40,
               static_cast<std::uint32_t>(speech.size()));
        file += speech;
        const std::string path = Dir->File("speech16.wav");
        WriteFileBytes(path, file);
        WriteFileBytes(Dir->File("out.raw"), "");
        return path;
    }

    static test::TempDir* Dir;
    AlsaWavePort mPort;
    EventFdPoster mPoster;
};

test::TempDir* AlsaFile::Dir = nullptr;

template <typename Done> void Pump(EventFdPoster& poster, Done done) {
    for (int i = 0; i < 2000 && !done(); ++i) {
        poster.WaitForPosts(10);
        poster.ProcessPending();
    }
}

TEST_F(AlsaFile, RecordsTheInputSamples) {
    const std::string input = ReadFileBytes(Dir->File("in.raw"));
    ASSERT_GT(input.size(), 20000u);
    EXPECT_GE(mPort.InputDeviceCount(), 1u);
    TAudio audio(mPort, mPoster, Dir->File("PLAY.TMP"));
    TRecorder& rec = audio.Recorder();
    rec.SetBitsPerSample(TBPS::_16);
    rec.SetSampleRate(11025);
    rec.SetNoSamples(1102);
    std::atomic<std::size_t> accepted{0}; // written by the device thread
    audio.OnRecord = [&](TRecorder* r, const unsigned char*, const unsigned char*,
                         std::uint16_t n) {
        accepted += n;
        r->SetTriggered(true);
    };
    rec.SetTriggered(true);
    const std::string wav = Dir->File("note.wav");
    rec.RecordToFile(wav);
    ASSERT_TRUE(rec.StartRecording()) << audio.ErrorMessage;
    Pump(mPoster, [&] { return accepted >= input.size(); });
    ASSERT_TRUE(rec.Stop()) << audio.ErrorMessage;
    const WaveInfo info = ReadWaveHeader(wav);
    EXPECT_EQ(info.SampleRate, 11025);
    EXPECT_EQ(info.BitsField, 16);
    ASSERT_GE(info.DataSize, input.size());
    EXPECT_EQ(info.DataSize % 2204, 0u); // whole buffers only
    EXPECT_EQ(info.FileSize, 44u + info.DataSize);
    const std::string data = ReadFileBytes(wav).substr(44);
    EXPECT_TRUE(data.compare(0, input.size(), input) == 0) << "the recorded samples differ";
}

TEST_F(AlsaFile, PlaysTheFileSamples) {
    const std::string speech = ReadFileBytes(Dir->File("in.raw"));
    const std::string note = SpeechNote();

    TAudio audio(mPort, mPoster, Dir->File("PLAY.TMP"));
    int played = 0;
    audio.OnPlayed = [&](TPlayer*) { ++played; };
    std::int32_t samples = 0;
    ASSERT_TRUE(audio.Player().PlayFile(note, 0, samples)) << audio.ErrorMessage;
    EXPECT_EQ(samples, static_cast<std::int32_t>(speech.size() / 2));
    Pump(mPoster, [&] { return played > 0; });
    ASSERT_EQ(played, 1);
    EXPECT_FALSE(audio.Player().DeviceOpen());
    const std::string out = ReadFileBytes(Dir->File("out.raw"));
    ASSERT_GE(out.size(), speech.size());
    EXPECT_TRUE(out.compare(0, speech.size(), speech) == 0) << "the played samples differ";
    EXPECT_EQ(audio.Player().SampleRate(), 11025); // restored
}

TEST_F(AlsaFile, StopDuringPlaybackReturnsWithTheDeviceClosed) {
    const std::string note = SpeechNote();
    TAudio audio(mPort, mPoster, Dir->File("PLAY.TMP"));
    std::int32_t samples = 0;
    ASSERT_TRUE(audio.Player().PlayFile(note, 3, samples)) << audio.ErrorMessage;
    audio.Player().Stop();
    EXPECT_FALSE(audio.Player().DeviceOpen());
    EXPECT_FALSE(audio.Player().DeviceActive());
}

TEST_F(AlsaFile, ErrorTextsComeFromAlsa) {
    EXPECT_EQ(mPort.ErrorText(-ENODEV), "No such device");
    EXPECT_LE(mPort.ErrorText(-123456).size(), 255u);
    TAudio audio(mPort, mPoster, Dir->File("PLAY.TMP"));
    audio.SetAudioDeviceID(9); // no such card device here
    EXPECT_FALSE(audio.Recorder().StartRecording());
    EXPECT_EQ(audio.ErrorMessage, "Could not open the input device for recording:  No such device");
}

} // namespace
} // namespace tellamo
