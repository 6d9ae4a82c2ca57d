#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "audio/AudioFixture.h"
#include "audio/WavFormat.h"
#include "common/ByteIO.h"
#include "common/Errors.h"
#include "support/LinkTrap.h"

namespace tellamo {
namespace {

using test::LinkTrap;
using test::ReadFileBytes;
using test::WriteFileBytes;

std::string Wav(std::uint16_t channels, std::uint16_t rate, std::uint16_t bits,
                const std::string& data, std::uint32_t declared = UINT32_MAX) {
    const auto h = MakeWaveHeader(channels, rate, bits);
    std::string s(reinterpret_cast<const char*>(h.data()), h.size());
    PutU32(reinterpret_cast<unsigned char*>(s.data()) + 40,
           declared == UINT32_MAX ? static_cast<std::uint32_t>(data.size()) : declared);
    return s + data;
}

std::string Pattern(std::size_t n, int seed) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>((i * 31 + static_cast<std::size_t>(seed) * 7) & 0xFF);
    }
    return s;
}

struct PlayerFixture : test::AudioFixture {
    int BufferEvents = 0;
    int PlayedEvents = 0;

    PlayerFixture() {
        Create();
        Audio->OnBufferPlayed = [this](TPlayer* p) {
            EXPECT_EQ(p, &Play());
            ++BufferEvents;
        };
        Audio->OnPlayed = [this](TPlayer* p) {
            EXPECT_EQ(p, &Play());
            ++PlayedEvents;
        };
    }

    std::string File(const std::string& name, const std::string& bytes) {
        const std::string path = Dir.File(name);
        WriteFileBytes(path, bytes);
        return path;
    }

    // The device plays everything it holds, the window thread feeds, until the player closes.
    void PlayToTheEnd() {
        for (int guard = 0; guard < 100000 && Play().DeviceOpen(); ++guard) {
            while (Port.CompleteOutput()) {
            }
            Poster.ProcessPending();
        }
        ASSERT_FALSE(Play().DeviceOpen());
    }
};

TEST(TPlayer, PlaysAFileAndRestoresTheFormat) {
    PlayerFixture f;
    const std::string data = Pattern(441000, 1);
    const std::string path = f.File("a.wav", Wav(1, 22050, 16, data));
    std::int32_t samples = 0;
    ASSERT_TRUE(f.Play().PlayFile(path, 0, samples)) << f.Audio->ErrorMessage;
    EXPECT_EQ(samples, 220500);
    for (TAudioSettings* s :
         {static_cast<TAudioSettings*>(&f.Play()), static_cast<TAudioSettings*>(&f.Rec())}) {
        EXPECT_EQ(s->SampleRate(), 22050);
        EXPECT_EQ(s->BitsPerSample(), TBPS::_16);
        EXPECT_EQ(s->Channels(), TChannels::Mono);
    }
    EXPECT_EQ(f.Port.LastFormat().SamplesPerSec, 22050u);
    EXPECT_EQ(f.Port.LastFormat().BitsPerSample, 16);
    EXPECT_EQ(f.Port.QueuedOutputCount(), 4u);
    EXPECT_TRUE(f.Play().FormatSaved());
    f.PlayToTheEnd();
    EXPECT_EQ(f.Port.PlayedBytesSoFar(), data);
    const int chunks = (441000 + 16383) / 16384;
    EXPECT_EQ(f.BufferEvents, chunks - 1); // every chunk but the last
    EXPECT_EQ(f.PlayedEvents, 1);
    EXPECT_EQ(f.Play().SampleRate(), 11025);
    EXPECT_EQ(f.Play().BitsPerSample(), TBPS::_8);
    EXPECT_EQ(f.Rec().SampleRate(), 11025);
    EXPECT_FALSE(f.Play().FormatSaved());
    EXPECT_FALSE(f.Play().DeviceActive());
    EXPECT_EQ(ReadFileBytes(f.Play().PlayFilePath()), data); // the play file stays
}

TEST(TPlayer, APlayFileLinkIsReplacedNotWrittenThrough) {
    for (const LinkTrap::Kind kind : LinkTrap::Kinds) {
        PlayerFixture f;
        LinkTrap trap;
        trap.Plant(f.Play().PlayFilePath(), kind);
        const std::string data = Pattern(4000, 1);
        std::int32_t samples = 0;
        ASSERT_TRUE(f.Play().PlayFile(f.File("a.wav", Wav(1, 11025, 8, data)), 0, samples));
        f.PlayToTheEnd();
        EXPECT_TRUE(trap.Untouched()) << static_cast<int>(kind);
        EXPECT_EQ(ReadFileBytes(f.Play().PlayFilePath()), data);
    }
}

TEST(TPlayer, PlayedBytesFollowTheDevice) {
    PlayerFixture f;
    std::int32_t samples = 0;
    ASSERT_TRUE(
        f.Play().PlayFile(f.File("a.wav", Wav(1, 11025, 8, Pattern(20000, 1))), 0, samples));
    EXPECT_EQ(f.Play().PlayedBytes(), 0u);
    ASSERT_TRUE(f.Port.CompleteOutput());
    ASSERT_TRUE(f.Port.CompleteOutput());
    EXPECT_EQ(f.Play().PlayedBytes(), 16384u);
    f.Play().Stop();
    EXPECT_EQ(f.Play().PlayedBytes(), 0u); // no device, nothing playing
}

TEST(TPlayer, StopRightAfterPlayFileWaitsForTheClose) {
    PlayerFixture f;
    const std::string path = f.File("a.wav", Wav(2, 8000, 16, Pattern(100000, 2)));
    std::int32_t samples = 0;
    ASSERT_TRUE(f.Play().PlayFile(path, 0, samples));
    EXPECT_EQ(samples, 50000);
    EXPECT_EQ(f.Play().Channels(), TChannels::Stereo);
    f.Audio->ErrorMessage = "old";
    f.Play().Stop();
    EXPECT_FALSE(f.Play().DeviceOpen());
    EXPECT_FALSE(f.Port.OutputOpen());
    EXPECT_EQ(f.PlayedEvents, 1);
    EXPECT_EQ(f.Audio->ErrorMessage, ""); // cleared by the stop of a running playback
    EXPECT_EQ(f.Play().Channels(), TChannels::Mono);
    EXPECT_EQ(f.Play().SampleRate(), 11025);
    EXPECT_EQ(f.Play().BitsPerSample(), TBPS::_8);
    f.Play().Stop();
    EXPECT_EQ(f.Audio->ErrorMessage, "Player already closed");
}

TEST(TPlayer, LoopsPlayTheDataAgain) {
    PlayerFixture f;
    const std::string data = Pattern(20000, 3);
    std::int32_t samples = 0;
    ASSERT_TRUE(f.Play().PlayFile(f.File("a.wav", Wav(1, 11025, 8, data)), 2, samples));
    f.PlayToTheEnd();
    // 20000 bytes in chunks of 8192: each pass ends on a short chunk
    EXPECT_EQ(f.Port.PlayedBytesSoFar(), data + data + data);
    EXPECT_EQ(f.PlayedEvents, 1);
}

TEST(TPlayer, ASecondFileOfTheSameFormatFollowsTheFirst) {
    // The first file is still being read (appended to the play file), or already read to its
    // end with its last chunks in the device (a new play file follows them).
    for (std::size_t firstSize : {std::size_t{16384 * 6}, std::size_t{30000}}) {
        PlayerFixture f;
        const std::string one = Pattern(firstSize, 4), two = Pattern(12345, 5);
        std::int32_t samples = 0;
        ASSERT_TRUE(f.Play().PlayFile(f.File("a.wav", Wav(1, 16000, 16, one)), 0, samples));
        ASSERT_TRUE(f.Port.CompleteOutput());
        f.Poster.ProcessPending();
        EXPECT_EQ(f.Play().PlayStreamOpen(), firstSize > 4 * 16384);
        ASSERT_TRUE(f.Play().PlayFile(f.File("b.wav", Wav(1, 16000, 16, two)), 0, samples));
        EXPECT_EQ(samples, 6172);
        f.PlayToTheEnd();
        EXPECT_EQ(f.Port.PlayedBytesSoFar(), one + two) << firstSize;
        EXPECT_EQ(f.PlayedEvents, 1);
        EXPECT_EQ(f.Play().SampleRate(), 11025); // restored after both
    }
}

TEST(TPlayer, AnEmptyFileEndsAtOnce) {
    PlayerFixture f;
    std::int32_t samples = -1;
    ASSERT_TRUE(f.Play().PlayFile(f.File("a.wav", Wav(1, 8000, 16, "")), 0, samples));
    EXPECT_EQ(samples, 0);
    EXPECT_EQ(f.Port.QueuedOutputCount(), 0u);
    f.Poster.ProcessPending();
    EXPECT_FALSE(f.Play().DeviceOpen());
    EXPECT_EQ(f.PlayedEvents, 1);
    EXPECT_EQ(f.Play().SampleRate(), 11025);
    f.Play().Stop();
    EXPECT_EQ(f.Audio->ErrorMessage, "Player already closed");
}

TEST(TPlayer, WithoutAnOutputDeviceTheFormatIsStillAdopted) {
    PlayerFixture f;
    f.Port.OutputDevices = 0;
    std::int32_t samples = 0;
    EXPECT_FALSE(
        f.Play().PlayFile(f.File("a.wav", Wav(1, 22050, 16, Pattern(1000, 6))), 0, samples));
    EXPECT_EQ(samples, 500);
    EXPECT_EQ(f.Play().SampleRate(), 22050);
    EXPECT_EQ(f.Play().BitsPerSample(), TBPS::_16);
    EXPECT_FALSE(f.Play().FormatSaved());
    EXPECT_EQ(f.Audio->ErrorMessage.rfind("Could not open the output device for playing:  ", 0),
              0u);
    std::int32_t none = 7;
    EXPECT_FALSE(f.Play().PlayFile("", 0, none));
    EXPECT_EQ(none, 7);
}

TEST(TPlayer, FileErrorsLeaveThePlayerIdle) {
    PlayerFixture f;
    std::int32_t samples = 0;
    EXPECT_THROW(f.Play().PlayFile(f.Dir.File("missing.wav"), 0, samples), TellamoError);
    EXPECT_FALSE(f.Play().DeviceOpen());
    // declared 5000 bytes, holds 100
    const std::string shortFile = f.File("s.wav", Wav(1, 11025, 8, Pattern(100, 7), 5000));
    EXPECT_THROW(f.Play().PlayFile(shortFile, 0, samples), TellamoError);
    EXPECT_FALSE(f.Play().DeviceOpen());
    EXPECT_FALSE(f.Port.OutputOpen());
    EXPECT_THROW(f.Play().PlayFile(f.File("t.wav", "RIFF"), 0, samples), TellamoError);
    // and a good file still plays afterwards
    const std::string data = Pattern(3000, 8);
    ASSERT_TRUE(f.Play().PlayFile(f.File("g.wav", Wav(1, 11025, 8, data)), 0, samples));
    f.PlayToTheEnd();
    EXPECT_EQ(f.Port.PlayedBytesSoFar(), data);
}

TEST(TPlayer, APlayFileThatCannotBeCreatedLeavesTheDeviceClosed) {
    test::TempDir dir;
    FakeWavePort port;
    EventFdPoster poster;
    TAudio audio(port, poster, dir.File("missing/PLAY.TMP"));
    test::WriteFileBytes(dir.File("a.wav"), Wav(1, 22050, 8, Pattern(100, 1)));
    std::int32_t samples = 0;
    EXPECT_THROW(audio.Player().PlayFile(dir.File("a.wav"), 0, samples), TellamoError);
    EXPECT_FALSE(audio.Player().DeviceOpen());
    EXPECT_FALSE(port.OutputOpen());
    EXPECT_FALSE(audio.Player().FormatSaved());
    EXPECT_EQ(audio.Player().SampleRate(), 22050); // the file's format stays adopted
}

TEST(TPlayer, ALostChunkIsSkippedAndThePlaybackGoesOn) {
    PlayerFixture f;
    f.Port.ErrorTexts[-7] = "Boom";
    f.Port.Fail(FakeCall::WriteOutput, -7, 1); // the second chunk
    const std::string data = Pattern(8192 * 6, 9);
    std::int32_t samples = 0;
    ASSERT_TRUE(f.Play().PlayFile(f.File("a.wav", Wav(1, 11025, 8, data)), 0, samples));
    EXPECT_EQ(f.Audio->ErrorMessage, " Boom");
    f.PlayToTheEnd();
    EXPECT_EQ(f.Port.PlayedBytesSoFar(), data.substr(0, 8192) + data.substr(16384));
    EXPECT_EQ(f.PlayedEvents, 1);
}

TEST(TPlayer, EveryChunkLostStillEnds) {
    PlayerFixture f;
    f.Port.Fail(FakeCall::WriteOutput, -7, 0, 0);
    std::int32_t samples = 0;
    ASSERT_TRUE(
        f.Play().PlayFile(f.File("a.wav", Wav(1, 11025, 8, Pattern(8192 * 6, 9))), 0, samples));
    f.PlayToTheEnd();
    EXPECT_EQ(f.PlayedEvents, 1);
    EXPECT_TRUE(f.Port.PlayedBytesSoFar().empty());
}

TEST(TPlayer, CloseFailuresAtTheEnd) {
    const struct {
        FakeCall call;
        std::string message;
    } cases[] = {
        {FakeCall::Unprepare, "Error unpreparing header for playing:  Boom"},
        {FakeCall::Close, "Error closing output device:  Boom"},
    };
    for (const auto& c : cases) {
        PlayerFixture f;
        f.Port.ErrorTexts[-7] = "Boom";
        std::int32_t samples = 0;
        ASSERT_TRUE(
            f.Play().PlayFile(f.File("a.wav", Wav(1, 11025, 8, Pattern(100, 1))), 0, samples));
        f.Port.Fail(c.call, -7);
        ASSERT_TRUE(f.Port.CompleteOutput());
        f.Poster.ProcessPending();
        EXPECT_EQ(f.Audio->ErrorMessage, c.message);
        EXPECT_TRUE(f.Play().DeviceOpen()); // left open
        EXPECT_EQ(f.PlayedEvents, 0);
        f.Play().Stop(); // must not wait for ever
        EXPECT_TRUE(f.Play().DeviceOpen());
    }
}

TEST(TPlayer, ResetFailureInStop) {
    PlayerFixture f;
    std::int32_t samples = 0;
    ASSERT_TRUE(
        f.Play().PlayFile(f.File("a.wav", Wav(1, 11025, 8, Pattern(50000, 1))), 0, samples));
    f.Port.Fail(FakeCall::Reset, -7);
    f.Play().Stop();
    EXPECT_EQ(f.Audio->ErrorMessage, "Error in waveOutReset");
    EXPECT_TRUE(f.Play().DeviceOpen());
    f.PlayToTheEnd(); // the chunks already in the device drain and the playback ends
    EXPECT_EQ(f.PlayedEvents, 1);
}

TEST(TPlayer, AWindowThreadThatFallsBehindLosesNothing) {
    PlayerFixture f;
    const std::string data = Pattern(8192 * 10 + 5, 11);
    std::int32_t samples = 0;
    ASSERT_TRUE(f.Play().PlayFile(f.File("a.wav", Wav(1, 11025, 8, data)), 0, samples));
    // The device plays all four chunks before the window thread handles any request: the
    // return of the fourth looks like the end of the playback.
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(f.Port.CompleteOutput());
    }
    f.PlayToTheEnd();
    EXPECT_EQ(f.Port.PlayedBytesSoFar(), data);
    EXPECT_EQ(f.PlayedEvents, 1);
}

// A file of another format waits for the running playback to end; the device is played by a
// thread of its own meanwhile.
TEST(TPlayer, AnotherFormatWaitsForTheRunningPlayback) {
    PlayerFixture f;
    const std::string one = Pattern(8192 * 5, 12), two = Pattern(30000, 13);
    std::int32_t samples = 0;
    ASSERT_TRUE(f.Play().PlayFile(f.File("a.wav", Wav(1, 8000, 8, one)), 0, samples));
    const std::string second = f.File("b.wav", Wav(1, 22050, 16, two));
    std::atomic<bool> stop{false};
    std::thread device([&] {
        while (!stop) {
            if (!f.Port.CompleteOutput()) {
                std::this_thread::yield();
            }
        }
    });
    ASSERT_TRUE(f.Play().PlayFile(second, 0, samples));
    EXPECT_EQ(f.PlayedEvents, 1); // the first playback ended inside the wait
    EXPECT_EQ(f.Play().SampleRate(), 22050);
    while (f.Play().DeviceOpen()) {
        f.Poster.WaitForPosts(10);
        f.Poster.ProcessPending();
    }
    stop = true;
    device.join();
    EXPECT_EQ(f.Port.PlayedBytesSoFar(), one + two);
    EXPECT_EQ(f.PlayedEvents, 2);
    EXPECT_EQ(f.Play().SampleRate(), 11025); // the format from before the first playback
    EXPECT_EQ(f.Play().BitsPerSample(), TBPS::_8);
}

TEST(TPlayer, PlaysFromADeviceThread) {
    PlayerFixture f;
    const std::string data = Pattern(16384 * 40 + 77, 14);
    std::int32_t samples = 0;
    std::atomic<bool> stop{false};
    std::thread device([&] {
        while (!stop) {
            if (!f.Port.CompleteOutput()) {
                std::this_thread::yield();
            }
        }
    });
    ASSERT_TRUE(f.Play().PlayFile(f.File("a.wav", Wav(1, 22050, 16, data)), 0, samples));
    while (f.Play().DeviceOpen()) {
        f.Poster.WaitForPosts(10);
        f.Poster.ProcessPending();
    }
    stop = true;
    device.join();
    EXPECT_EQ(f.Port.PlayedBytesSoFar(), data);
    EXPECT_EQ(f.PlayedEvents, 1);
    // 41 chunks; the last one raises no event, unless it comes back before the window thread
    // has found the end of the play file (then it is not yet known to be the last).
    EXPECT_GE(f.BufferEvents, 40);
    EXPECT_LE(f.BufferEvents, 41);
}

} // namespace
} // namespace tellamo
