#include <gtest/gtest.h>

#include "audio/AudioFixture.h"
#include "audio/WavFormat.h"

namespace tellamo {
namespace {

using test::AudioFixture;

TEST(TAudio, ConstructionDefaults) {
    AudioFixture f;
    f.Create();
    TAudio& a = *f.Audio;
    EXPECT_EQ(a.AudioDeviceID(), 0xFFFFFFFFu);
    EXPECT_EQ(a.MixerDeviceID(), 0);
    EXPECT_FALSE(a.SeparateCtrls());
    EXPECT_EQ(a.Version(), "4.1 (32bit)");
    EXPECT_TRUE(a.ErrorMessage.empty());
    for (TAudioSettings* s :
         {static_cast<TAudioSettings*>(&a.Recorder()), static_cast<TAudioSettings*>(&a.Player())}) {
        EXPECT_EQ(s->Channels(), TChannels::Mono);
        EXPECT_EQ(s->BitsPerSample(), TBPS::_8);
        EXPECT_EQ(s->SampleRate(), 11025);
        EXPECT_EQ(s->NoSamples(), 8192);
        EXPECT_EQ(s->BufferSize(), 8192);
        EXPECT_TRUE(s->BuffersAllocated());
        EXPECT_FALSE(s->DeviceOpen());
        EXPECT_FALSE(s->DeviceActive());
        const PcmFormat* fmt = s->WaveFormat();
        ASSERT_NE(fmt, nullptr);
        EXPECT_EQ(fmt->FormatTag, 1);
        EXPECT_EQ(fmt->Channels, 1);
        EXPECT_EQ(fmt->SamplesPerSec, 11025u);
        EXPECT_EQ(fmt->AvgBytesPerSec, 11025u);
        EXPECT_EQ(fmt->BlockAlign, 1);
        EXPECT_EQ(fmt->BitsPerSample, 8);
    }
    EXPECT_EQ(a.Recorder().TrigLevel(), 0);
    EXPECT_FALSE(a.Recorder().Triggered());
    EXPECT_FALSE(a.Recorder().SplitChannels());
    EXPECT_FALSE(a.Recorder().RecordFileOpen());
    a.SetVersion("9.9");
    EXPECT_EQ(a.Version(), "4.1 (32bit)");
}

TEST(TAudio, BuffersNeedDevices) {
    const struct {
        std::uint32_t in, out;
        bool recorder, player;
    } cases[] = {
        {0, 1, false, false}, {1, 0, true, false}, {0, 0, false, false}, {2, 3, true, true}};
    for (const auto& c : cases) {
        AudioFixture f;
        f.Port.InputDevices = c.in;
        f.Port.OutputDevices = c.out;
        f.Create();
        EXPECT_EQ(f.Rec().BuffersAllocated(), c.recorder) << c.in << " " << c.out;
        EXPECT_EQ(f.Play().BuffersAllocated(), c.player) << c.in << " " << c.out;
        EXPECT_EQ(f.Rec().WaveFormat() != nullptr, c.recorder);
    }
}

TEST(TAudio, AudioDeviceIdAboveNineIsTheMapper) {
    AudioFixture f;
    f.Create();
    f.Audio->SetAudioDeviceID(3);
    EXPECT_EQ(f.Audio->AudioDeviceID(), 3u);
    f.Audio->SetAudioDeviceID(12);
    EXPECT_EQ(f.Audio->AudioDeviceID(), 0xFFFFFFFFu);
    f.Audio->SetAudioDeviceID(9);
    EXPECT_EQ(f.Audio->AudioDeviceID(), 9u);
    // the buffers were rebuilt and still exist
    EXPECT_TRUE(f.Rec().BuffersAllocated());
    EXPECT_TRUE(f.Play().BuffersAllocated());
}

TEST(TAudio, AudioDeviceIdRebuildsBothRingsOnAMachineWithoutDevices) {
    AudioFixture f;
    f.Port.InputDevices = 0;
    f.Create();
    ASSERT_FALSE(f.Rec().BuffersAllocated());
    f.Audio->SetAudioDeviceID(3);
    EXPECT_TRUE(f.Rec().BuffersAllocated());
    EXPECT_TRUE(f.Play().BuffersAllocated());
}

TEST(TAudio, FormatSettersFollowSeparateCtrls) {
    AudioFixture f;
    f.Create();
    f.Play().SetSampleRate(8000);
    EXPECT_EQ(f.Play().SampleRate(), 8000);
    EXPECT_EQ(f.Rec().SampleRate(), 8000);
    EXPECT_EQ(f.Rec().WaveFormat()->SamplesPerSec, 8000u);
    f.Rec().SetBitsPerSample(TBPS::_16);
    EXPECT_EQ(f.Play().BitsPerSample(), TBPS::_16);
    EXPECT_EQ(f.Play().BufferSize(), 16384);

    f.Audio->SetSeparateCtrls(true);
    f.Play().SetSampleRate(22050);
    EXPECT_EQ(f.Play().SampleRate(), 22050);
    EXPECT_EQ(f.Rec().SampleRate(), 8000);
    f.Rec().SetChannels(TChannels::Stereo);
    EXPECT_EQ(f.Rec().Channels(), TChannels::Stereo);
    EXPECT_EQ(f.Play().Channels(), TChannels::Mono);
    EXPECT_EQ(f.Rec().WaveFormat()->BlockAlign, 4);
    EXPECT_EQ(f.Rec().WaveFormat()->AvgBytesPerSec, 32000u);
}

TEST(TAudio, NoSamplesGoesToBothWhateverSeparateCtrls) {
    AudioFixture f;
    f.Create();
    f.Audio->SetSeparateCtrls(true);
    f.Rec().SetNoSamples(1102);
    EXPECT_EQ(f.Rec().NoSamples(), 1102);
    EXPECT_EQ(f.Play().NoSamples(), 1102);
    EXPECT_EQ(f.Rec().BufferSize(), 1102);
}

TEST(TAudio, ChannelsReapplySplitChannels) {
    AudioFixture f;
    f.Create();
    f.Rec().SetSplitChannels(true);
    EXPECT_FALSE(f.Rec().SplitChannels()); // a mono recorder cannot split
    f.Rec().SetChannels(TChannels::Stereo);
    f.Rec().SetSplitChannels(true);
    EXPECT_TRUE(f.Rec().SplitChannels());
    f.Rec().SetChannels(TChannels::Stereo); // unchanged value: the rule still runs
    EXPECT_TRUE(f.Rec().SplitChannels());
    f.Play().SetChannels(TChannels::Mono);
    EXPECT_FALSE(f.Rec().SplitChannels());
}

TEST(TAudio, BufferSizeLimit) {
    AudioFixture f;
    f.Create();
    f.Rec().SetBitsPerSample(TBPS::_16);
    f.Rec().SetChannels(TChannels::Stereo);
    EXPECT_EQ(f.Rec().BufferSize(), 32768);
    EXPECT_TRUE(f.Rec().BuffersAllocated());
    f.Rec().SetNoSamples(16384); // 65536 bytes: one more than a buffer can hold
    EXPECT_FALSE(f.Rec().BuffersAllocated());
    EXPECT_EQ(f.Audio->ErrorMessage, "Not enough memory to allocate Wave Buffer");
    EXPECT_FALSE(f.Rec().StartRecording());
    EXPECT_EQ(f.Audio->ErrorMessage.rfind("Could not open the input device for recording: ", 0),
              0u);
    EXPECT_FALSE(f.Port.InputOpen());
    f.Rec().SetNoSamples(16383);
    EXPECT_TRUE(f.Rec().BuffersAllocated());
    EXPECT_EQ(f.Rec().BufferSize(), 65532);
}

TEST(TAudio, FormatCannotChangeUnderAnOpenDevice) {
    AudioFixture f;
    f.Create();
    ASSERT_TRUE(f.Rec().StartRecording());
    f.Play().SetSampleRate(8000);
    EXPECT_EQ(f.Play().SampleRate(), 8000);
    EXPECT_EQ(f.Rec().SampleRate(), 11025); // the recorder's device holds its buffers
    EXPECT_EQ(f.Rec().WaveFormat()->SamplesPerSec, 11025u);
    EXPECT_EQ(f.Audio->ErrorMessage, "The format cannot change while the device is open");
    EXPECT_TRUE(f.Rec().Stop());
}

TEST(TAudio, QueryEndSessionCompletesTheRecordingAndStaysUsable) {
    AudioFixture f;
    f.Create();
    const std::string path = f.Dir.File("n.wav");
    f.Rec().RecordToFile(path);
    f.Rec().SetTriggered(true);
    ASSERT_TRUE(f.Rec().StartRecording());
    const std::string data(8192, '\x90');
    f.Rec().SetTriggered(true);
    ASSERT_TRUE(f.Port.CompleteInput(data.data(), data.size()));
    EXPECT_TRUE(f.Audio->QueryEndSession());
    EXPECT_FALSE(f.Rec().DeviceOpen());
    EXPECT_FALSE(f.Rec().RecordFileOpen());
    const WaveInfo info = ReadWaveHeader(path);
    EXPECT_EQ(info.DataSize, 8192u);
    EXPECT_EQ(info.FileSize, 8192u + 44);
    ASSERT_TRUE(f.Rec().StartRecording()); // still usable
    EXPECT_TRUE(f.Rec().Stop());
}

TEST(TAudio, DestructionStopsARunningRecordingAndPlayback) {
    AudioFixture f;
    f.Create();
    const std::string path = f.Dir.File("n.wav");
    f.Rec().RecordToFile(path);
    f.Rec().SetTriggered(true);
    ASSERT_TRUE(f.Rec().StartRecording());
    const std::string data(8192, '\x70');
    ASSERT_TRUE(f.Port.CompleteInput(data.data(), data.size()));
    f.Poster.ProcessPending();
    test::WriteFileBytes(f.Dir.File("p.wav"), [] {
        const auto h = MakeWaveHeader(1, 11025, 8);
        std::string s(reinterpret_cast<const char*>(h.data()), h.size());
        s[40] = 100;
        return s + std::string(100, 'x');
    }());
    std::int32_t samples = 0;
    ASSERT_TRUE(f.Play().PlayFile(f.Dir.File("p.wav"), 0, samples));
    f.Audio.reset();
    EXPECT_FALSE(f.Port.InputOpen());
    EXPECT_FALSE(f.Port.OutputOpen());
    EXPECT_EQ(ReadWaveHeader(path).DataSize, 8192u);
    f.Poster.ProcessPending(); // nothing stale reaches the destroyed parts
}

TEST(TAudio, DestructionCompletesAnOpenRecordingFile) {
    AudioFixture f;
    f.Create();
    const std::string path = f.Dir.File("n.wav");
    f.Rec().RecordToFile(path);
    f.Port.Fail(FakeCall::OpenInput, -5);
    EXPECT_FALSE(f.Rec().StartRecording()); // the file stays open, header only
    EXPECT_TRUE(f.Rec().RecordFileOpen());
    f.Audio.reset();
    const WaveInfo info = ReadWaveHeader(path);
    EXPECT_EQ(info.DataSize, 0u);
    EXPECT_EQ(info.FileSize, 44u);
    EXPECT_EQ(test::ReadFileBytes(path).substr(4, 4), std::string("\x24\0\0\0", 4));
}

} // namespace
} // namespace tellamo
