#include "export/BackgroundWork.h"

#include "export/ConvertCtrl.h"

namespace tellamo {

BackgroundWork::BackgroundWork(std::function<void(const WorkProgress&)> work, EndNotice ended) {
    mWorker = std::thread([this, work = std::move(work), ended = std::move(ended)] {
        const WorkProgress progress = [this](double fraction) {
            mProgress.store(fraction, std::memory_order_relaxed);
            if (mCancelRequested.load(std::memory_order_relaxed)) {
                throw ConversionCancelled();
            }
        };
        try {
            work(progress);
        } catch (const ConversionCancelled&) {
            mCancelled = true;
        } catch (...) {
            mFailure = std::current_exception();
        }
        mEnded.store(true, std::memory_order_release);
        if (ended) {
            ended();
        }
    });
}

BackgroundWork::~BackgroundWork() {
    if (mWorker.joinable()) {
        Cancel();
        mWorker.join();
    }
}

bool BackgroundWork::Finish() {
    if (mWorker.joinable()) {
        mWorker.join();
    }
    if (mFailure) {
        std::rethrow_exception(std::exchange(mFailure, nullptr));
    }
    return !mCancelled;
}

} // namespace tellamo
