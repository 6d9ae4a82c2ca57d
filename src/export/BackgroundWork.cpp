#include "export/BackgroundWork.h"

#include "export/ConvertCtrl.h"

namespace tellamo {

BackgroundWork::BackgroundWork(std::function<void(const WorkProgress&)> work, EndNotice ended) {
    Worker = std::thread([this, work = std::move(work), ended = std::move(ended)] {
        const WorkProgress progress = [this](double fraction) {
            Progress.store(fraction, std::memory_order_relaxed);
            if (CancelRequested.load(std::memory_order_relaxed)) {
                throw ConversionCancelled();
            }
        };
        try {
            work(progress);
        } catch (const ConversionCancelled&) {
            Cancelled = true;
        } catch (...) {
            Failure = std::current_exception();
        }
        Ended.store(true, std::memory_order_release);
        if (ended) {
            ended();
        }
    });
}

BackgroundWork::~BackgroundWork() {
    if (Worker.joinable()) {
        Cancel();
        Worker.join();
    }
}

bool BackgroundWork::Finish() {
    if (Worker.joinable()) {
        Worker.join();
    }
    if (Failure) {
        std::rethrow_exception(std::exchange(Failure, nullptr));
    }
    return !Cancelled;
}

} // namespace tellamo
