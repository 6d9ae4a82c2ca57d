#include "audio/WindowPoster.h"

#include <functional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <poll.h>

namespace tellamo {
namespace {

struct Recording : PostTarget {
    std::vector<std::pair<std::uint32_t, std::intptr_t>> Seen;
    std::function<void(std::uint32_t)> Inside;
    void HandlePost(std::uint32_t message, std::intptr_t param) override {
        Seen.emplace_back(message, param);
        if (Inside) {
            Inside(message);
        }
    }
};

bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

TEST(EventFdPoster, HandlesPostsInOrderOnProcessAndWakesTheFd) {
    EventFdPoster poster;
    Recording a, b;
    EXPECT_FALSE(Readable(poster.WakeFd()));
    ASSERT_TRUE(poster.Post(&a, 1, 10));
    ASSERT_TRUE(poster.Post(&b, 2, 20));
    ASSERT_TRUE(poster.Post(&a, 3, 30));
    EXPECT_TRUE(Readable(poster.WakeFd()));
    EXPECT_TRUE(a.Seen.empty()); // nothing runs before the owner processes
    poster.ProcessPending();
    EXPECT_EQ(a.Seen, (std::vector<std::pair<std::uint32_t, std::intptr_t>>{{1, 10}, {3, 30}}));
    EXPECT_EQ(b.Seen, (std::vector<std::pair<std::uint32_t, std::intptr_t>>{{2, 20}}));
    EXPECT_FALSE(Readable(poster.WakeFd()));
}

TEST(EventFdPoster, CancelledTargetGetsNothingAndOthersKeepTheirOrder) {
    EventFdPoster poster;
    Recording gone, kept;
    poster.Post(&gone, 1, 0);
    poster.Post(&kept, 2, 0);
    poster.Post(&gone, 3, 0);
    poster.Post(&kept, 4, 0);
    poster.Cancel(&gone);
    EXPECT_EQ(poster.PendingCount(), 2u);
    poster.ProcessPending();
    EXPECT_TRUE(gone.Seen.empty());
    ASSERT_EQ(kept.Seen.size(), 2u);
    EXPECT_EQ(kept.Seen[0].first, 2u);
    EXPECT_EQ(kept.Seen[1].first, 4u);
}

TEST(EventFdPoster, HandlerThatWaitsProcessesTheRestInOrder) {
    EventFdPoster poster;
    Recording t;
    std::vector<std::uint32_t> order;
    t.Inside = [&](std::uint32_t m) {
        order.push_back(m);
        if (m == 1) {
            poster.Post(&t, 9, 0);   // queued behind 2 and 3
            poster.ProcessPending(); // a wait inside a handler
        }
    };
    poster.Post(&t, 1, 0);
    poster.Post(&t, 2, 0);
    poster.Post(&t, 3, 0);
    poster.ProcessPending();
    EXPECT_EQ(order, (std::vector<std::uint32_t>{1, 2, 3, 9}));
}

TEST(EventFdPoster, FullRingRefusesAndLosesNothingQueued) {
    EventFdPoster poster;
    Recording t;
    for (std::size_t i = 0; i < EventFdPoster::Capacity; ++i) {
        ASSERT_TRUE(poster.Post(&t, 1, static_cast<std::intptr_t>(i)));
    }
    EXPECT_FALSE(poster.Post(&t, 1, -1));
    poster.ProcessPending();
    ASSERT_EQ(t.Seen.size(), EventFdPoster::Capacity);
    EXPECT_EQ(t.Seen.back().second, static_cast<std::intptr_t>(EventFdPoster::Capacity - 1));
    EXPECT_TRUE(poster.Post(&t, 1, 0));
}

TEST(EventFdPoster, PostsFromAnotherThreadArriveInTheirOrder) {
    EventFdPoster poster;
    Recording t;
    constexpr int Count = 5000;
    std::thread device([&] {
        for (int i = 0; i < Count; ++i) {
            while (!poster.Post(&t, 7, i)) {
                std::this_thread::yield();
            }
        }
    });
    while (t.Seen.size() < static_cast<std::size_t>(Count)) {
        poster.WaitForPosts(100);
        poster.ProcessPending();
    }
    device.join();
    for (int i = 0; i < Count; ++i) {
        ASSERT_EQ(t.Seen[static_cast<std::size_t>(i)].second, i);
    }
    EXPECT_FALSE(poster.WaitForPosts(0));
}

} // namespace
} // namespace tellamo
