#pragma once

#include <array>
#include <cstdint>
#include <mutex>

namespace tellamo {

// What a post runs on the window thread.
class PostTarget {
public:
    virtual ~PostTarget() = default;
    virtual void HandlePost(std::uint32_t message, std::intptr_t param) = 0;
};

// Moves work from a device thread to the window thread. A post is a small value (target, message
// number, integer) that is queued without allocating and handled later on the window thread, in
// the order posted.
//
// Threads: Post may be called from any thread. ProcessPending, WaitForPosts and Cancel are called
// on the window thread only. A handler may itself call ProcessPending (a wait inside a handler).
class WindowPoster {
public:
    virtual ~WindowPoster() = default;

    // Queues a post; false when the queue is full (the post is lost).
    virtual bool Post(PostTarget* target, std::uint32_t message, std::intptr_t param) = 0;

    // Runs every post queued so far, and those that the handlers queue meanwhile.
    virtual void ProcessPending() = 0;

    // Blocks until something has been posted or timeoutMs has passed; true if a post is pending.
    virtual bool WaitForPosts(int timeoutMs) = 0;

    // Drops every pending post for the target, so that a target that goes away never receives a
    // stale post. Every target calls it when it is destroyed.
    virtual void Cancel(PostTarget* target) = 0;
};

// The window poster over an eventfd: Post writes to the eventfd, the owner watches WakeFd() (the
// application with a socket notifier) and calls ProcessPending() on the window thread.
class EventFdPoster final : public WindowPoster {
public:
    static constexpr std::size_t Capacity = 1024;

    EventFdPoster();
    ~EventFdPoster() override;
    EventFdPoster(const EventFdPoster&) = delete;
    EventFdPoster& operator=(const EventFdPoster&) = delete;

    bool Post(PostTarget* target, std::uint32_t message, std::intptr_t param) override;
    void ProcessPending() override;
    bool WaitForPosts(int timeoutMs) override;
    void Cancel(PostTarget* target) override;

    int WakeFd() const { return mFd; }
    // Posts queued and not yet handled (for tests).
    std::size_t PendingCount();

private:
    struct Entry {
        PostTarget* Target;
        std::uint32_t Message;
        std::intptr_t Param;
    };

    bool PopFront(Entry& entry);

    const int mFd;
    // Shared between posting threads and the window thread; guarded by mRingLock, which is held
    // only to copy one entry in or out, never while a handler runs.
    std::mutex mRingLock;
    std::array<Entry, Capacity> mRing{};
    std::size_t mHead = 0;  // guarded by mRingLock
    std::size_t mCount = 0; // guarded by mRingLock
};

} // namespace tellamo
