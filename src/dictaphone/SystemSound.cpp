#include "dictaphone/SystemSound.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include <QFile>

#include "audio/WavFormat.h"
#include "audio/WavePort.h"

// The resource lives in a static library: nothing would pull its registration into the program.
static void InitSoundResources() {
    Q_INIT_RESOURCE(sounds);
}

namespace tellamo {

namespace {
// Told by the device thread when the one buffer has been played.
class DoneSignal final : public WaveCallback {
public:
    void WaveOpened() override {}
    void WaveClosed() override {}
    void WaveBufferDone(WaveHeader*) override {
        std::lock_guard<std::mutex> lock(mMutex);
        mDone = true;
        mChanged.notify_all();
    }
    bool WaitFor(std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(mMutex);
        return mChanged.wait_for(lock, limit, [this] { return mDone; });
    }

private:
    std::mutex mMutex;
    std::condition_variable mChanged;
    bool mDone = false;
};
} // namespace

void PlaySoundSynchronously(WavePort& port, std::string_view wavBytes) {
    WaveInfo info;
    try {
        info = ParseWaveHeader(wavBytes, wavBytes.size(), "SYSTEMWAV");
        CheckWaveFormat(info, "SYSTEMWAV", WaveUse::Play);
    } catch (...) {
        return;
    }
    if (info.DataStart >= wavBytes.size()) {
        return;
    }
    std::vector<unsigned char> samples(
        wavBytes.begin() + info.DataStart,
        wavBytes.begin() + std::min<std::size_t>(wavBytes.size(), info.DataStart + info.DataSize));
    PcmFormat format;
    format.Channels = info.Channels;
    format.BitsPerSample = info.SixteenBit() ? 16 : 8;
    format.SamplesPerSec = info.SampleRate;
    format.BlockAlign = static_cast<std::uint16_t>(format.Channels * format.BitsPerSample / 8);
    format.AvgBytesPerSec = format.SamplesPerSec * format.BlockAlign;
    if (samples.empty() || format.SamplesPerSec == 0) {
        return;
    }

    DoneSignal done;
    WaveHandle handle = 0;
    if (port.OpenOutput(handle, WaveMapper, format, &done) != WaveOk) {
        return;
    }
    WaveHeader header;
    header.Data = samples.data();
    header.BufferLength = static_cast<std::uint32_t>(samples.size());
    if (port.PrepareHeader(handle, &header) == WaveOk) {
        if (port.WriteOutputBuffer(handle, &header) == WaveOk) {
            // The sound's own length and a margin for the device's start-up.
            const auto length =
                std::chrono::milliseconds(1000LL * samples.size() / format.AvgBytesPerSec);
            if (!done.WaitFor(length + std::chrono::seconds(2))) {
                port.Reset(handle);
            }
        }
        port.UnprepareHeader(handle, &header);
    }
    port.Close(handle);
}

std::string_view NotificationSound() {
    static const QByteArray bytes = [] {
        InitSoundResources();
        QFile file(QStringLiteral(":/sounds/SYSTEMWAV"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

void PlayNotificationSound(WavePort& port) {
    PlaySoundSynchronously(port, NotificationSound());
}

} // namespace tellamo
