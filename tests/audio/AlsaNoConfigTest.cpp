#include <gtest/gtest.h>

#include "audio/AlsaWavePort.h"
#include "audio/Audio.h"
#include "audio/WavFormat.h"
#include "common/ByteIO.h"
#include "support/TempDir.h"

namespace tellamo {
namespace {

// ALSA with a configuration that defines nothing (ALSA_CONFIG_PATH, set for this test): no
// device opens, and every operation says so in words instead of failing silently or crashing.
TEST(AlsaWithoutConfiguration, EveryDeviceFailsWithAlsasWords) {
    AlsaWavePort port;
    EventFdPoster poster;
    test::TempDir dir;
    EXPECT_EQ(port.InputDeviceCount(), 0u);
    EXPECT_EQ(port.OutputDeviceCount(), 0u);
    EXPECT_EQ(port.MixerDeviceCount(), 0u);
    TAudio audio(port, poster, dir.File("PLAY.TMP"));
    EXPECT_FALSE(audio.Recorder().BuffersAllocated());
    EXPECT_FALSE(audio.Player().BuffersAllocated());
    EXPECT_FALSE(audio.Mixer().MixerOpen());

    const std::string recordPrefix = "Could not open the input device for recording:  ";
    EXPECT_FALSE(audio.Recorder().StartRecording());
    ASSERT_EQ(audio.ErrorMessage.rfind(recordPrefix, 0), 0u) << audio.ErrorMessage;
    EXPECT_GT(audio.ErrorMessage.size(), recordPrefix.size()); // ALSA's own words follow
    EXPECT_FALSE(audio.Recorder().DeviceOpen());

    const auto header = MakeWaveHeader(1, 8000, 8);
    std::string wav(reinterpret_cast<const char*>(header.data()), header.size());
    PutU32(reinterpret_cast<unsigned char*>(wav.data()) + 40, 100);
    test::WriteFileBytes(dir.File("a.wav"), wav + std::string(100, '\x80'));
    std::int32_t samples = 0;
    EXPECT_FALSE(audio.Player().PlayFile(dir.File("a.wav"), 0, samples));
    EXPECT_EQ(samples, 100);
    EXPECT_EQ(audio.Player().SampleRate(), 8000);
    EXPECT_EQ(audio.ErrorMessage.rfind("Could not open the output device for playing:  ", 0), 0u)
        << audio.ErrorMessage;

    audio.ErrorMessage = "kept";
    std::uint16_t l = 0, r = 0;
    bool m = false;
    EXPECT_FALSE(audio.Mixer().SetVolume(0, 0, 1, 1, false));
    EXPECT_FALSE(audio.Mixer().GetVolume(0, 0, l, r, m));
    EXPECT_EQ(audio.ErrorMessage, "kept");
}

} // namespace
} // namespace tellamo
