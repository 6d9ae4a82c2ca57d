// Playback at another speed through the real sound path: the media player over ALSA's pulse
// plugin into a headless PulseAudio whose default sink is a pipe, read by the test. The pipe
// sink is not paced (it writes silence whenever the player has not caught up), so lengths are
// counted in samples of sound, never in time.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include "audio/AlsaWavePort.h"
#include "audio/WindowPoster.h"
#include "dictaphone/MediaPlayer.h"
#include "dictaphone/ToneAnalysis.h"
#include "export/ExportTestSupport.h"
#include "support/HeadlessPulse.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

constexpr unsigned Rate = 22050;
constexpr double Amplitude = 12000;

// Reads the pipe sink on a thread of its own at four times the real rate, which paces the sink
// (left unread it writes as fast as it can). Where the sink ran dry it wrote exact zeros; the
// tone itself is almost never exactly 0, so the samples kept, the others, are the sound that
// was played, in order.
class SinkReader {
public:
    explicit SinkReader(const std::string& fifo)
        : mFd(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
        if (mFd >= 0) {
            mThread = std::thread([this] { Run(); });
        }
    }
    ~SinkReader() {
        mStop = true;
        if (mThread.joinable()) {
            mThread.join();
        }
        if (mFd >= 0) {
            ::close(mFd);
        }
    }
    bool Open() const { return mFd >= 0; }
    // Bytes read so far, silence included.
    std::size_t BytesRead() const { return mBytes; }
    std::vector<std::int16_t> SoundSince(std::size_t from) {
        std::lock_guard<std::mutex> lock(mLock);
        return {mSound.begin() + static_cast<long>(std::min(from, mSound.size())), mSound.end()};
    }
    std::size_t SoundSamples() {
        std::lock_guard<std::mutex> lock(mLock);
        return mSound.size();
    }

private:
    void Run() {
        constexpr std::size_t Block = 4096;
        constexpr auto BlockTime = std::chrono::microseconds(1000000 * Block / 2 / Rate / 4);
        std::int16_t block[Block / 2];
        auto next = std::chrono::steady_clock::now();
        while (!mStop) {
            pollfd p{mFd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) {
                continue;
            }
            const ssize_t got = ::read(mFd, block, Block);
            if (got <= 0) {
                continue;
            }
            {
                std::lock_guard<std::mutex> lock(mLock);
                for (ssize_t i = 0; i < got / 2; ++i) {
                    if (block[i] != 0) {
                        mSound.push_back(block[i]);
                    }
                }
            }
            mBytes += static_cast<std::size_t>(got);
            next += BlockTime;
            std::this_thread::sleep_until(next);
            next = std::max(next, std::chrono::steady_clock::now());
        }
    }

    int mFd;
    std::thread mThread;
    std::atomic<bool> mStop{false};
    std::atomic<std::size_t> mBytes{0};
    std::mutex mLock;
    std::vector<std::int16_t> mSound; // guarded by mLock
};

class PlaybackPulse : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Dir = new TempDir;
        const std::string fifo = Dir->Path() + "/run/out.fifo";
        Server = new HeadlessPulse(Dir->Path(), {"module-pipe-sink sink_name=capsink file=" + fifo +
                                                 " format=s16le rate=22050 channels=1"});
        ASSERT_TRUE(Server->Running()) << "the PulseAudio server did not come up";
        Sink = new SinkReader(fifo);
        ASSERT_TRUE(Sink->Open()) << "no pipe sink at " << fifo;
        WriteFileBytes(Dir->File("note.wav"),
                       PcmWavBytes(1, Rate, 16, Pcm16Bytes(Tone(Rate, 4, 440, Amplitude))));
    }
    static void TearDownTestSuite() {
        delete Sink;
        delete Server;
        delete Dir;
    }

    // Plays the note through the default device at this speed until it has ended, then waits
    // for the sink to go quiet; the sound the sink received meanwhile.
    std::vector<std::int16_t> PlayAt(int tenths) {
        const std::size_t before = Sink->SoundSamples();
        AlsaWavePort port;
        EventFdPoster poster;
        MediaPlayer player(port, poster);
        player.Open(Dir->File("note.wav"));
        player.SetSpeedTenths(tenths);
        player.Play();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        std::uint32_t lastPosition = 0;
        while (player.CurrentMode() == MediaPlayer::Mode::Playing &&
               std::chrono::steady_clock::now() < deadline) {
            poster.WaitForPosts(20);
            poster.ProcessPending();
            const std::uint32_t position = player.Position();
            EXPECT_GE(position, lastPosition) << "note time only moves on";
            lastPosition = position;
        }
        EXPECT_EQ(player.CurrentMode(), MediaPlayer::Mode::Stopped);
        EXPECT_EQ(player.Position(), player.Length()) << "ended at the note's length";
        player.Close();
        // The sink hands on what it still holds; it is quiet once nothing more comes.
        std::size_t read = Sink->BytesRead();
        for (int still = 0; still < 5 && std::chrono::steady_clock::now() < deadline;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const std::size_t now = Sink->BytesRead();
            still = now == read ? still + 1 : 0;
            read = now;
        }
        return Sink->SoundSince(before);
    }

    static TempDir* Dir;
    static HeadlessPulse* Server;
    static SinkReader* Sink;
};

TempDir* PlaybackPulse::Dir = nullptr;
HeadlessPulse* PlaybackPulse::Server = nullptr;
SinkReader* PlaybackPulse::Sink = nullptr;

// A 4 s 440 Hz note lasts 4 s / speed in what the sink receives and keeps its pitch.
TEST_F(PlaybackPulse, TheSinkReceivesTheNoteStretchedWithItsPitch) {
    for (const int tenths : {15, 5, 10}) {
        SCOPED_TRACE(tenths);
        const std::vector<std::int16_t> sound = PlayAt(tenths);
        ASSERT_FALSE(sound.empty()) << "the sink received no sound";
        const double seconds = static_cast<double>(sound.size()) / Rate;
        const double hz = PeakFrequency(sound, Rate);
        std::printf("at %d tenths: %.3f s of sound at %.1f Hz\n", tenths, seconds, hz);
        EXPECT_NEAR(seconds, 4.0 * 10 / tenths, 0.05);
        EXPECT_NEAR(hz, 440, 2);
    }
}

} // namespace
} // namespace tellamo::test
