#include "audio/WindowPoster.h"

#include <cerrno>
#include <stdexcept>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tellamo {

namespace {
int MakeEventFd() {
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) {
        throw std::runtime_error("cannot create the window poster's eventfd");
    }
    return fd;
}
} // namespace

EventFdPoster::EventFdPoster() : mFd(MakeEventFd()) {}

EventFdPoster::~EventFdPoster() {
    ::close(mFd);
}

bool EventFdPoster::Post(PostTarget* target, std::uint32_t message, std::intptr_t param) {
    {
        std::lock_guard<std::mutex> guard(mRingLock);
        if (mCount == Capacity) {
            return false;
        }
        mRing[(mHead + mCount) % Capacity] = Entry{target, message, param};
        ++mCount;
    }
    const std::uint64_t one = 1;
    // The counter only saturates after 2^64 - 2 posts; a failed wake-up write cannot lose the
    // post, which stays queued for the next ProcessPending.
    [[maybe_unused]] const ssize_t n = ::write(mFd, &one, sizeof one);
    return true;
}

bool EventFdPoster::PopFront(Entry& entry) {
    std::lock_guard<std::mutex> guard(mRingLock);
    while (mCount > 0) {
        entry = mRing[mHead];
        mHead = (mHead + 1) % Capacity;
        --mCount;
        if (entry.Target != nullptr) { // null: cancelled
            return true;
        }
    }
    return false;
}

void EventFdPoster::ProcessPending() {
    std::uint64_t drained = 0;
    [[maybe_unused]] const ssize_t n = ::read(mFd, &drained, sizeof drained);
    // One entry at a time, so that a handler that waits (and processes posts itself) sees the
    // rest of the queue in order.
    Entry entry{};
    while (PopFront(entry)) {
        entry.Target->HandlePost(entry.Message, entry.Param);
    }
}

bool EventFdPoster::WaitForPosts(int timeoutMs) {
    if (PendingCount() > 0) {
        return true;
    }
    pollfd pfd{mFd, POLLIN, 0};
    int r;
    do {
        r = ::poll(&pfd, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return PendingCount() > 0;
}

void EventFdPoster::Cancel(PostTarget* target) {
    std::lock_guard<std::mutex> guard(mRingLock);
    for (std::size_t i = 0; i < mCount; ++i) {
        Entry& e = mRing[(mHead + i) % Capacity];
        if (e.Target == target) {
            e.Target = nullptr;
        }
    }
}

std::size_t EventFdPoster::PendingCount() {
    std::lock_guard<std::mutex> guard(mRingLock);
    std::size_t live = 0;
    for (std::size_t i = 0; i < mCount; ++i) {
        if (mRing[(mHead + i) % Capacity].Target != nullptr) {
            ++live;
        }
    }
    return live;
}

} // namespace tellamo
