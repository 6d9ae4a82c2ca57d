#include "support/FakeWavePort.h"

#include <algorithm>
#include <cstring>

namespace tellamo {

void FakeWavePort::Fail(FakeCall call, WaveResult code, int skip, int times) {
    std::lock_guard<std::mutex> g(mStateLock);
    mFailures[call] = Failure{code, skip, times};
}

bool FakeWavePort::Fails(FakeCall call, WaveResult& code) {
    auto it = mFailures.find(call);
    if (it == mFailures.end()) {
        return false;
    }
    Failure& f = it->second;
    if (f.Skip > 0) {
        --f.Skip;
        return false;
    }
    code = f.Code;
    if (f.Times > 0 && --f.Times == 0) {
        mFailures.erase(it);
    }
    return true;
}

void FakeWavePort::Log(std::string entry) {
    mCallLog.push_back(std::move(entry));
}

FakeWavePort::Device* FakeWavePort::DeviceFor(WaveHandle handle) {
    if (handle == InputHandle && mIn.Open) {
        return &mIn;
    }
    if (handle == OutputHandle && mOut.Open) {
        return &mOut;
    }
    return nullptr;
}

std::uint32_t FakeWavePort::InputDeviceCount() {
    return InputDevices;
}
std::uint32_t FakeWavePort::OutputDeviceCount() {
    return OutputDevices;
}
std::uint32_t FakeWavePort::MixerDeviceCount() {
    return MixerDevices;
}

WaveResult FakeWavePort::OpenDevice(Device& d, FakeCall call, WaveHandle h, std::uint32_t device,
                                    std::uint32_t count, const PcmFormat& format,
                                    WaveCallback* cb) {
    {
        std::lock_guard<std::mutex> g(mStateLock);
        Log((call == FakeCall::OpenInput ? "OpenInput " : "OpenOutput ") + std::to_string(device));
        WaveResult code = 0;
        if (Fails(call, code)) {
            return code;
        }
        if (count == 0 || (device != WaveMapper && device >= count)) {
            return ErrorNoDevice;
        }
        if (d.Open) {
            return ErrorBadHandle;
        }
        d = Device{};
        d.Open = true;
        d.Callback = cb;
        d.Queue.reserve(16);
        mFormat = format;
        mDevice = device;
    }
    cb->WaveOpened();
    (void)h;
    return WaveOk;
}

WaveResult FakeWavePort::OpenInput(WaveHandle& handle, std::uint32_t device,
                                   const PcmFormat& format, WaveCallback* callback) {
    const WaveResult r =
        OpenDevice(mIn, FakeCall::OpenInput, InputHandle, device, InputDevices, format, callback);
    if (r == WaveOk) {
        handle = InputHandle;
    }
    return r;
}

WaveResult FakeWavePort::OpenOutput(WaveHandle& handle, std::uint32_t device,
                                    const PcmFormat& format, WaveCallback* callback) {
    const WaveResult r = OpenDevice(mOut, FakeCall::OpenOutput, OutputHandle, device, OutputDevices,
                                    format, callback);
    if (r == WaveOk) {
        handle = OutputHandle;
    }
    return r;
}

WaveResult FakeWavePort::PrepareHeader(WaveHandle handle, WaveHeader* header) {
    std::lock_guard<std::mutex> g(mStateLock);
    WaveResult code = 0;
    if (DeviceFor(handle) == nullptr) {
        return ErrorBadHandle;
    }
    if (handle == InputHandle) {
        Log("Prepare " + std::to_string(header->User));
    }
    if (Fails(FakeCall::Prepare, code)) {
        return code;
    }
    header->Flags |= WaveHeaderPrepared;
    return WaveOk;
}

WaveResult FakeWavePort::UnprepareHeader(WaveHandle handle, WaveHeader* header) {
    std::lock_guard<std::mutex> g(mStateLock);
    WaveResult code = 0;
    Device* d = DeviceFor(handle);
    if (d == nullptr) {
        return ErrorBadHandle;
    }
    Log("Unprepare " + std::to_string(header->User));
    if (Fails(FakeCall::Unprepare, code)) {
        return code;
    }
    if (std::find(d->Queue.begin(), d->Queue.end(), header) != d->Queue.end()) {
        return ErrorStillPlaying;
    }
    header->Flags &= ~WaveHeaderPrepared;
    return WaveOk;
}

WaveResult FakeWavePort::AddInputBuffer(WaveHandle handle, WaveHeader* header) {
    std::lock_guard<std::mutex> g(mStateLock);
    WaveResult code = 0;
    if (handle != InputHandle || DeviceFor(handle) == nullptr) {
        return ErrorBadHandle;
    }
    if (Fails(FakeCall::AddInput, code)) {
        return code;
    }
    if ((header->Flags & WaveHeaderPrepared) == 0) {
        return ErrorNotPrepared;
    }
    header->Flags = (header->Flags & ~WaveHeaderDone) | WaveHeaderInQueue;
    header->BytesRecorded = 0;
    mIn.Queue.push_back(header);
    return WaveOk;
}

WaveResult FakeWavePort::WriteOutputBuffer(WaveHandle handle, WaveHeader* header) {
    std::lock_guard<std::mutex> g(mStateLock);
    WaveResult code = 0;
    if (handle != OutputHandle || DeviceFor(handle) == nullptr) {
        return ErrorBadHandle;
    }
    if (Fails(FakeCall::WriteOutput, code)) {
        return code;
    }
    if ((header->Flags & WaveHeaderPrepared) == 0) {
        return ErrorNotPrepared;
    }
    header->Flags = (header->Flags & ~WaveHeaderDone) | WaveHeaderInQueue;
    mOut.Queue.push_back(header);
    mWritten.append(reinterpret_cast<const char*>(header->Data), header->BufferLength);
    return WaveOk;
}

WaveResult FakeWavePort::StartInput(WaveHandle handle) {
    std::lock_guard<std::mutex> g(mStateLock);
    WaveResult code = 0;
    if (handle != InputHandle || DeviceFor(handle) == nullptr) {
        return ErrorBadHandle;
    }
    Log("StartInput");
    if (Fails(FakeCall::StartInput, code)) {
        return code;
    }
    mIn.Started = true;
    return WaveOk;
}

WaveResult FakeWavePort::Reset(WaveHandle handle) {
    std::array<WaveHeader*, 64> back{};
    std::size_t count = 0;
    WaveCallback* cb = nullptr;
    {
        std::lock_guard<std::mutex> g(mStateLock);
        WaveResult code = 0;
        Device* d = DeviceFor(handle);
        if (d == nullptr) {
            return ErrorBadHandle;
        }
        Log(handle == InputHandle ? "ResetInput" : "ResetOutput");
        if (Fails(FakeCall::Reset, code)) {
            return code;
        }
        for (WaveHeader* h : d->Queue) {
            if (count < back.size()) {
                h->Flags = (h->Flags & ~WaveHeaderInQueue) | WaveHeaderDone;
                back[count++] = h;
            }
        }
        d->Queue.clear();
        d->Started = false;
        cb = d->Callback;
    }
    for (std::size_t i = 0; i < count; ++i) {
        cb->WaveBufferDone(back[i]);
    }
    return WaveOk;
}

WaveResult FakeWavePort::Close(WaveHandle handle) {
    WaveCallback* cb = nullptr;
    {
        std::lock_guard<std::mutex> g(mStateLock);
        WaveResult code = 0;
        Device* d = DeviceFor(handle);
        if (d == nullptr) {
            return ErrorBadHandle;
        }
        Log(handle == InputHandle ? "CloseInput" : "CloseOutput");
        if (Fails(FakeCall::Close, code)) {
            return code;
        }
        if (!d->Queue.empty()) {
            return ErrorStillPlaying;
        }
        d->Open = false;
        cb = d->Callback;
    }
    cb->WaveClosed();
    return WaveOk;
}

std::string FakeWavePort::ErrorText(WaveResult code) {
    std::lock_guard<std::mutex> g(mStateLock);
    auto it = ErrorTexts.find(code);
    if (it != ErrorTexts.end()) {
        return CutErrorText(it->second);
    }
    switch (code) {
    case ErrorBadHandle:
        return "Invalid handle";
    case ErrorNotPrepared:
        return "Header not prepared";
    case ErrorStillPlaying:
        return "Still playing";
    case ErrorNoDevice:
        return "No device";
    default:
        return "Fake error " + std::to_string(code);
    }
}

std::uint64_t FakeWavePort::PlayedBytes(WaveHandle handle) {
    std::lock_guard<std::mutex> g(mStateLock);
    return handle == OutputHandle && mPlayedCount > PlayedShortfall ? mPlayedCount - PlayedShortfall
                                                                    : 0;
}

bool FakeWavePort::CompleteInput(const void* data, std::size_t size) {
    WaveHeader* h = nullptr;
    WaveCallback* cb = nullptr;
    {
        std::lock_guard<std::mutex> g(mStateLock);
        if (!mIn.Open || !mIn.Started || mIn.Queue.empty()) {
            return false;
        }
        h = mIn.Queue.front();
        mIn.Queue.erase(mIn.Queue.begin());
        const std::size_t room = h->BufferLength - h->BytesRecorded;
        const std::size_t n = std::min(size, room);
        if (n > 0) {
            std::memcpy(h->Data + h->BytesRecorded, data, n);
        }
        h->BytesRecorded += static_cast<std::uint32_t>(n);
        h->Flags = (h->Flags & ~WaveHeaderInQueue) | WaveHeaderDone;
        cb = mIn.Callback;
    }
    cb->WaveBufferDone(h);
    return true;
}

bool FakeWavePort::FillInputPartly(const void* data, std::size_t size) {
    std::lock_guard<std::mutex> g(mStateLock);
    if (!mIn.Open || mIn.Queue.empty()) {
        return false;
    }
    WaveHeader* h = mIn.Queue.front();
    const std::size_t n = std::min<std::size_t>(size, h->BufferLength - h->BytesRecorded);
    std::memcpy(h->Data + h->BytesRecorded, data, n);
    h->BytesRecorded += static_cast<std::uint32_t>(n);
    return true;
}

bool FakeWavePort::CompleteOutput() {
    WaveHeader* h = nullptr;
    WaveCallback* cb = nullptr;
    {
        std::lock_guard<std::mutex> g(mStateLock);
        if (!mOut.Open || mOut.Queue.empty()) {
            return false;
        }
        h = mOut.Queue.front();
        mOut.Queue.erase(mOut.Queue.begin());
        mPlayed.append(reinterpret_cast<const char*>(h->Data), h->BufferLength);
        mPlayedCount += h->BufferLength;
        h->Flags = (h->Flags & ~WaveHeaderInQueue) | WaveHeaderDone;
        cb = mOut.Callback;
    }
    cb->WaveBufferDone(h);
    return true;
}

std::size_t FakeWavePort::QueuedInputCount() {
    std::lock_guard<std::mutex> g(mStateLock);
    return mIn.Queue.size();
}
std::size_t FakeWavePort::QueuedOutputCount() {
    std::lock_guard<std::mutex> g(mStateLock);
    return mOut.Queue.size();
}
std::string FakeWavePort::WrittenBytes() {
    std::lock_guard<std::mutex> g(mStateLock);
    return mWritten;
}
std::string FakeWavePort::PlayedBytesSoFar() {
    std::lock_guard<std::mutex> g(mStateLock);
    return mPlayed;
}
std::vector<std::string> FakeWavePort::Calls() {
    std::lock_guard<std::mutex> g(mStateLock);
    return mCallLog;
}
PcmFormat FakeWavePort::LastFormat() {
    std::lock_guard<std::mutex> g(mStateLock);
    return mFormat;
}
std::uint32_t FakeWavePort::LastDevice() {
    std::lock_guard<std::mutex> g(mStateLock);
    return mDevice;
}
bool FakeWavePort::InputOpen() {
    std::lock_guard<std::mutex> g(mStateLock);
    return mIn.Open;
}
bool FakeWavePort::OutputOpen() {
    std::lock_guard<std::mutex> g(mStateLock);
    return mOut.Open;
}
bool FakeWavePort::MixerIsOpen() {
    std::lock_guard<std::mutex> g(mStateLock);
    return mMixerOpened;
}

// Mixer. Line identifiers: destination * 256 + source + 1 (0 for the destination line itself).

FakeWavePort::Control* FakeWavePort::FindControl(std::uint32_t id) {
    for (Destination& d : Mixer) {
        for (Control& c : d.Self.Controls) {
            if (c.Id == id) {
                return &c;
            }
        }
        for (Line& l : d.Sources) {
            for (Control& c : l.Controls) {
                if (c.Id == id) {
                    return &c;
                }
            }
        }
    }
    return nullptr;
}

FakeWavePort::Line* FakeWavePort::FindLine(std::uint32_t lineId) {
    const std::uint32_t d = lineId / 256;
    const std::uint32_t s = lineId % 256;
    if (d >= Mixer.size()) {
        return nullptr;
    }
    if (s == 0) {
        return &Mixer[d].Self;
    }
    return s - 1 < Mixer[d].Sources.size() ? &Mixer[d].Sources[s - 1] : nullptr;
}

std::array<std::uint32_t, 2> FakeWavePort::ControlValues(std::uint32_t controlId) {
    std::lock_guard<std::mutex> g(mStateLock);
    Control* c = FindControl(controlId);
    return c ? c->Values : std::array<std::uint32_t, 2>{};
}

void FakeWavePort::SetControlValues(std::uint32_t controlId, std::array<std::uint32_t, 2> values) {
    std::lock_guard<std::mutex> g(mStateLock);
    if (Control* c = FindControl(controlId)) {
        c->Values = values;
    }
}

void FakeWavePort::RaiseControlChange(std::uint32_t controlId) {
    MixerCallback* cb = nullptr;
    {
        std::lock_guard<std::mutex> g(mStateLock);
        if (!mMixerOpened) {
            return;
        }
        cb = mMixerCb;
    }
    cb->MixerControlChanged(controlId);
}

WaveResult FakeWavePort::MixerGetCaps(std::uint32_t mixer, MixerCaps& caps) {
    std::lock_guard<std::mutex> g(mStateLock);
    WaveResult code = 0;
    if (Fails(FakeCall::MixerCaps, code)) {
        return code;
    }
    if (mixer >= MixerDevices) {
        return ErrorNoDevice;
    }
    caps.Destinations = static_cast<std::uint32_t>(Mixer.size());
    caps.Name = "Fake mixer";
    return WaveOk;
}

WaveResult FakeWavePort::MixerOpen(MixerHandle& handle, std::uint32_t mixer,
                                   MixerCallback* callback) {
    std::lock_guard<std::mutex> g(mStateLock);
    WaveResult code = 0;
    Log("MixerOpen " + std::to_string(mixer));
    if (Fails(FakeCall::MixerOpen, code)) {
        return code;
    }
    if (mixer >= MixerDevices) {
        return ErrorNoDevice;
    }
    mMixerOpened = true;
    mMixerCb = callback;
    handle = TheMixerHandle;
    return WaveOk;
}

WaveResult FakeWavePort::MixerClose(MixerHandle handle) {
    std::lock_guard<std::mutex> g(mStateLock);
    if (handle != TheMixerHandle || !mMixerOpened) {
        return ErrorBadHandle;
    }
    Log("MixerClose");
    mMixerOpened = false;
    mMixerCb = nullptr;
    return WaveOk;
}

WaveResult FakeWavePort::MixerGetLineInfo(MixerHandle handle, std::uint32_t destination,
                                          std::int32_t source, MixerLineInfo& info) {
    std::lock_guard<std::mutex> g(mStateLock);
    WaveResult code = 0;
    if (handle != TheMixerHandle || !mMixerOpened) {
        return ErrorBadHandle;
    }
    if (Fails(FakeCall::MixerLineInfo, code)) {
        return code;
    }
    if (destination >= Mixer.size()) {
        return ErrorNoDevice;
    }
    const Destination& d = Mixer[destination];
    const Line* line = &d.Self;
    std::uint32_t lineId = destination * 256;
    if (source != MixerDestinationLine) {
        if (source < 0 || static_cast<std::size_t>(source) >= d.Sources.size()) {
            return ErrorNoDevice;
        }
        line = &d.Sources[static_cast<std::size_t>(source)];
        lineId += static_cast<std::uint32_t>(source) + 1;
    }
    info.Destination = destination;
    info.Source = source == MixerDestinationLine ? 0 : static_cast<std::uint32_t>(source);
    info.LineId = lineId;
    info.Channels = line->Channels;
    info.Connections =
        source == MixerDestinationLine ? static_cast<std::uint32_t>(d.Sources.size()) : 0;
    info.Controls = static_cast<std::uint32_t>(line->Controls.size());
    info.Name = line->Name;
    return WaveOk;
}

WaveResult FakeWavePort::MixerGetLineControls(MixerHandle handle, std::uint32_t lineId,
                                              std::vector<MixerControlInfo>& controls) {
    std::lock_guard<std::mutex> g(mStateLock);
    WaveResult code = 0;
    if (handle != TheMixerHandle || !mMixerOpened) {
        return ErrorBadHandle;
    }
    if (Fails(FakeCall::MixerLineControls, code)) {
        return code;
    }
    const Line* line = FindLine(lineId);
    if (line == nullptr) {
        return ErrorNoDevice;
    }
    controls.clear();
    for (const Control& c : line->Controls) {
        controls.push_back(MixerControlInfo{c.Id, c.Type, {}});
    }
    return WaveOk;
}

WaveResult FakeWavePort::MixerGetControlDetails(MixerHandle handle, std::uint32_t controlId,
                                                std::uint32_t channels, std::uint32_t* values) {
    std::lock_guard<std::mutex> g(mStateLock);
    WaveResult code = 0;
    if (handle != TheMixerHandle || !mMixerOpened) {
        return ErrorBadHandle;
    }
    if (Fails(FakeCall::MixerGet, code)) {
        return code;
    }
    Control* c = FindControl(controlId);
    if (c == nullptr || c->FailGet) {
        return ErrorNoDevice;
    }
    for (std::uint32_t i = 0; i < channels; ++i) {
        values[i] = c->Values[std::min<std::uint32_t>(i, 1)];
    }
    return WaveOk;
}

WaveResult FakeWavePort::MixerSetControlDetails(MixerHandle handle, std::uint32_t controlId,
                                                std::uint32_t channels,
                                                const std::uint32_t* values) {
    std::lock_guard<std::mutex> g(mStateLock);
    WaveResult code = 0;
    if (handle != TheMixerHandle || !mMixerOpened) {
        return ErrorBadHandle;
    }
    if (Fails(FakeCall::MixerSet, code)) {
        return code;
    }
    Control* c = FindControl(controlId);
    if (c == nullptr || c->FailSet) {
        return ErrorNoDevice;
    }
    Log("MixerSet " + std::to_string(controlId));
    for (std::uint32_t i = 0; i < channels && i < 2; ++i) {
        c->Values[i] = values[i];
    }
    return WaveOk;
}

} // namespace tellamo
