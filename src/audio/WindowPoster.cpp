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

EventFdPoster::EventFdPoster() : Fd(MakeEventFd()) {}

EventFdPoster::~EventFdPoster() {
    ::close(Fd);
}

bool EventFdPoster::Post(PostTarget* target, std::uint32_t message, std::intptr_t param) {
    {
        std::lock_guard<std::mutex> guard(Lock);
        if (Count == Capacity) {
            return false;
        }
        Ring[(Head + Count) % Capacity] = Entry{target, message, param};
        ++Count;
    }
    const std::uint64_t one = 1;
    // The counter only saturates after 2^64 - 2 posts; a failed wake-up write cannot lose the
    // post, which stays queued for the next ProcessPending.
    [[maybe_unused]] const ssize_t n = ::write(Fd, &one, sizeof one);
    return true;
}

bool EventFdPoster::PopFront(Entry& entry) {
    std::lock_guard<std::mutex> guard(Lock);
    while (Count > 0) {
        entry = Ring[Head];
        Head = (Head + 1) % Capacity;
        --Count;
        if (entry.Target != nullptr) { // null: cancelled
            return true;
        }
    }
    return false;
}

void EventFdPoster::ProcessPending() {
    std::uint64_t drained = 0;
    [[maybe_unused]] const ssize_t n = ::read(Fd, &drained, sizeof drained);
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
    pollfd pfd{Fd, POLLIN, 0};
    int r;
    do {
        r = ::poll(&pfd, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return PendingCount() > 0;
}

void EventFdPoster::Cancel(PostTarget* target) {
    std::lock_guard<std::mutex> guard(Lock);
    for (std::size_t i = 0; i < Count; ++i) {
        Entry& e = Ring[(Head + i) % Capacity];
        if (e.Target == target) {
            e.Target = nullptr;
        }
    }
}

std::size_t EventFdPoster::PendingCount() {
    std::lock_guard<std::mutex> guard(Lock);
    std::size_t live = 0;
    for (std::size_t i = 0; i < Count; ++i) {
        if (Ring[(Head + i) % Capacity].Target != nullptr) {
            ++live;
        }
    }
    return live;
}

} // namespace tellamo
