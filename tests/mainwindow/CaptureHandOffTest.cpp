#include "mainwindow/CaptureHandOff.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "audio/WindowPoster.h"

namespace tellamo::test {
namespace {

struct HandOffCase {
    const char* Name;
    bool SixteenBit;
    std::uint16_t Rate;
    std::uint16_t BufferBytes;
    int Buffers;
};

// A capture thread feeds buffers as fast as it can while the window thread handles the posts as
// the program does: every buffer is counted once, the count the window thread sees last is the
// whole recording's, and the live graph gets every buffer it had room for.
TEST(CaptureHandOff, EveryBufferIsCountedAndTheLastCountReachesTheWindowThread) {
    const HandOffCase cases[] = {
        {"8-bit 11025 Hz, tenth-second buffers", false, 11025, 1103, 400},
        {"16-bit 22050 Hz, tenth-second buffers", true, 22050, 4410, 300},
        {"16-bit 8000 Hz, tiny buffers", true, 8000, 2, 5000},
    };
    for (const HandOffCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EventFdPoster poster;
        std::int32_t lastSeen = -1;
        int deliveries = 0;
        std::size_t drawnBytes = 0;
        CaptureHandOff* handOffPtr = nullptr;
        CaptureHandOff handOff(poster, [&] {
            ++deliveries;
            lastSeen = handOffPtr->RecordedSamples();
            handOffPtr->Feed().Drain(
                [&](const LiveGraphFeed::Buffer& buffer) { drawnBytes += buffer.ByteCount; });
        });
        handOffPtr = &handOff;
        handOff.Start(c.Rate, c.SixteenBit);

        std::atomic<bool> done{false};
        std::thread capture([&] {
            std::vector<unsigned char> buffer(c.BufferBytes, 0x80);
            for (int i = 0; i < c.Buffers; ++i) {
                buffer[0] = static_cast<unsigned char>(i);
                handOff.Captured(buffer.data(), c.BufferBytes);
            }
            done = true;
        });
        while (!done) {
            if (poster.WaitForPosts(10)) {
                poster.ProcessPending();
            }
        }
        capture.join();
        poster.ProcessPending();

        const std::int32_t expected =
            c.Buffers * (c.SixteenBit ? c.BufferBytes / 2 : c.BufferBytes);
        EXPECT_EQ(handOff.RecordedSamples(), expected);
        EXPECT_EQ(lastSeen, expected) << "the final count must be shown";
        EXPECT_GE(deliveries, 1);
        EXPECT_LE(deliveries, c.Buffers) << "at most one post per buffer";
        EXPECT_EQ(drawnBytes + handOff.Feed().DroppedBuffers() * c.BufferBytes,
                  static_cast<std::size_t>(c.Buffers) * c.BufferBytes);
        EXPECT_EQ(handOff.RecordedMs(), static_cast<std::int64_t>(expected) * 1000 / c.Rate);
    }
}

// While the silence trigger waits, the capture thread hands over the buffers it did not take:
// they reach the live graph, never the count, and the window thread learns that it waits.
TEST(CaptureHandOff, SkippedBuffersFeedTheGraphButNotTheCount) {
    EventFdPoster poster;
    std::size_t drawnBytes = 0;
    std::atomic<bool> sawWaiting{false};
    CaptureHandOff* handOffPtr = nullptr;
    CaptureHandOff handOff(poster, [&] {
        if (handOffPtr->Waiting()) {
            sawWaiting = true;
        }
        handOffPtr->Feed().Drain(
            [&](const LiveGraphFeed::Buffer& buffer) { drawnBytes += buffer.ByteCount; });
    });
    handOffPtr = &handOff;
    handOff.Start(8000, false);
    std::atomic<bool> done{false};
    constexpr int Buffers = 2000;
    std::thread capture([&] {
        const unsigned char buffer[80] = {};
        for (int i = 0; i < Buffers; ++i) {
            if (i % 4 == 3) {
                handOff.Captured(buffer, sizeof buffer);
            } else {
                handOff.Skipped(buffer, sizeof buffer);
            }
            if (i == Buffers / 2) {
                // A fast capture thread could finish before the window thread runs once; hold it
                // in a waiting stretch until the window thread has had its look.
                const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                while (!sawWaiting && std::chrono::steady_clock::now() < giveUp) {
                    std::this_thread::yield();
                }
            }
        }
        done = true;
    });
    while (!done) {
        if (poster.WaitForPosts(10)) {
            poster.ProcessPending();
        }
    }
    capture.join();
    poster.ProcessPending();
    EXPECT_EQ(handOff.RecordedSamples(), Buffers / 4 * 80);
    EXPECT_EQ(drawnBytes + handOff.Feed().DroppedBuffers() * 80, std::size_t{Buffers} * 80);
    EXPECT_TRUE(sawWaiting);
    EXPECT_FALSE(handOff.Waiting()) << "the last buffer was taken";
    handOff.Skipped(reinterpret_cast<const unsigned char*>("\x80"), 1);
    EXPECT_TRUE(handOff.Waiting());
    handOff.Start(8000, false);
    EXPECT_FALSE(handOff.Waiting());
}

// A new recording starts from nothing: neither the count nor the graph's buffers of the one
// before are carried over.
TEST(CaptureHandOff, StartForgetsTheEarlierRecording) {
    EventFdPoster poster;
    CaptureHandOff handOff(poster, [] {});
    handOff.Start(8000, false);
    std::thread capture([&] {
        const unsigned char buffer[800] = {};
        for (int i = 0; i < 5; ++i) {
            handOff.Captured(buffer, sizeof buffer);
        }
    });
    capture.join();
    ASSERT_EQ(handOff.RecordedSamples(), 4000);

    handOff.Start(22050, true);
    EXPECT_EQ(handOff.RecordedSamples(), 0);
    EXPECT_EQ(handOff.RecordedMs(), 0);
    EXPECT_EQ(handOff.Feed().Drain([](const LiveGraphFeed::Buffer&) {}), 0u);
    EXPECT_TRUE(handOff.SixteenBit());
    EXPECT_EQ(handOff.SampleRate(), 22050);
}

// A poster whose queue refuses the first post.
class RefusingPoster final : public WindowPoster {
public:
    bool Post(PostTarget* target, std::uint32_t message, std::intptr_t param) override {
        if (Refusals > 0) {
            --Refusals;
            return false;
        }
        Queued.push_back({target, message, param});
        return true;
    }
    void ProcessPending() override {
        for (const auto& post : std::exchange(Queued, {})) {
            post.Target->HandlePost(post.Message, post.Param);
        }
    }
    bool WaitForPosts(int) override { return !Queued.empty(); }
    void Cancel(PostTarget*) override { Queued.clear(); }

    int Refusals = 1;
    struct Pending {
        PostTarget* Target;
        std::uint32_t Message;
        std::intptr_t Param;
    };
    std::vector<Pending> Queued;
};

// A post lost to a full queue must not leave the window thread without news for the rest of
// the recording.
TEST(CaptureHandOff, APostRefusedByAFullQueueIsTriedAgainWithTheNextBuffer) {
    RefusingPoster poster;
    int deliveries = 0;
    CaptureHandOff handOff(poster, [&] { ++deliveries; });
    handOff.Start(8000, false);
    const unsigned char buffer[80] = {};
    handOff.Captured(buffer, sizeof buffer);
    EXPECT_TRUE(poster.Queued.empty());
    handOff.Captured(buffer, sizeof buffer);
    ASSERT_EQ(poster.Queued.size(), 1u);
    poster.ProcessPending();
    EXPECT_EQ(deliveries, 1);
    EXPECT_EQ(handOff.RecordedSamples(), 160);
}

} // namespace
} // namespace tellamo::test
