#include "audio/AudioSettings.h"

#include <new>

#include "audio/Audio.h"

namespace tellamo {

TAudioSettings::TAudioSettings(TAudio& owner) : mOwner(owner) {}

TAudioSettings::~TAudioSettings() = default;

std::string TAudioSettings::WithSystemText(const std::string& message, WaveResult code) {
    const std::string text = mOwner.Port().ErrorText(code);
    return text.empty() ? message : message + " " + text;
}

PcmFormat TAudioSettings::SettingsFormat() const {
    const std::uint16_t channels = mChannels == TChannels::Stereo ? 2 : 1;
    const std::uint16_t bytesPerSample = mBitsPerSample == TBPS::_16 ? 2 : 1;
    PcmFormat f;
    f.FormatTag = 1;
    f.Channels = channels;
    f.SamplesPerSec = mSampleRate;
    f.BlockAlign = static_cast<std::uint16_t>(channels * bytesPerSample);
    f.AvgBytesPerSec = static_cast<std::uint32_t>(mSampleRate) * f.BlockAlign;
    f.BitsPerSample = static_cast<std::uint16_t>(bytesPerSample * 8);
    f.ExtraSize = 0;
    return f;
}

bool TAudioSettings::AllocateBuffers() {
    mFormat = SettingsFormat();
    mHaveFormat = true;

    const std::uint32_t bytes = static_cast<std::uint32_t>(mNoSamples) * mFormat.BlockAlign;
    if (bytes > 0xFFFF) {
        // The buffer size is a 16-bit quantity; such a ring is refused rather than cut short.
        mBufferSize = 0;
        mOwner.ErrorMessage = "Not enough memory to allocate Wave Buffer";
        return false;
    }
    mBufferSize = static_cast<std::uint16_t>(bytes);
    try {
        for (Slot& slot : mSlots) {
            slot.Header = WaveHeader{};
            slot.Data.assign(mBufferSize, 0);
            slot.Split.assign(mBufferSize / 2u, 0);
            slot.Header.Data = slot.Data.data();
        }
    } catch (const std::bad_alloc&) {
        mOwner.ErrorMessage = "Not enough memory to allocate Wave Buffer";
        return false;
    }
    mHaveBuffers = true;
    return true;
}

void TAudioSettings::FreeBuffers() {
    if (!mHaveFormat) {
        return;
    }
    mHaveFormat = false;
    mHaveBuffers = false;
    for (Slot& slot : mSlots) {
        slot.Header = WaveHeader{};
        std::vector<unsigned char>().swap(slot.Data);
        std::vector<unsigned char>().swap(slot.Split);
    }
}

void TAudioSettings::InitHeaders() {
    for (std::size_t i = 0; i < mSlots.size(); ++i) {
        Slot& slot = mSlots[i];
        slot.Header = WaveHeader{};
        slot.Header.Data = slot.Data.data();
        slot.Header.BufferLength = mBufferSize;
        slot.Header.User = i; // the slot a returning buffer belongs to
    }
}

bool TAudioSettings::ReallocateBuffers() {
    if (mDeviceOpen) {
        mOwner.ErrorMessage = "The format cannot change while the device is open";
        return false;
    }
    FreeBuffers();
    return AllocateBuffers();
}

namespace {
// Stores a changed setting and rebuilds the buffers; refused while the device holds them.
template <typename T> void StoreSetting(TAudioSettings& self, T& field, T value, bool deviceOpen) {
    if (field == value) {
        return;
    }
    if (deviceOpen) {
        self.ReallocateBuffers(); // only leaves the refusal in ErrorMessage
        return;
    }
    field = value;
    self.ReallocateBuffers();
}
} // namespace

void TAudioSettings::StoreChannels(TChannels value) {
    StoreSetting(*this, mChannels, value, mDeviceOpen);
}

void TAudioSettings::StoreBitsPerSample(TBPS value) {
    StoreSetting(*this, mBitsPerSample, value, mDeviceOpen);
}

void TAudioSettings::StoreSampleRate(std::uint16_t value) {
    StoreSetting(*this, mSampleRate, value, mDeviceOpen);
}

void TAudioSettings::StoreNoSamples(std::uint16_t value) {
    StoreSetting(*this, mNoSamples, value, mDeviceOpen);
}

void TAudioSettings::SetChannels(TChannels value) {
    if (mOwner.SeparateCtrls()) {
        StoreChannels(value);
    } else {
        mOwner.Player().StoreChannels(value);
        mOwner.Recorder().StoreChannels(value);
    }
    // Every assignment re-applies the split rule: only a stereo recorder can split.
    TRecorder& recorder = mOwner.Recorder();
    recorder.SetSplitChannels(recorder.SplitChannels());
}

void TAudioSettings::SetBitsPerSample(TBPS value) {
    if (mOwner.SeparateCtrls()) {
        StoreBitsPerSample(value);
    } else {
        mOwner.Player().StoreBitsPerSample(value);
        mOwner.Recorder().StoreBitsPerSample(value);
    }
}

void TAudioSettings::SetSampleRate(std::uint16_t value) {
    if (mOwner.SeparateCtrls()) {
        StoreSampleRate(value);
    } else {
        mOwner.Player().StoreSampleRate(value);
        mOwner.Recorder().StoreSampleRate(value);
    }
}

} // namespace tellamo
