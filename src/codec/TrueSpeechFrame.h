#pragma once

#include <array>
#include <cstdint>

namespace tellamo::truespeech {

constexpr int FrameSamples = 240;
constexpr int SubframeSamples = 60;
constexpr int FrameBytes = 32;
constexpr int SampleRate = 8000;

// Largest pitch lag that every decoder handles: older decoders read outside their history for
// base lag + 18 + offset > 145, so an encoder must never send such a combination.
constexpr int MaxLag = 145;
constexpr int NoPitch = 127;           // pitch code meaning "no long-term prediction"
constexpr int FirstHalfCodes = 4060;   // C(30,3): valid 3-of-30 position codes
constexpr int SecondHalfCodes = 27405; // C(30,4): valid 4-of-30 position codes

// The fields of one 32-byte frame, each as an unsigned number of its bit width. Parsing never
// fails: every bit pattern is a frame, even if some carry values an encoder must not emit.
struct Frame {
    std::array<std::uint8_t, 8> Lpc{};        // L0..L7: indices into LPC_CB0..LPC_CB7
    std::uint8_t Interpolate = 0;             // I
    std::array<std::uint8_t, 2> BaseLag{};    // B0 (subframes 0, 1), B1 (subframes 2, 3)
    std::array<std::uint8_t, 4> Pitch{};      // P0..P3, 0..127
    std::array<std::uint16_t, 4> Signs{};     // A0..A3, 14 bits: seven 2-bit pulse codes
    std::array<std::uint32_t, 4> Positions{}; // Q0..Q3, 27 bits: (3-of-30 << 15) | 4-of-30
    std::array<std::uint8_t, 4> Gain{};       // G0..G3, 0..15

    friend bool operator==(const Frame&, const Frame&) = default;
};

using FrameBytesArray = std::array<std::uint8_t, FrameBytes>;

// Fields of the frame in the stored byte order (eight little-endian 32-bit words).
FrameBytesArray PackFrame(const Frame& frame);
Frame ParseFrame(const std::uint8_t* bytes);

// Bit widths of the fields, for range checks and tests.
constexpr int LpcBits[8] = {5, 5, 4, 4, 4, 3, 3, 3};

// True when every field is one an encoder may emit: position codes within C(30,3) and C(30,4),
// and base lag plus pitch offset within MaxLag in every subframe that predicts.
bool FrameIsSafe(const Frame& frame);

// Enumerative position codes of one half-subframe of 30 samples. `offsets` are count distinct
// offsets 0..29 in ascending order; count is 3 or 4. The code is below C(30, count).
std::uint32_t EncodePositions(const int* offsets, int count);
// Inverse of EncodePositions for a valid code: writes count ascending offsets. Returns the
// number written, which is smaller than count when the code is out of range.
int DecodePositions(std::uint32_t code, int count, int* offsets);

} // namespace tellamo::truespeech
