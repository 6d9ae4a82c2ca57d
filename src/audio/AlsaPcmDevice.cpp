#include "audio/AlsaPcmDevice.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>

#include <sys/eventfd.h>
#include <unistd.h>

namespace tellamo::alsa {

namespace {
constexpr unsigned LatencyMicroseconds = 500000; // the device's own buffer, beyond our four
// A device that cannot recover (unplugged, server gone) is tried again after this long instead
// of in a tight loop; a request still ends the pause at once.
constexpr int RetryMilliseconds = 50;
// The pause after the device's descriptors woke the wait while the device was not ready.
constexpr int IdleMilliseconds = 10;
// How often the end of a playback looks at the device's delay.
constexpr int TailMilliseconds = 10;

bool ValidFormat(const PcmFormat& format) {
    return format.FormatTag == 1 && format.Channels != 0 &&
           (format.BitsPerSample == 8 || format.BitsPerSample == 16) &&
           format.BlockAlign == format.Channels * (format.BitsPerSample / 8);
}

void MarkDone(WaveHeader* h) {
    h->Flags = (h->Flags & ~WaveHeaderInQueue) | WaveHeaderDone;
}
} // namespace

WaveResult PcmDevice::Open(const std::string& name, bool capture, const PcmFormat& format,
                           WaveCallback* callback, std::shared_ptr<PcmDevice>& device) {
    if (!ValidFormat(format)) {
        return -EINVAL;
    }
    snd_pcm_t* pcm = nullptr;
    int r = snd_pcm_open(&pcm, name.c_str(),
                         capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK, 0);
    if (r < 0) {
        return r;
    }
    r = snd_pcm_set_params(pcm,
                           format.BitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE,
                           SND_PCM_ACCESS_RW_INTERLEAVED, format.Channels, format.SamplesPerSec, 1,
                           LatencyMicroseconds);
    if (r >= 0 && !capture) {
        // Start playing after the first period, not when the whole device buffer is full.
        snd_pcm_uframes_t bufferSize = 0, periodSize = 0;
        snd_pcm_sw_params_t* sw = nullptr;
        if (snd_pcm_get_params(pcm, &bufferSize, &periodSize) >= 0 &&
            snd_pcm_sw_params_malloc(&sw) >= 0) {
            if (snd_pcm_sw_params_current(pcm, sw) >= 0 &&
                snd_pcm_sw_params_set_start_threshold(pcm, sw, periodSize) >= 0) {
                r = snd_pcm_sw_params(pcm, sw);
            }
            snd_pcm_sw_params_free(sw);
        }
    }
    snd_pcm_uframes_t availMin = 1;
    if (r >= 0) {
        snd_pcm_sw_params_t* sw = nullptr;
        if ((r = snd_pcm_sw_params_malloc(&sw)) >= 0) {
            if ((r = snd_pcm_sw_params_current(pcm, sw)) >= 0) {
                r = snd_pcm_sw_params_get_avail_min(sw, &availMin);
            }
            snd_pcm_sw_params_free(sw);
        }
    }
    if (r >= 0) {
        r = snd_pcm_nonblock(pcm, 1);
    }
    if (r >= 0) {
        r = snd_pcm_prepare(pcm);
    }
    const int wakeFd = r >= 0 ? ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK) : -1;
    if (r >= 0 && wakeFd < 0) {
        r = -errno;
    }
    if (r < 0) {
        snd_pcm_close(pcm);
        return r;
    }
    device = std::make_shared<PcmDevice>(pcm, wakeFd, capture, format.BlockAlign,
                                         format.SamplesPerSec, availMin ? availMin : 1, callback);
    device->Start();
    return WaveOk;
}

PcmDevice::PcmDevice(snd_pcm_t* pcm, int wakeFd, bool capture, unsigned frameBytes, unsigned rate,
                     snd_pcm_uframes_t availMin, WaveCallback* callback)
    : mPcm(pcm), mWakeFd(wakeFd), mCapture(capture), mFrameBytes(frameBytes),
      mRate(rate ? rate : 1), mAvailMin(availMin), mCallback(callback) {}

PcmDevice::~PcmDevice() {
    if (mThread.joinable()) {
        mThread.join();
    }
    ::close(mWakeFd);
}

void PcmDevice::Start() {
    mThread = std::thread([this] { Run(); });
    std::unique_lock<std::mutex> lk(mQueueLock);
    mChanged.wait(lk, [this] { return mOpened; });
}

WaveResult PcmDevice::Queue(WaveHeader* header) {
    std::lock_guard<std::mutex> g(mQueueLock);
    if (mCount == QueueCapacity) {
        return -ENOBUFS;
    }
    header->Flags = (header->Flags & ~WaveHeaderDone) | WaveHeaderInQueue;
    if (mCapture) {
        header->BytesRecorded = 0;
    }
    header->BytesPlayed = 0;
    mPending[(mHead + mCount) % QueueCapacity] = header;
    ++mCount;
    mChanged.notify_all();
    return WaveOk;
}

bool PcmDevice::IsQueued(const WaveHeader* header) {
    std::lock_guard<std::mutex> g(mQueueLock);
    for (std::size_t i = 0; i < mCount; ++i) {
        if (mPending[(mHead + i) % QueueCapacity] == header) {
            return true;
        }
    }
    return false;
}

void PcmDevice::StartCapture() {
    std::lock_guard<std::mutex> g(mQueueLock);
    mStarted = true;
    mChanged.notify_all();
}

WaveResult PcmDevice::Reset() {
    std::unique_lock<std::mutex> lk(mQueueLock);
    mResetRequested = true;
    Wake();
    mChanged.notify_all();
    mChanged.wait(lk, [this] { return !mResetRequested; });
    return WaveOk;
}

WaveResult PcmDevice::Close() {
    {
        std::lock_guard<std::mutex> g(mQueueLock);
        if (mCount > 0) {
            return -EBUSY; // buffers still with the device: reset first
        }
        mCloseRequested = true;
        Wake();
        mChanged.notify_all();
    }
    mThread.join();
    return WaveOk;
}

std::uint64_t PcmDevice::PlayedBytes() {
    std::lock_guard<std::mutex> g(mPcmLock);
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(mPcm, &delay) != 0 || delay < 0) {
        delay = 0;
    }
    const std::uint64_t written = mWrittenFrames.load();
    const auto d = static_cast<std::uint64_t>(delay);
    return (written > d ? written - d : 0) * mFrameBytes;
}

void PcmDevice::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(mWakeFd, &one, sizeof one);
}

void PcmDevice::ClearWake() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(mWakeFd, &count, sizeof count);
}

bool PcmDevice::WaitForRequest(int milliseconds) {
    pollfd wake{mWakeFd, POLLIN, 0};
    return ::poll(&wake, 1, milliseconds) > 0 && (wake.revents & POLLIN) != 0;
}

void PcmDevice::Run() {
    mCallback->WaveOpened();
    {
        std::lock_guard<std::mutex> g(mQueueLock);
        mOpened = true;
        mChanged.notify_all();
    }
    bool drainAtClose = false;
    for (;;) {
        std::unique_lock<std::mutex> lk(mQueueLock);
        mChanged.wait(lk, [this] {
            return mCloseRequested || mResetRequested || (mCount > 0 && (mStarted || !mCapture));
        });
        if (mResetRequested) {
            ReturnAll(lk);
            drainAtClose = false;
            continue;
        }
        if (mCloseRequested) {
            break;
        }
        WaveHeader* h = mPending[mHead];
        lk.unlock();
        const bool complete = mCapture ? Fill(h) : Play(h);
        if (!complete) {
            continue; // a request interrupted the transfer; the top of the loop serves it
        }
        if (!mCapture) {
            WaitTail();
        }
        lk.lock();
        mHead = (mHead + 1) % QueueCapacity;
        --mCount;
        lk.unlock();
        drainAtClose = !mCapture;
        MarkDone(h);
        mCallback->WaveBufferDone(h);
    }
    {
        std::lock_guard<std::mutex> g(mPcmLock);
        if (drainAtClose) {
            // What was written is played to its end before the device goes.
            snd_pcm_nonblock(mPcm, 0);
            snd_pcm_drain(mPcm);
        } else {
            snd_pcm_drop(mPcm);
        }
        snd_pcm_close(mPcm);
    }
    mCallback->WaveClosed();
}

// mQueueLock held on entry and on return; released while the callbacks run.
void PcmDevice::ReturnAll(std::unique_lock<std::mutex>& queueLock) {
    std::array<WaveHeader*, QueueCapacity> back{};
    const std::size_t n = mCount;
    for (std::size_t i = 0; i < n; ++i) {
        back[i] = mPending[(mHead + i) % QueueCapacity];
    }
    mHead = 0;
    mCount = 0;
    mStarted = false;
    queueLock.unlock();
    {
        std::lock_guard<std::mutex> g(mPcmLock);
        snd_pcm_drop(mPcm);
        snd_pcm_prepare(mPcm);
    }
    for (std::size_t i = 0; i < n; ++i) {
        MarkDone(back[i]);
        mCallback->WaveBufferDone(back[i]);
    }
    queueLock.lock();
    // The one who asked waits for the answer before asking again, so no later request is lost.
    ClearWake();
    mResetRequested = false;
    mChanged.notify_all();
}

snd_pcm_sframes_t PcmDevice::Available() {
    switch (snd_pcm_state(mPcm)) {
    case SND_PCM_STATE_XRUN:
        return -EPIPE;
    case SND_PCM_STATE_SUSPENDED:
        return -ESTRPIPE;
    case SND_PCM_STATE_DISCONNECTED:
        return -ENODEV;
    default:
        return snd_pcm_avail_update(mPcm);
    }
}

// Waits until the device can transfer; false when a request interrupts the wait.
//
// Not snd_pcm_wait: with a sound server's plugin whose source delivers nothing, its descriptor
// stays readable while the device is not ready, and snd_pcm_wait then loops inside ALSA for good,
// where no request reaches it. Here the wake descriptor is in the same poll set, and a wake-up
// that finds the device still not ready pauses before the next poll instead of spinning.
bool PcmDevice::WaitReady() {
    bool woken = false; // the device's descriptors ended the last poll
    for (;;) {
        if (WaitForRequest(0)) {
            return false;
        }
        snd_pcm_sframes_t avail;
        {
            std::lock_guard<std::mutex> g(mPcmLock);
            avail = Available();
            if (avail >= 0 && static_cast<snd_pcm_uframes_t>(avail) < mAvailMin) {
                const int n = std::max(snd_pcm_poll_descriptors_count(mPcm), 0);
                mPollSet.assign(1 + static_cast<std::size_t>(n), pollfd{});
                snd_pcm_poll_descriptors(mPcm, mPollSet.data() + 1, static_cast<unsigned>(n));
            }
        }
        if (avail < 0) {
            if (!Recover(static_cast<int>(avail)) && WaitForRequest(RetryMilliseconds)) {
                return false;
            }
            woken = false;
            continue;
        }
        if (static_cast<snd_pcm_uframes_t>(avail) >= mAvailMin) {
            return true;
        }
        if (woken && WaitForRequest(IdleMilliseconds)) {
            return false;
        }
        mPollSet[0] = pollfd{mWakeFd, POLLIN, 0};
        if (::poll(mPollSet.data(), mPollSet.size(), -1) < 0) {
            if (errno != EINTR && WaitForRequest(RetryMilliseconds)) {
                return false;
            }
            continue;
        }
        if (mPollSet[0].revents & POLLIN) {
            return false;
        }
        woken = true;
        // Lets the plugin take in its events; the look at the top of the loop then decides.
        unsigned short revents = 0;
        std::lock_guard<std::mutex> g(mPcmLock);
        snd_pcm_poll_descriptors_revents(mPcm, mPollSet.data() + 1,
                                         static_cast<unsigned>(mPollSet.size() - 1), &revents);
    }
}

// When the buffer just written is the last one queued, it comes back only once the device has
// played it (or more output arrives, or a request comes): so the end of a playback is heard
// before the player closes the device, and the close need not wait on the window thread.
void PcmDevice::WaitTail() {
    // A sound server's plugin never reports a delay of 0: once the stream has run dry it goes on
    // counting the server's own latency (tens of milliseconds, constant). So the moment the ring
    // runs dry (an xrun, which the pointer update reports) ends the wait after that remaining
    // delay, the time the last frame still needs to reach the output. Should neither come, the
    // sound written cannot take longer than its own length.
    using Clock = std::chrono::steady_clock;
    Clock::time_point deadline{};
    std::optional<Clock::time_point> dryEnd;
    for (bool first = true;; first = false) {
        if (WaitForRequest(first ? 0 : TailMilliseconds)) {
            return;
        }
        {
            std::lock_guard<std::mutex> g(mQueueLock);
            if (mCount > 1) {
                return;
            }
        }
        snd_pcm_sframes_t delay = 0;
        bool dry = false;
        int r;
        {
            std::lock_guard<std::mutex> g(mPcmLock);
            if (snd_pcm_state(mPcm) == SND_PCM_STATE_PREPARED) {
                snd_pcm_start(mPcm); // less than a period was written: play it anyway
            }
            dry = snd_pcm_avail(mPcm) == -EPIPE;
            r = snd_pcm_delay(mPcm, &delay);
        }
        if (r < 0 || delay <= 0) {
            return;
        }
        const auto now = Clock::now();
        const auto left = std::chrono::microseconds(delay * 1000000LL / mRate);
        if (first) {
            deadline = now + std::chrono::milliseconds(200) + left;
        } else if (now >= deadline) {
            return;
        }
        if (dry && !dryEnd) {
            dryEnd = now + left;
        }
        if (dryEnd && now >= *dryEnd) {
            return;
        }
    }
}

// An xrun or suspend is recovered before anything is reported; false when it cannot be.
bool PcmDevice::Recover(int error) {
    std::lock_guard<std::mutex> g(mPcmLock);
    return snd_pcm_recover(mPcm, error, 1) >= 0 || snd_pcm_prepare(mPcm) >= 0;
}

bool PcmDevice::Fill(WaveHeader* h) {
    while (h->BytesRecorded + mFrameBytes <= h->BufferLength) {
        {
            // A capture that has not started never becomes ready: start it before the wait.
            std::lock_guard<std::mutex> g(mPcmLock);
            if (snd_pcm_state(mPcm) == SND_PCM_STATE_PREPARED) {
                snd_pcm_start(mPcm);
            }
        }
        if (!WaitReady()) {
            return false;
        }
        snd_pcm_sframes_t got;
        {
            std::lock_guard<std::mutex> g(mPcmLock);
            got = snd_pcm_readi(mPcm, h->Data + h->BytesRecorded,
                                (h->BufferLength - h->BytesRecorded) / mFrameBytes);
        }
        if (got < 0 && got != -EAGAIN && !Recover(static_cast<int>(got)) &&
            WaitForRequest(RetryMilliseconds)) {
            return false;
        }
        if (got > 0) {
            h->BytesRecorded += static_cast<std::uint32_t>(got) * mFrameBytes;
        }
    }
    return true;
}

bool PcmDevice::Play(WaveHeader* h) {
    while (h->BytesPlayed + mFrameBytes <= h->BufferLength) {
        if (!WaitReady()) {
            return false;
        }
        snd_pcm_sframes_t put;
        {
            std::lock_guard<std::mutex> g(mPcmLock);
            put = snd_pcm_writei(mPcm, h->Data + h->BytesPlayed,
                                 (h->BufferLength - h->BytesPlayed) / mFrameBytes);
        }
        if (put < 0 && put != -EAGAIN && !Recover(static_cast<int>(put)) &&
            WaitForRequest(RetryMilliseconds)) {
            return false;
        }
        if (put > 0) {
            h->BytesPlayed += static_cast<std::uint32_t>(put) * mFrameBytes;
            mWrittenFrames.fetch_add(static_cast<std::uint64_t>(put));
        }
    }
    return true;
}

} // namespace tellamo::alsa
