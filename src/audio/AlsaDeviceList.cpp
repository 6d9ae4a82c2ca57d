#include "audio/AlsaDeviceList.h"

#include <alsa/asoundlib.h>

namespace tellamo::alsa {

namespace {
constexpr std::size_t MaxDevices = 10;

snd_pcm_stream_t Stream(bool capture) {
    return capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
}
} // namespace

std::vector<std::string> CardDevices(bool capture) {
    std::vector<std::string> names;
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        snd_ctl_t* ctl = nullptr;
        const std::string ctlName = "hw:" + std::to_string(card);
        if (snd_ctl_open(&ctl, ctlName.c_str(), 0) < 0) {
            continue;
        }
        snd_pcm_info_t* info = nullptr;
        snd_pcm_info_malloc(&info);
        int dev = -1;
        while (snd_ctl_pcm_next_device(ctl, &dev) == 0 && dev >= 0) {
            snd_pcm_info_set_device(info, static_cast<unsigned>(dev));
            snd_pcm_info_set_subdevice(info, 0);
            snd_pcm_info_set_stream(info, Stream(capture));
            if (snd_ctl_pcm_info(ctl, info) >= 0) {
                names.push_back("plughw:" + std::to_string(card) + "," + std::to_string(dev));
            }
        }
        snd_pcm_info_free(info);
        snd_ctl_close(ctl);
    }
    if (names.size() > MaxDevices) {
        names.resize(MaxDevices);
    }
    return names;
}

std::uint32_t DeviceCount(bool capture) {
    const std::size_t cards = CardDevices(capture).size();
    if (cards > 0) {
        return static_cast<std::uint32_t>(cards);
    }
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", Stream(capture), SND_PCM_NONBLOCK) < 0) {
        return 0;
    }
    snd_pcm_close(pcm);
    return 1;
}

std::string DeviceName(bool capture, std::uint32_t device) {
    if (device == WaveMapper) {
        return "default";
    }
    const std::vector<std::string> cards = CardDevices(capture);
    if (device < cards.size()) {
        return cards[device];
    }
    if (cards.empty() && device == 0 && DeviceCount(capture) == 1) {
        return "default";
    }
    return {};
}

} // namespace tellamo::alsa
