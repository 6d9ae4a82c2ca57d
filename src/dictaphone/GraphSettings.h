#pragma once

#include <array>
#include <cstdint>

namespace tellamo {

// Colour values are 0x00BBGGRR. The level graphs only ever use the 16 standard colours, in this
// fixed order, which is also the colour table of a graph file.
using ColorValue = std::uint32_t;

constexpr ColorValue ColorBlack = 0x000000;
constexpr ColorValue ColorMaroon = 0x000080;
constexpr ColorValue ColorGreen = 0x008000;
constexpr ColorValue ColorOlive = 0x008080;
constexpr ColorValue ColorNavy = 0x800000;
constexpr ColorValue ColorPurple = 0x800080;
constexpr ColorValue ColorTeal = 0x808000;
constexpr ColorValue ColorGray = 0x808080;
constexpr ColorValue ColorSilver = 0xC0C0C0;
constexpr ColorValue ColorRed = 0x0000FF;
constexpr ColorValue ColorLime = 0x00FF00;
constexpr ColorValue ColorYellow = 0x00FFFF;
constexpr ColorValue ColorBlue = 0xFF0000;
constexpr ColorValue ColorFuchsia = 0xFF00FF;
constexpr ColorValue ColorAqua = 0xFFFF00;
constexpr ColorValue ColorWhite = 0xFFFFFF;

constexpr std::array<ColorValue, 16> StandardColors = {
    ColorBlack, ColorMaroon,  ColorGreen,  ColorOlive, ColorNavy, ColorPurple,
    ColorTeal,  ColorGray,    ColorSilver, ColorRed,   ColorLime, ColorYellow,
    ColorBlue,  ColorFuchsia, ColorAqua,   ColorWhite};

// The index of a colour in StandardColors. Any other value (which the options never produce)
// maps to the nearest standard colour, so that a hand-edited settings file cannot break drawing.
int StandardColorIndex(ColorValue color);

// What the level graphs read at the start of every drawing pass. The main window fills it from
// its actions and the options dialog; the drawing code only reads it. The initial values are the
// first-run values.
struct GraphSettings {
    ColorValue BackgroundColor = ColorNavy;
    ColorValue VoiceColor = ColorYellow;
    ColorValue NoiseLevelColor = ColorAqua;
    int Velocity = 20;          // pixels per second of sound, 1..100
    bool BiDirectional = true;  // BiDirectionalAction.Checked
    bool Silence = false;       // SilenceAction.Checked ("Stop record when silence")
    int NoiseLevelPercent = 10; // 0..30
};

// The recorder's trigger level in sample units: percent / 100 of 32767 (16-bit) or 127 (8-bit),
// rounded halves to even.
std::int32_t NoiseLevel(int percent, bool sixteenBit);

} // namespace tellamo
