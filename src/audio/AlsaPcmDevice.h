#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <alsa/asoundlib.h>
#include <poll.h>

#include "audio/WavePort.h"

namespace tellamo::alsa {

// One open PCM device and the thread that serves it, in the place of a driver's callback thread.
// The thread captures into (or plays from) the queued buffers in queue order and returns each
// through the callback, full or played. A request (reset, close) from the window thread is
// written to an eventfd that sits in the thread's poll set beside the PCM's own descriptors, so
// a thread waiting for the device wakes at once. An xrun is recovered with snd_pcm_recover
// before anything is reported. No lock is held while the callback runs.
class PcmDevice {
public:
    // Opens the ALSA device `name` for `format` and starts its thread; on success the callback
    // has received WaveOpened.
    static WaveResult Open(const std::string& name, bool capture, const PcmFormat& format,
                           WaveCallback* callback, std::shared_ptr<PcmDevice>& device);

    PcmDevice(snd_pcm_t* pcm, int wakeFd, bool capture, unsigned frameBytes, unsigned rate,
              snd_pcm_uframes_t availMin, WaveCallback* callback);
    ~PcmDevice();
    PcmDevice(const PcmDevice&) = delete;
    PcmDevice& operator=(const PcmDevice&) = delete;

    WaveResult Queue(WaveHeader* header);
    bool IsQueued(const WaveHeader* header);
    void StartCapture();
    // Returns once every queued buffer is back.
    WaveResult Reset();
    // Refused while buffers are queued; returns once the thread has ended and the device is
    // closed.
    WaveResult Close();
    std::uint64_t PlayedBytes();

private:
    void Start();
    void Run();
    void ReturnAll(std::unique_lock<std::mutex>& queueLock);
    void Wake();
    void ClearWake();
    // Waits up to `milliseconds` (-1: without end) on the wake descriptor alone; true when a
    // request is waiting.
    bool WaitForRequest(int milliseconds);
    // Frames the device can transfer now, or its error (an xrun, a suspend); mPcmLock held.
    snd_pcm_sframes_t Available();
    bool WaitReady();
    void WaitTail();
    bool Recover(int error);
    bool Fill(WaveHeader* h);
    bool Play(WaveHeader* h);

    static constexpr std::size_t QueueCapacity = 64;

    snd_pcm_t* const mPcm;
    const int mWakeFd; // readable while a request waits; read empty once it is served
    const bool mCapture;
    const unsigned mFrameBytes;
    const unsigned mRate;
    const snd_pcm_uframes_t mAvailMin; // the device is ready once this many frames can move
    WaveCallback* const mCallback;
    std::thread mThread;
    std::vector<pollfd> mPollSet; // device thread only: the wake descriptor, then the PCM's

    // Lock order: mQueueLock and mPcmLock are never held together; neither is held while the
    // callback runs.
    //
    // Serialises the calls on mPcm between the device thread and PlayedBytes.
    std::mutex mPcmLock;
    // The requests and the queue, shared by the window thread and the device thread.
    std::mutex mQueueLock;
    std::condition_variable mChanged;                  // signalled under mQueueLock
    std::array<WaveHeader*, QueueCapacity> mPending{}; // guarded by mQueueLock
    std::size_t mHead = 0;                             // guarded by mQueueLock
    std::size_t mCount = 0;                            // guarded by mQueueLock
    bool mOpened = false;                              // guarded by mQueueLock
    bool mStarted = false;                             // guarded by mQueueLock
    bool mResetRequested = false;                      // guarded by mQueueLock
    bool mCloseRequested = false;                      // guarded by mQueueLock
    // Frames handed to ALSA for playback: written by the device thread, read by PlayedBytes.
    std::atomic<std::uint64_t> mWrittenFrames{0};
};

} // namespace tellamo::alsa
