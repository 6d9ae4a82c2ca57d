#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <thread>

#include "export/StagedFile.h"

namespace tellamo {

// Runs one long piece of work (a conversion, a copy) on a thread of its own, so that the window
// thread stays responsive. The window thread starts it, reads its progress, may ask it to stop,
// and collects the outcome with Finish. Shared between the two threads: the progress and the
// two flags (atomics, each written by one side); the work's failure is written by the worker
// before Done turns true and read by the window thread only after the join in Finish.
class BackgroundWork {
public:
    // Told when the work has ended; called on the worker thread (to wake the window thread).
    using EndNotice = std::function<void()>;
    // The work receives a progress callback that throws ConversionCancelled once Cancel has been
    // called; the work must let that exception pass (its files are then left as before).
    BackgroundWork(std::function<void(const WorkProgress&)> work, EndNotice ended = {});
    ~BackgroundWork(); // cancels and joins a work still running
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    double Fraction() const { return mProgress.load(std::memory_order_relaxed); }
    bool Done() const { return mEnded.load(std::memory_order_acquire); }
    void Cancel() { mCancelRequested.store(true, std::memory_order_relaxed); }

    // Waits for the work to end. Returns true when it completed, false when it was cancelled;
    // rethrows any other failure of the work.
    bool Finish();

private:
    std::atomic<double> mProgress{0.0};
    std::atomic<bool> mCancelRequested{false};
    std::atomic<bool> mEnded{false};
    std::exception_ptr mFailure;
    bool mCancelled = false;
    std::thread mWorker;
};

} // namespace tellamo
