#include "codec/TrueSpeechFrame.h"

#include "codec/TrueSpeechTables.h"

namespace tellamo::truespeech {

namespace {
std::uint32_t Word(const std::uint8_t* b) {
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

void PutWord(std::uint8_t* b, std::uint32_t w) {
    for (int i = 0; i < 4; ++i) {
        b[i] = static_cast<std::uint8_t>(w >> (8 * i));
    }
}

// Pulse-count row of POS_COMB for `remaining` pulses still to place.
int CombRow(int remaining) {
    return 30 * (4 - remaining);
}
} // namespace

FrameBytesArray PackFrame(const Frame& f) {
    std::uint32_t w[8] = {};
    w[0] = (std::uint32_t{f.Lpc[7] & 7u} << 29) | (std::uint32_t{f.Lpc[6] & 7u} << 26) |
           (std::uint32_t{f.Lpc[5] & 7u} << 23) | (std::uint32_t{f.Lpc[4] & 15u} << 19) |
           (std::uint32_t{f.Lpc[3] & 15u} << 15) | (std::uint32_t{f.Lpc[2] & 15u} << 11) |
           (std::uint32_t{f.Lpc[1] & 31u} << 6) | (std::uint32_t{f.Lpc[0] & 31u} << 1) |
           (f.Interpolate & 1u);
    const std::uint32_t b0 = f.BaseLag[0];
    const std::uint32_t b1 = f.BaseLag[1];
    w[1] = ((b0 >> 4) << 28) | (std::uint32_t{f.Pitch[3] & 127u} << 21) |
           (std::uint32_t{f.Pitch[2] & 127u} << 14) | (std::uint32_t{f.Pitch[1] & 127u} << 7) |
           (f.Pitch[0] & 127u);
    w[2] =
        ((b1 & 15u) << 28) | (std::uint32_t{f.Signs[1] & 0x3FFFu} << 14) | (f.Signs[0] & 0x3FFFu);
    w[3] = ((b1 >> 4) << 28) | (std::uint32_t{f.Signs[3] & 0x3FFFu} << 14) | (f.Signs[2] & 0x3FFFu);
    for (int s = 0; s < 4; ++s) {
        w[4 + s] =
            (((b0 >> s) & 1u) << 31) | ((f.Positions[s] & 0x7FFFFFFu) << 4) | (f.Gain[s] & 15u);
    }
    FrameBytesArray out{};
    for (int k = 0; k < 8; ++k) {
        PutWord(&out[4 * k], w[k]);
    }
    return out;
}

Frame ParseFrame(const std::uint8_t* bytes) {
    std::uint32_t w[8];
    for (int k = 0; k < 8; ++k) {
        w[k] = Word(bytes + 4 * k);
    }
    Frame f;
    f.Lpc[7] = static_cast<std::uint8_t>((w[0] >> 29) & 7);
    f.Lpc[6] = static_cast<std::uint8_t>((w[0] >> 26) & 7);
    f.Lpc[5] = static_cast<std::uint8_t>((w[0] >> 23) & 7);
    f.Lpc[4] = static_cast<std::uint8_t>((w[0] >> 19) & 15);
    f.Lpc[3] = static_cast<std::uint8_t>((w[0] >> 15) & 15);
    f.Lpc[2] = static_cast<std::uint8_t>((w[0] >> 11) & 15);
    f.Lpc[1] = static_cast<std::uint8_t>((w[0] >> 6) & 31);
    f.Lpc[0] = static_cast<std::uint8_t>((w[0] >> 1) & 31);
    f.Interpolate = static_cast<std::uint8_t>(w[0] & 1);
    std::uint32_t b0 = (w[1] >> 28) << 4;
    for (int s = 0; s < 4; ++s) {
        b0 |= (w[4 + s] >> 31) << s;
        f.Positions[s] = (w[4 + s] >> 4) & 0x7FFFFFF;
        f.Gain[s] = static_cast<std::uint8_t>(w[4 + s] & 15);
        f.Pitch[s] = static_cast<std::uint8_t>((w[1] >> (7 * s)) & 127);
    }
    f.BaseLag[0] = static_cast<std::uint8_t>(b0);
    f.BaseLag[1] = static_cast<std::uint8_t>((w[2] >> 28) | ((w[3] >> 28) << 4));
    f.Signs[0] = static_cast<std::uint16_t>(w[2] & 0x3FFF);
    f.Signs[1] = static_cast<std::uint16_t>((w[2] >> 14) & 0x3FFF);
    f.Signs[2] = static_cast<std::uint16_t>(w[3] & 0x3FFF);
    f.Signs[3] = static_cast<std::uint16_t>((w[3] >> 14) & 0x3FFF);
    return f;
}

bool FrameIsSafe(const Frame& f) {
    for (int s = 0; s < 4; ++s) {
        if ((f.Positions[s] >> 15) >= FirstHalfCodes ||
            (f.Positions[s] & 0x7FFF) >= SecondHalfCodes) {
            return false;
        }
        if (f.Pitch[s] != NoPitch && f.BaseLag[s / 2] + 18 + f.Pitch[s] / 25 > MaxLag) {
            return false;
        }
    }
    return true;
}

std::uint32_t EncodePositions(const int* offsets, int count) {
    std::uint32_t code = 0;
    int remaining = count;
    int next = 0;
    for (int i = 0; i < 30 && remaining > 0; ++i) {
        if (offsets[next] == i) {
            ++next;
            --remaining;
        } else {
            code += static_cast<std::uint32_t>(PosComb[CombRow(remaining) + i]);
        }
    }
    return code;
}

int DecodePositions(std::uint32_t code, int count, int* offsets) {
    int remaining = count;
    int placed = 0;
    for (int i = 0; i < 30 && remaining > 0; ++i) {
        const auto t = static_cast<std::uint32_t>(PosComb[CombRow(remaining) + i]);
        if (code >= t) {
            code -= t;
        } else {
            offsets[placed++] = i;
            --remaining;
        }
    }
    return placed;
}

} // namespace tellamo::truespeech
