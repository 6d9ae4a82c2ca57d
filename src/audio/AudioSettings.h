#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "audio/WavePort.h"

namespace tellamo {

class TAudio;

// Sample width: 8-bit unsigned samples (silence 128) or 16-bit signed little-endian (silence 0).
enum class TBPS { _8, _16 };
enum class TChannels { Mono, Stereo };

// The message numbers posted to the window thread.
constexpr std::uint32_t MM_WOM_CLOSE = 0x3BC;
constexpr std::uint32_t MM_WOM_DONE = 0x3BD;
constexpr std::uint32_t MM_WIM_DATA = 0x3C0;
constexpr std::uint32_t MM_MIXM_LINE_CHANGE = 0x3D0;
constexpr std::uint32_t MM_MIXM_CONTROL_CHANGE = 0x3D1;

// Error code handed to the port's ErrorText when a device is asked for without its buffers.
constexpr WaveResult WaveErrorNoBuffers = -12; // ENOMEM

// Wave format, buffers and device state that the recorder and the player each hold: the PCM
// format built from Channels, BitsPerSample and SampleRate, and a ring of four buffers of
// NoSamples frames that circulates between the window thread and the device.
//
// Threads: the settings, the format and the buffers change on the window thread only, and only
// while this object's device is closed; the device thread reads them while the device is open.
// The ring indices and DeviceActive are shared with the device thread (see their declarations).
class TAudioSettings {
public:
    static constexpr int SlotCount = 4;

    explicit TAudioSettings(TAudio& owner);
    virtual ~TAudioSettings();
    TAudioSettings(const TAudioSettings&) = delete;
    TAudioSettings& operator=(const TAudioSettings&) = delete;

    TAudio& Owner() const { return mOwner; }

    TChannels Channels() const { return mChannels; }
    TBPS BitsPerSample() const { return mBitsPerSample; }
    std::uint16_t SampleRate() const { return mSampleRate; }
    std::uint16_t NoSamples() const { return mNoSamples; }
    // With SeparateCtrls false the change is applied to the player and then the recorder;
    // otherwise to this object only. Each object whose value changes reallocates its buffers.
    void SetChannels(TChannels value);
    void SetBitsPerSample(TBPS value);
    void SetSampleRate(std::uint16_t value);

    // The format record, or null when none has been built (or it was freed).
    const PcmFormat* WaveFormat() const { return mHaveFormat ? &mFormat : nullptr; }
    std::uint16_t BufferSize() const { return mBufferSize; }
    bool BuffersAllocated() const { return mHaveBuffers; }

    bool DeviceOpen() const { return mDeviceOpen; }
    bool DeviceActive() const { return mDeviceActive.load(std::memory_order_acquire); }
    std::int32_t QueueIndex() const { return mQueueIndex.load(std::memory_order_acquire); }
    std::int32_t DoneIndex() const { return mDoneIndex.load(std::memory_order_acquire); }
    std::int32_t QueuedCount() const { return mQueuedCount.load(std::memory_order_acquire); }

    bool AllocateBuffers();
    void FreeBuffers();
    void InitHeaders();

    // Frees and allocates the buffers again; refused (false, with a message) while this
    // object's device is open, because the device still holds them.
    bool ReallocateBuffers();

    // The data buffer of a slot (tests and the benchmark look at it).
    unsigned char* SlotData(int slot) { return mSlots[static_cast<std::size_t>(slot)].Data.data(); }

protected:
    friend class TAudio;
    friend class TRecorder;

    struct Slot {
        WaveHeader Header;
        std::vector<unsigned char> Data;
        std::vector<unsigned char> Split;
    };

    // The format record as AllocateBuffers builds it from the current settings.
    PcmFormat SettingsFormat() const;

    // Stores the value without touching the other object; reallocates when it changed.
    void StoreChannels(TChannels value);
    void StoreBitsPerSample(TBPS value);
    void StoreSampleRate(std::uint16_t value);
    void StoreNoSamples(std::uint16_t value);

    // The words of a failure: message, one blank and the port's description, or the message
    // alone when the description is empty.
    std::string WithSystemText(const std::string& message, WaveResult code);

    TAudio& mOwner;
    TChannels mChannels = TChannels::Mono;
    TBPS mBitsPerSample = TBPS::_8;
    std::uint16_t mSampleRate = 11025;
    std::uint16_t mNoSamples = 8192;
    bool mHaveFormat = false;
    bool mHaveBuffers = false;
    PcmFormat mFormat;
    std::uint16_t mBufferSize = 0;
    std::array<Slot, SlotCount> mSlots;

    WaveHandle mHandle = 0;
    bool mDeviceOpen = false; // window thread only
    // Written by the device thread's open/close notifications and by the window thread (the
    // recorder's Stop); atomic.
    std::atomic<bool> mDeviceActive{false};
    // While the device is open mQueueIndex is written by the window thread only and mDoneIndex by
    // the device thread only; both are reset on the window thread before the device opens.
    // Atomic, since the other thread reads them.
    std::atomic<std::int32_t> mQueueIndex{0};
    std::atomic<std::int32_t> mDoneIndex{0};
    // Changed by both threads (player): atomic read-modify-write.
    std::atomic<std::int32_t> mQueuedCount{0};
};

} // namespace tellamo
