#include "audio/Audio.h"

#include "common/Errors.h"

namespace tellamo {

TAudio::TAudio(WavePort& port, WindowPoster& poster, std::string playFilePath)
    : mPort(port), mPoster(poster), mRecorder(*this), mPlayer(*this, std::move(playFilePath)),
      mMixer(*this) {
    mMixer.SetMixerOpen(mMixer.Discover(static_cast<std::uint32_t>(mMixerDeviceID)));
    if (mPort.InputDeviceCount() > 0 && mRecorder.AllocateBuffers() &&
        mPort.OutputDeviceCount() > 0) {
        mPlayer.AllocateBuffers();
    }
}

TAudio::~TAudio() {
    try {
        mPlayer.Stop();
    } catch (...) {
        // the play file is only ever read here; nothing to report on the way out
    }
    try {
        mRecorder.Stop();
    } catch (...) {
        // a recording that cannot be completed on the way out has nobody left to tell
    }
    mMixer.Release();
    mRecorder.FreeBuffers();
    mPlayer.FreeBuffers();
}

void TAudio::SetAudioDeviceID(std::uint32_t value) {
    if (value == mAudioDeviceID) {
        return;
    }
    mAudioDeviceID = value < 10 ? value : WaveMapper;
    mRecorder.ReallocateBuffers();
    mPlayer.ReallocateBuffers();
}

void TAudio::SetMixerDeviceID(std::int32_t value) {
    if (value == mMixerDeviceID) {
        return;
    }
    mMixerDeviceID = value;
    mMixer.SetMixerOpen(mMixer.Discover(static_cast<std::uint32_t>(value)));
}

bool TAudio::QueryEndSession() {
    mPlayer.Stop();
    try {
        mRecorder.Stop();
    } catch (const TellamoError& e) {
        ErrorMessage = e.what();
    }
    return true;
}

} // namespace tellamo
