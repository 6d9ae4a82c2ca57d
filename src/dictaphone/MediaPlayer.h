#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/WavFormat.h"
#include "audio/WavePort.h"
#include "audio/WindowPoster.h"

namespace tellamo {

// Plays one WAV file through the wave-out port, the way the playback workflow drives it: open by
// file name, play from a position, pause and resume, stop, seek in milliseconds, and report the
// position (from what the device has actually played), the length and the mode. Errors are raised
// as TellamoError: "No MCI device open" for a command without an open file, and the device's own
// words when it cannot be opened.
//
// Threads: every call on the window thread. The device thread only posts "a buffer came back";
// the window thread reads the file and writes the next buffer. A generation number in each post
// lets the window thread ignore buffers that a pause, stop or seek has already taken back.
class TMediaPlayer final : public WaveCallback, public PostTarget {
public:
    enum class Mode { NotOpen, Stopped, Playing, Paused };

    TMediaPlayer(WavePort& port, WindowPoster& poster);
    ~TMediaPlayer() override;
    TMediaPlayer(const TMediaPlayer&) = delete;
    TMediaPlayer& operator=(const TMediaPlayer&) = delete;

    // Closes a file that is open, then opens this one and its output device.
    void Open(const std::string& fileName);
    // Plays from the current position; at the end, from the start.
    void Play();
    // Playing: pause; paused: resume; otherwise nothing.
    void PauseToggle();
    void Stop();
    void Seek(std::uint32_t milliseconds);
    std::uint32_t Position();
    std::uint32_t Length() const;
    Mode CurrentMode() const { return State; }
    void Close();
    bool IsOpen() const { return State != Mode::NotOpen; }

    // WaveCallback (device thread)
    void WaveOpened() override {}
    void WaveBufferDone(WaveHeader* header) override;
    void WaveClosed() override {}
    // PostTarget (window thread)
    void HandlePost(std::uint32_t message, std::intptr_t param) override;

private:
    static constexpr int Slots = 4;
    void RequireOpen() const;
    void StartDevice();
    void HaltDevice(); // takes every buffer back; the position stays where the device was
    void Feed(int slot);
    // Playing, with every byte written and every buffer back: the note has played to its end,
    // and the mode becomes Stopped at the length, as a media device reports it.
    void EndIfAllPlayed();
    std::uint64_t BytesToMs(std::uint64_t bytes) const;

    WavePort& Port;
    WindowPoster& Poster;
    WaveHandle Handle = 0;
    int FileFd = -1;
    WaveInfo Info;
    std::uint32_t BlockAlign = 1;
    std::uint32_t BytesPerSecond = 1;
    Mode State = Mode::NotOpen;
    std::uint64_t StartByte = 0;    // data offset where the current play began
    std::uint64_t PlayedBase = 0;   // the port's played count when it began
    std::uint64_t NextByte = 0;     // data offset of the next chunk to write
    std::uint64_t HeldPosition = 0; // position in bytes while not playing
    int InFlight = 0;               // buffers of this play written and not yet back
    std::array<WaveHeader, Slots> Headers{};
    std::array<std::vector<unsigned char>, Slots> Buffers;
    // Written on the window thread, read by the device thread to tag its posts.
    std::atomic<std::uint32_t> Generation{0};
};

} // namespace tellamo
