#include "dictaphone/LiveGraphFeed.h"

#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace tellamo {
namespace {

std::vector<unsigned char> Pattern(std::size_t size, unsigned seed) {
    std::vector<unsigned char> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<unsigned char>(seed * 31 + i * 7);
    }
    return bytes;
}

TEST(LiveGraphFeed, HandsOverCopiesInOrderAndDropsWhenFull) {
    LiveGraphFeed feed(3, 4410);
    std::vector<unsigned char> first = Pattern(4410, 1);
    const std::vector<unsigned char> second = Pattern(100, 2);
    ASSERT_TRUE(feed.Push(first.data(), 4410, true, 22050));
    ASSERT_TRUE(feed.Push(second.data(), 100, false, 8000));
    first.assign(first.size(), 0); // the device owns its buffer again once Push returns
    ASSERT_TRUE(feed.Push(second.data(), 0, true, 11025));
    EXPECT_FALSE(feed.Push(second.data(), 100, true, 11025));
    EXPECT_EQ(feed.DroppedBuffers(), 1u);

    std::vector<LiveGraphFeed::Buffer> seen;
    std::vector<std::vector<unsigned char>> contents;
    EXPECT_EQ(feed.Drain([&](const LiveGraphFeed::Buffer& b) {
        seen.push_back(b);
        contents.emplace_back(b.Samples, b.Samples + b.ByteCount);
    }),
              3u);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(contents[0], Pattern(4410, 1));
    EXPECT_TRUE(seen[0].SixteenBit);
    EXPECT_EQ(seen[0].SampleRate, 22050);
    EXPECT_EQ(contents[1], second);
    EXPECT_FALSE(seen[1].SixteenBit);
    EXPECT_EQ(seen[1].SampleRate, 8000);
    EXPECT_EQ(seen[2].ByteCount, 0);
    EXPECT_EQ(feed.Drain([](const LiveGraphFeed::Buffer&) { FAIL(); }), 0u);

    // Slots are reused after draining; a buffer longer than a slot is cut to the slot.
    const std::vector<unsigned char> big = Pattern(5000, 3);
    ASSERT_TRUE(feed.Push(big.data(), 5000, true, 22050));
    feed.Drain([&](const LiveGraphFeed::Buffer& b) { EXPECT_EQ(b.ByteCount, 4410); });

    ASSERT_TRUE(feed.Push(big.data(), 10, true, 22050));
    feed.Discard();
    EXPECT_EQ(feed.Drain([](const LiveGraphFeed::Buffer&) { FAIL(); }), 0u);
}

// A capture thread pushing while the window thread drains: every buffer that was not counted
// as dropped arrives whole and in order.
TEST(LiveGraphFeed, ConcurrentProducerAndConsumerNeverTearABuffer) {
    constexpr unsigned Total = 20000;
    LiveGraphFeed feed(4, 256);
    std::atomic<bool> done{false};
    std::thread producer([&] {
        unsigned char bytes[256];
        for (unsigned n = 0; n < Total; ++n) {
            for (unsigned i = 0; i < sizeof bytes; ++i) {
                bytes[i] = static_cast<unsigned char>(n + i);
            }
            const auto size = static_cast<std::uint16_t>(2 + n % 254);
            bytes[0] = static_cast<unsigned char>(n);
            bytes[1] = static_cast<unsigned char>(n >> 8);
            feed.Push(bytes, size, n % 2 == 0, static_cast<std::uint16_t>(n));
        }
        done = true;
    });
    unsigned received = 0;
    long last = -1;
    bool intact = true;
    const auto check = [&](const LiveGraphFeed::Buffer& b) {
        const unsigned n = b.SampleRate;
        intact = intact && static_cast<long>(n) > last && b.ByteCount == 2 + n % 254 &&
                 b.SixteenBit == (n % 2 == 0);
        for (unsigned i = 2; i < b.ByteCount; ++i) {
            intact = intact && b.Samples[i] == static_cast<unsigned char>(n + i);
        }
        last = n;
        ++received;
    };
    while (!done) {
        feed.Drain(check);
    }
    producer.join();
    feed.Drain(check);
    EXPECT_TRUE(intact);
    EXPECT_EQ(received + feed.DroppedBuffers(), Total);
    EXPECT_GT(received, 0u);
}

} // namespace
} // namespace tellamo
