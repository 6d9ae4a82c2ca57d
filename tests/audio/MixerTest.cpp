#include <thread>
#include <tuple>

#include <gtest/gtest.h>

#include "audio/AudioFixture.h"

namespace tellamo {
namespace {

using Line = FakeWavePort::Line;
using Control = FakeWavePort::Control;
constexpr auto Vol = MixerControlType::Volume;
constexpr auto Mute = MixerControlType::Mute;

// A mixer with a playback destination of three sources and a capture destination of one.
struct MixerFixture : test::AudioFixture {
    std::vector<std::tuple<TMixerSettings*, std::uint16_t, std::uint16_t>> Changes;

    MixerFixture() {
        Port.Mixer = {
            {Line{"Master", 2, {Control{Vol, 1, {40000, 30000}}, Control{Mute, 2, {1, 0}}}},
             {
                 Line{"PCM", 1, {Control{Vol, 3, {1234, 0}}}},
                 Line{"Line",
                      2,
                      {Control{Mute, 4, {0, 0}}, Control{Mute, 5, {1, 0}}, Control{Vol, 6, {1, 2}},
                       Control{MixerControlType::Other, 10, {}}, Control{Vol, 7, {3, 4}}}},
                 Line{"Beep", 2, {}},
             }},
            {Line{"Capture", 2, {Control{Vol, 8, {70000, 65535}}, Control{Mute, 9, {0, 0}}}},
             {Line{"Mic", 2, {Control{Mute, 11, {1, 0}, true}}}}},
        };
    }

    void Make() {
        Create();
        Audio->OnMixerChange = [this](TMixerSettings* m, std::uint16_t d, std::uint16_t s) {
            Changes.emplace_back(m, d, s);
        };
    }
    TMixerSettings& Mixer() { return Audio->Mixer(); }
};

TEST(TMixerSettings, DiscoveryListsEveryLineWithItsControls) {
    MixerFixture f;
    f.Make();
    ASSERT_TRUE(f.Mixer().MixerOpen());
    const auto& lines = f.Mixer().Lines();
    struct Expect {
        std::uint16_t d, s;
        std::uint32_t vol, mute;
        std::uint16_t left, right;
        bool muted, single;
    };
    const Expect expected[] = {
        {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, false, false}, // the head node
        {0, 0, 1, 2, 40000, 30000, true, false},
        {0, 1, 3, 0xFFFF, 1234, 0, false, true},
        {0, 2, 7, 4, 3, 4, false, false}, // the last volume, the first mute
        {0, 3, 0xFFFF, 0xFFFF, 0, 0, false, false},
        {1, 0, 8, 9, 65535, 65535, false, false},   // values above 65535 are cut to it
        {1, 1, 0xFFFF, 0xFFFF, 0, 0, false, false}, // a mute that cannot be read is ignored
    };
    ASSERT_EQ(lines.size(), std::size(expected));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const TMixDetails& n = lines[i];
        const Expect& e = expected[i];
        EXPECT_EQ(n.Destination, e.d) << i;
        EXPECT_EQ(n.Source, e.s) << i;
        EXPECT_EQ(n.VolumeID, e.vol) << i;
        EXPECT_EQ(n.MuteID, e.mute) << i;
        EXPECT_EQ(n.LeftVolume, e.left) << i;
        EXPECT_EQ(n.RightVolume, e.right) << i;
        EXPECT_EQ(n.Muted, e.muted) << i;
        EXPECT_EQ(n.SingleChannel, e.single) << i;
    }
}

TEST(TMixerSettings, DiscoveryFailures) {
    const struct {
        std::uint32_t mixers;
        FakeCall call;
        int skip;
        bool open;
        std::size_t lines;
    } cases[] = {
        {0, FakeCall::MixerGet, 0, false, 0},
        {1, FakeCall::MixerCaps, 0, false, 0},
        {1, FakeCall::MixerOpen, 0, false, 0},
        {1, FakeCall::MixerLineInfo, 2, false, 3},    // the second source of destination 0
        {1, FakeCall::MixerLineControls, 0, true, 7}, // Master keeps no controls
    };
    for (const auto& c : cases) {
        MixerFixture f;
        f.Port.MixerDevices = c.mixers;
        if (c.mixers > 0) {
            f.Port.Fail(c.call, -3, c.skip);
        }
        f.Make();
        EXPECT_EQ(f.Mixer().MixerOpen(), c.open);
        EXPECT_EQ(f.Mixer().Lines().size(), c.lines);
        std::uint16_t l = 0, r = 0;
        bool m = false;
        f.Audio->ErrorMessage = "before";
        if (!c.open) {
            EXPECT_FALSE(f.Mixer().SetVolume(0, 0, 1, 1, false));
            EXPECT_FALSE(f.Mixer().GetVolume(0, 0, l, r, m));
            EXPECT_EQ(f.Audio->ErrorMessage, "before");
        } else {
            EXPECT_EQ(f.Mixer().Lines()[1].VolumeID, 0xFFFFu);
        }
    }
}

TEST(TMixerSettings, SetAndGetVolume) {
    MixerFixture f;
    f.Make();
    TMixerSettings& m = f.Mixer();
    EXPECT_TRUE(m.SetVolume(0, 0, 100, 200, false));
    EXPECT_EQ(f.Port.ControlValues(1), (std::array<std::uint32_t, 2>{100, 200}));
    EXPECT_EQ(f.Port.ControlValues(2)[0], 0u);
    std::uint16_t l = 0, r = 0;
    bool muted = true;
    f.Port.SetControlValues(2, {1, 0});
    EXPECT_TRUE(m.GetVolume(0, 0, l, r, muted));
    EXPECT_EQ(l, 100);
    EXPECT_EQ(r, 200);
    EXPECT_TRUE(muted);

    // A line without a mute control: its volume can be set, but not read successfully.
    EXPECT_TRUE(m.SetVolume(0, 1, 555, 666, true));
    EXPECT_EQ(f.Port.ControlValues(3)[0], 555u);
    l = r = 0;
    EXPECT_FALSE(m.GetVolume(0, 1, l, r, muted));
    EXPECT_EQ(f.Audio->ErrorMessage, "Mute GetControlError in Mixer");
    EXPECT_EQ(l, 555);
    EXPECT_EQ(r, 555); // a single channel gives both
    // A line without any control reads nothing.
    EXPECT_FALSE(m.GetVolume(0, 3, l, r, muted));
    EXPECT_EQ(f.Audio->ErrorMessage, "Volume GetControlError in Mixer");
    EXPECT_TRUE(m.SetVolume(0, 3, 1, 1, true));
    // A pair no node has: false, message untouched.
    f.Audio->ErrorMessage = "kept";
    EXPECT_FALSE(m.SetVolume(0, 9, 1, 1, false));
    EXPECT_FALSE(m.GetVolume(5, 0, l, r, muted));
    EXPECT_EQ(f.Audio->ErrorMessage, "kept");
}

TEST(TMixerSettings, ControlFailures) {
    MixerFixture f;
    f.Make();
    TMixerSettings& m = f.Mixer();
    f.Port.Fail(FakeCall::MixerSet, -3);
    EXPECT_FALSE(m.SetVolume(0, 0, 1, 2, true));
    EXPECT_EQ(f.Audio->ErrorMessage, "Volume SetControlError in Mixer");
    EXPECT_EQ(f.Port.ControlValues(2)[0], 1u); // the mute was not written
    f.Port.Fail(FakeCall::MixerSet, -3, 1);
    EXPECT_FALSE(m.SetVolume(0, 0, 7, 8, false));
    EXPECT_EQ(f.Audio->ErrorMessage, "Mute SetControlError in Mixer");
    EXPECT_EQ(f.Port.ControlValues(1), (std::array<std::uint32_t, 2>{7, 8}));
    std::uint16_t l = 11, r = 12;
    bool muted = false;
    f.Port.Fail(FakeCall::MixerGet, -3);
    EXPECT_FALSE(m.GetVolume(0, 0, l, r, muted));
    EXPECT_EQ(f.Audio->ErrorMessage, "Volume GetControlError in Mixer");
    EXPECT_EQ(l, 11); // no output set
    EXPECT_EQ(r, 12);
}

TEST(TMixerSettings, ChangesOfWatchedControlsReachTheWindowThread) {
    MixerFixture f;
    f.Make();
    std::thread watcher([&] {
        f.Port.RaiseControlChange(2);  // Master's mute
        f.Port.RaiseControlChange(7);  // Line's volume
        f.Port.RaiseControlChange(6);  // Line's first volume: not watched
        f.Port.RaiseControlChange(99); // no line has it
        f.Port.RaiseControlChange(8);
    });
    watcher.join();
    EXPECT_TRUE(f.Changes.empty()); // nothing before the window thread runs
    f.Poster.ProcessPending();
    using C = std::tuple<TMixerSettings*, std::uint16_t, std::uint16_t>;
    EXPECT_EQ(f.Changes,
              (std::vector<C>{C{&f.Mixer(), 0, 0}, C{&f.Mixer(), 0, 2}, C{&f.Mixer(), 1, 0}}));
}

TEST(TMixerSettings, ReleaseAndRediscovery) {
    MixerFixture f;
    f.Port.MixerDevices = 2;
    f.Make();
    f.Audio->SetMixerDeviceID(1);
    EXPECT_TRUE(f.Mixer().MixerOpen());
    EXPECT_EQ(f.Mixer().Lines().size(), 7u);
    f.Audio->SetMixerDeviceID(5);
    EXPECT_FALSE(f.Mixer().MixerOpen());
    EXPECT_FALSE(f.Port.MixerIsOpen());
    f.Audio->SetMixerDeviceID(0);
    EXPECT_TRUE(f.Port.MixerIsOpen());
    f.Port.RaiseControlChange(1);
    f.Audio.reset(); // a pending change must not reach a mixer that is gone
    EXPECT_FALSE(f.Port.MixerIsOpen());
    f.Poster.ProcessPending();
    EXPECT_TRUE(f.Changes.empty());
}

} // namespace
} // namespace tellamo
