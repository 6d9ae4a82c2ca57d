#include "audio/FakeWavePort.h"
#include "audio/WavFormat.h"
#include "audio/WindowPoster.h"
#include "common/ByteIO.h"
#include "common/Errors.h"
#include "dictaphone/MediaPlayer.h"
#include "dictaphone/SystemSound.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <thread>

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
        WriteFileBytes(Dir.File("note.wav"), bytes);
        Samples = samples;
    }
    void Feed() { Poster.ProcessPending(); }

    TempDir Dir;
    FakeWavePort Port;
    EventFdPoster Poster;
    TMediaPlayer Player{Port, Poster};
    std::string Samples;
};

TEST_F(MediaPlayerTest, CommandsWithoutAFileSayNoDeviceIsOpen) {
    for (auto command : std::initializer_list<std::function<void()>>{
             [&] { Player.Play(); }, [&] { Player.PauseToggle(); }, [&] { Player.Stop(); },
             [&] { Player.Seek(10); }, [&] { Player.Length(); }}) {
        try {
            command();
            ADD_FAILURE() << "no error";
        } catch (const TellamoError& e) {
            EXPECT_STREQ(e.what(), "No MCI device open");
        }
    }
    EXPECT_EQ(Player.CurrentMode(), TMediaPlayer::Mode::NotOpen);
}

TEST_F(MediaPlayerTest, ADeviceThatCannotOpenGivesItsOwnWords) {
    Port.ErrorTexts[-7] = "Device or resource busy";
    Port.Fail(FakeCall::OpenOutput, -7);
    try {
        Player.Open(Dir.File("note.wav"));
        FAIL();
    } catch (const TellamoError& e) {
        EXPECT_STREQ(e.what(), "Device or resource busy");
    }
    EXPECT_FALSE(Player.IsOpen());
    EXPECT_THROW(Player.Open(Dir.File("missing.wav")), TellamoError);
}

// The header of a damaged file (no channels, 0 Hz, block align 0, a data size far beyond its
// 10 KB) is refused before a device opens, in words that name the file.
TEST_F(MediaPlayerTest, AnImpossibleHeaderOpensNoDevice) {
    auto header = MakeWaveHeader(1, 8000, 8);
    PutU16(&header[22], 0);
    PutU16(&header[24], 0);
    PutU16(&header[32], 0);
    PutU32(&header[40], 0xFFFFFFF0u);
    const std::string path = Dir.File("bad.wav");
    WriteFileBytes(path, std::string(header.begin(), header.end()) + std::string(10000, '\x80'));
    try {
        Player.Open(path);
        ADD_FAILURE() << "no error";
    } catch (const TellamoError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "\"" + path + "\" is not a sound file that can be read: it declares no channels");
    }
    EXPECT_FALSE(Player.IsOpen());
    EXPECT_TRUE(Port.Calls().empty()) << "no device was opened";
}

TEST_F(MediaPlayerTest, PlaysToTheEndAndReportsThePosition) {
    Player.Open(Dir.File("note.wav"));
    EXPECT_EQ(Player.Length(), 1000u);
    EXPECT_EQ(Player.Position(), 0u);
    Player.Play();
    EXPECT_EQ(Player.CurrentMode(), TMediaPlayer::Mode::Playing);
    EXPECT_EQ(Port.QueuedOutputCount(), 4u);
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(Port.CompleteOutput()) << i;
        Feed();
        EXPECT_EQ(Player.Position(), 100u * (i + 1));
    }
    EXPECT_FALSE(Port.CompleteOutput()) << "nothing is written past the data";
    EXPECT_EQ(Port.WrittenBytes(), Samples);
    // Play at the end starts again from the beginning.
    Player.Play();
    EXPECT_EQ(Player.Position(), 0u);
    EXPECT_EQ(Port.QueuedOutputCount(), 4u);
}

TEST_F(MediaPlayerTest, PauseSeekAndResume) {
    Player.Open(Dir.File("note.wav"));
    Player.Play();
    Port.CompleteOutput();
    Port.CompleteOutput();
    Feed();
    Player.PauseToggle();
    EXPECT_EQ(Player.CurrentMode(), TMediaPlayer::Mode::Paused);
    EXPECT_EQ(Player.Position(), 200u);
    EXPECT_EQ(Port.QueuedOutputCount(), 0u) << "the reset took every buffer back";
    Feed();
    EXPECT_EQ(Port.QueuedOutputCount(), 0u) << "buffers taken back are not written again";

    // Seeking while paused, as the position slider does: seek, play, pause again.
    Player.Seek(700);
    Player.Play();
    Player.PauseToggle();
    EXPECT_EQ(Player.Position(), 700u);
    EXPECT_EQ(Player.CurrentMode(), TMediaPlayer::Mode::Paused);

    const std::size_t before = Port.WrittenBytes().size();
    Player.PauseToggle(); // resume
    EXPECT_EQ(Player.CurrentMode(), TMediaPlayer::Mode::Playing);
    const std::string resumed = Port.WrittenBytes().substr(before);
    ASSERT_GE(resumed.size(), 800u);
    EXPECT_EQ(resumed.substr(0, 800), Samples.substr(5600, 800)) << "playing goes on from 0.7 s";

    Player.Stop();
    EXPECT_EQ(Player.CurrentMode(), TMediaPlayer::Mode::Stopped);
    Player.Close();
    EXPECT_FALSE(Port.OutputOpen());
}

TEST_F(MediaPlayerTest, DeviceThreadCompletionsAreFedInOrder) {
    Player.Open(Dir.File("note.wav"));
    Player.Play();
    std::thread device([&] {
        for (int i = 0; i < 10; ++i) {
            while (!Port.CompleteOutput()) {
                std::this_thread::yield();
            }
        }
    });
    while (Player.Position() < 1000) {
        Poster.WaitForPosts(50);
        Feed();
    }
    device.join();
    EXPECT_EQ(Port.WrittenBytes(), Samples);
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

} // namespace
} // namespace tellamo::test
