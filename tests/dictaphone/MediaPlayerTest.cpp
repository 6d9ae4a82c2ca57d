#include "dictaphone/MediaPlayer.h"

#include <thread>

#include <gtest/gtest.h>

#include "audio/WavFormat.h"
#include "audio/WindowPoster.h"
#include "common/ByteIO.h"
#include "common/Errors.h"
#include "dictaphone/SystemSound.h"
#include "dictaphone/TellamoWav.h"
#include "support/FakeWavePort.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

// One second of 8-bit mono sound at 8000 Hz: 8000 bytes, buffers of 800.
class MediaPlayerTest : public ::testing::Test {
protected:
    MediaPlayerTest() {
        const auto header = MakeWaveHeader(1, 8000, 8);
        std::string bytes(reinterpret_cast<const char*>(header.data()), header.size());
        std::string samples(8000, '\0');
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples[i] = static_cast<char>(i / 800); // each tenth of a second has its own value
        }
        bytes += samples;
        PutU32(reinterpret_cast<unsigned char*>(bytes.data()) + 40, 8000);
        WriteFileBytes(mDir.File("note.wav"), bytes);
        mSamples = samples;
    }
    void Feed() { mPoster.ProcessPending(); }

    TempDir mDir;
    FakeWavePort mPort;
    EventFdPoster mPoster;
    MediaPlayer mPlayer{mPort, mPoster};
    std::string mSamples;
};

TEST_F(MediaPlayerTest, CommandsWithoutAFileSayNoDeviceIsOpen) {
    for (auto command : std::initializer_list<std::function<void()>>{
             [&] { mPlayer.Play(); }, [&] { mPlayer.PauseToggle(); }, [&] { mPlayer.Stop(); },
             [&] { mPlayer.Seek(10); }, [&] { mPlayer.Length(); }}) {
        try {
            command();
            ADD_FAILURE() << "no error";
        } catch (const TellamoError& e) {
            EXPECT_STREQ(e.what(), "No MCI device open");
        }
    }
    EXPECT_EQ(mPlayer.CurrentMode(), MediaPlayer::Mode::NotOpen);
}

TEST_F(MediaPlayerTest, ADeviceThatCannotOpenGivesItsOwnWords) {
    mPort.ErrorTexts[-7] = "Device or resource busy";
    mPort.Fail(FakeCall::OpenOutput, -7);
    try {
        mPlayer.Open(mDir.File("note.wav"));
        FAIL();
    } catch (const TellamoError& e) {
        EXPECT_STREQ(e.what(), "Device or resource busy");
    }
    EXPECT_FALSE(mPlayer.IsOpen());
    EXPECT_THROW(mPlayer.Open(mDir.File("missing.wav")), TellamoError);
}

// The header of a damaged file (no channels, 0 Hz, block align 0, a data size far beyond its
// 10 KB) is refused before a device opens, in words that name the file.
TEST_F(MediaPlayerTest, AnImpossibleHeaderOpensNoDevice) {
    auto header = MakeWaveHeader(1, 8000, 8);
    PutU16(&header[22], 0);
    PutU16(&header[24], 0);
    PutU16(&header[32], 0);
    PutU32(&header[40], 0xFFFFFFF0u);
    const std::string path = mDir.File("bad.wav");
    WriteFileBytes(path, std::string(header.begin(), header.end()) + std::string(10000, '\x80'));
    try {
        mPlayer.Open(path);
        ADD_FAILURE() << "no error";
    } catch (const TellamoError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "\"" + path + "\" is not a sound file that can be read: it declares no channels");
    }
    EXPECT_FALSE(mPlayer.IsOpen());
    EXPECT_TRUE(mPort.Calls().empty()) << "no device was opened";
}

TEST_F(MediaPlayerTest, PlaysToTheEndAndReportsThePosition) {
    mPlayer.Open(mDir.File("note.wav"));
    EXPECT_EQ(mPlayer.Length(), 1000u);
    EXPECT_EQ(mPlayer.Position(), 0u);
    mPlayer.Play();
    EXPECT_EQ(mPlayer.CurrentMode(), MediaPlayer::Mode::Playing);
    EXPECT_EQ(mPort.QueuedOutputCount(), 4u);
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(mPort.CompleteOutput()) << i;
        Feed();
        EXPECT_EQ(mPlayer.Position(), 100u * (i + 1));
    }
    EXPECT_FALSE(mPort.CompleteOutput()) << "nothing is written past the data";
    EXPECT_EQ(mPort.WrittenBytes(), mSamples);
    // Play at the end starts again from the beginning.
    mPlayer.Play();
    EXPECT_EQ(mPlayer.Position(), 0u);
    EXPECT_EQ(mPort.QueuedOutputCount(), 4u);
}

// The end of a note in every format the recorder writes, with lengths that are not whole
// buffers, a data size that ends in a partial frame or claims more than the file holds, and a
// device whose played count never quite reaches what it was given: the last buffer coming back
// ends the playback, the mode is Stopped and the position is the length. A seek to a byte that
// is not the start of a frame plays from the frame that holds it.
TEST(MediaPlayerEnd, EveryFormatPlaysToItsEndAndSeeksToFrames) {
    struct Case {
        const char* Name;
        std::uint16_t Channels, Bits;
        std::uint32_t Rate;
        std::uint32_t Held;      // sample bytes in the file
        std::uint32_t Declared;  // the header's data size
        std::uint64_t Shortfall; // bytes the device's played count stays short
        std::uint32_t SeekMs;    // a seek whose byte offset falls inside a frame
    };
    const Case cases[] = {
        {"8-bit mono 8000 Hz", 1, 8, 8000, 8123, 8123, 0, 0},
        {"8-bit mono, a device short of the end", 1, 8, 8000, 8123, 8123, 100, 0},
        {"8-bit stereo 11025 Hz", 2, 8, 11025, 2 * 11025 + 6, 2 * 11025 + 6, 1, 20},
        {"16-bit mono 11025 Hz", 1, 16, 11025, 33075 * 2 + 10, 33075 * 2 + 10, 2, 20},
        {"16-bit mono, a partial frame at the end", 1, 16, 22050, 4411 * 2 + 1, 4411 * 2 + 1, 0,
         10},
        {"16-bit stereo 44100 Hz", 2, 16, 44100, 44100 * 4 / 3 + 12, 44100 * 4 / 3 + 12, 4410, 5},
        {"16-bit stereo, data size beyond the file", 2, 16, 11025, 4000 * 4 + 3, 0xFFFFFFF0u, 0,
         10},
        {"an empty note", 1, 16, 11025, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        FakeWavePort port;
        port.PlayedShortfall = c.Shortfall;
        EventFdPoster poster;
        MediaPlayer player(port, poster);
        auto header = MakeWaveHeader(c.Channels, static_cast<std::uint16_t>(c.Rate), c.Bits);
        PutU32(&header[40], c.Declared);
        std::string samples(c.Held, '\0');
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples[i] = static_cast<char>(i % 251); // no two nearby bytes alike
        }
        const std::string path = dir.File("note.wav");
        WriteFileBytes(path, std::string(header.begin(), header.end()) + samples);
        const std::uint32_t frame = c.Channels * c.Bits / 8u;
        const std::uint32_t playable = std::min(c.Held, c.Declared) / frame * frame;
        const std::uint64_t bytesPerSecond = std::uint64_t{c.Rate} * frame;

        player.Open(path);
        EXPECT_EQ(port.LastFormat().Channels, c.Channels);
        EXPECT_EQ(port.LastFormat().BitsPerSample, c.Bits);
        EXPECT_EQ(port.LastFormat().SamplesPerSec, c.Rate);
        EXPECT_EQ(player.Length(), playable * 1000 / bytesPerSecond);
        player.Play();
        for (int i = 0; i < 1000 && port.CompleteOutput(); ++i) {
            poster.ProcessPending();
        }
        EXPECT_EQ(player.CurrentMode(), MediaPlayer::Mode::Stopped);
        EXPECT_EQ(player.Position(), player.Length());
        EXPECT_EQ(port.WrittenBytes(), samples.substr(0, playable))
            << "whole frames, the data only";

        // Play at the end starts again; a seek inside a frame plays from that frame's start.
        if (c.SeekMs > 0) {
            const std::uint64_t seekByte = c.SeekMs * bytesPerSecond / 1000;
            ASSERT_NE(seekByte % frame, 0u) << "the case must seek inside a frame";
            const std::uint64_t frameStart = seekByte - seekByte % frame;
            player.Seek(c.SeekMs);
            EXPECT_EQ(player.Position(), frameStart * 1000 / bytesPerSecond);
            const std::size_t before = port.WrittenBytes().size();
            player.Play();
            const std::string resumed = port.WrittenBytes().substr(before);
            ASSERT_GE(resumed.size(), 2u * frame);
            EXPECT_EQ(resumed.substr(0, 2 * frame), samples.substr(frameStart, 2 * frame));
            player.Stop();
        }
        player.Close();
        EXPECT_FALSE(port.OutputOpen());
    }
}

// The media device's own pause and seek, without the rewind on resume (tested on its own below).
TEST_F(MediaPlayerTest, PauseSeekAndResume) {
    mPlayer.SetRewindOnResumeMs(0);
    mPlayer.Open(mDir.File("note.wav"));
    mPlayer.Play();
    mPort.CompleteOutput();
    mPort.CompleteOutput();
    Feed();
    mPlayer.PauseToggle();
    EXPECT_EQ(mPlayer.CurrentMode(), MediaPlayer::Mode::Paused);
    EXPECT_EQ(mPlayer.Position(), 200u);
    EXPECT_EQ(mPort.QueuedOutputCount(), 0u) << "the reset took every buffer back";
    Feed();
    EXPECT_EQ(mPort.QueuedOutputCount(), 0u) << "buffers taken back are not written again";

    // Seeking while paused, as the position slider does: seek, play, pause again.
    mPlayer.Seek(700);
    mPlayer.Play();
    mPlayer.PauseToggle();
    EXPECT_EQ(mPlayer.Position(), 700u);
    EXPECT_EQ(mPlayer.CurrentMode(), MediaPlayer::Mode::Paused);

    const std::size_t before = mPort.WrittenBytes().size();
    mPlayer.PauseToggle(); // resume
    EXPECT_EQ(mPlayer.CurrentMode(), MediaPlayer::Mode::Playing);
    const std::string resumed = mPort.WrittenBytes().substr(before);
    ASSERT_GE(resumed.size(), 800u);
    EXPECT_EQ(resumed.substr(0, 800), mSamples.substr(5600, 800)) << "playing goes on from 0.7 s";

    mPlayer.Stop();
    EXPECT_EQ(mPlayer.CurrentMode(), MediaPlayer::Mode::Stopped);
    mPlayer.Close();
    EXPECT_FALSE(mPort.OutputOpen());
}

TEST_F(MediaPlayerTest, DeviceThreadCompletionsAreFedInOrder) {
    mPlayer.Open(mDir.File("note.wav"));
    mPlayer.Play();
    std::thread device([&] {
        for (int i = 0; i < 10; ++i) {
            while (!mPort.CompleteOutput()) {
                std::this_thread::yield();
            }
        }
    });
    while (mPlayer.Position() < 1000) {
        mPoster.WaitForPosts(50);
        Feed();
    }
    device.join();
    EXPECT_EQ(mPort.WrittenBytes(), mSamples);
}

TEST(TimeLabel, ShowsEveryDigitOfTheHours) {
    const struct {
        std::int64_t Ms;
        const char* Text;
    } cases[] = {
        {0, "0:00:00"},         {999, "0:00:00"},         {65000, "0:01:05"},
        {35999999, "9:59:59"},  {36000000, "10:00:00"},   {69203000, "19:13:23"},
        {86400000, "24:00:00"}, {360000000, "100:00:00"}, {-5, "0:00:00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShortTime(c.Ms).toStdString(), c.Text) << c.Ms;
    }
}

TEST(SystemSoundTest, PlaysTheWholeSoundAndClosesTheDevice) {
    FakeWavePort port;
    const auto header = MakeWaveHeader(1, 22050, 8);
    std::string wav(reinterpret_cast<const char*>(header.data()), header.size());
    PutU32(reinterpret_cast<unsigned char*>(wav.data()) + 40, 100);
    wav += std::string(100, '\x90');
    std::thread device([&] {
        while (!port.CompleteOutput()) {
            std::this_thread::yield();
        }
    });
    PlaySoundSynchronously(port, wav);
    device.join();
    EXPECT_EQ(port.WrittenBytes(), std::string(100, '\x90'));
    EXPECT_FALSE(port.OutputOpen());
    // A device that cannot open is no error for a notification.
    port.Fail(FakeCall::OpenOutput, -1);
    PlaySoundSynchronously(port, wav);
    PlaySoundSynchronously(port, "not a wav");
}

TEST(SystemSoundTest, TheBuiltInNotificationReachesTheOutput) {
    const std::string_view wav = NotificationSound();
    ASSERT_GT(wav.size(), 44u) << "the notification is not built into the library";
    const WaveInfo info = ParseWaveHeader(wav, wav.size(), "SYSTEMWAV");
    FakeWavePort port;
    std::thread device([&] {
        while (!port.CompleteOutput()) {
            std::this_thread::yield();
        }
    });
    PlayNotificationSound(port);
    device.join();
    EXPECT_EQ(port.WrittenBytes(), std::string(wav.substr(info.DataStart, info.DataSize)));
    EXPECT_EQ(port.LastFormat().SamplesPerSec, info.SampleRate);
    EXPECT_EQ(port.LastDevice(), WaveMapper);
}

} // namespace
} // namespace tellamo::test
