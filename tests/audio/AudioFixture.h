#pragma once

#include <memory>
#include <string>

#include "audio/Audio.h"
#include "audio/WindowPoster.h"
#include "support/FakeWavePort.h"
#include "support/TempDir.h"

namespace tellamo::test {

// The audio component over the scripted port, with a poster the test drains itself.
struct AudioFixture {
    TempDir Dir;
    FakeWavePort Port;
    EventFdPoster Poster;
    std::unique_ptr<TAudio> Audio;

    AudioFixture() = default;
    void Create() { Audio = std::make_unique<TAudio>(Port, Poster, Dir.File("PLAY.TMP")); }
    TRecorder& Rec() { return Audio->Recorder(); }
    TPlayer& Play() { return Audio->Player(); }
};

} // namespace tellamo::test
