#pragma once

#include <cstdint>

#include "dictaphone/GraphSettings.h"
#include "dictaphone/GraphSurface.h"
#include "dictaphone/LiveGraphFeed.h"

namespace tellamo {

// The drawing state of the level graphs, shared by the live graph and the building of graph
// files. One exists for the program, owned by the main window.
//
// Thread rule: window thread only. The capture thread never draws; it hands each accepted
// buffer to the window thread through LiveGraphFeed, and the window thread calls
// DrawBufferGraph. Only one Target exists at a time (graph files are only built while idle).
struct GraphState {
    GraphSurface* Target = nullptr; // not owned
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    double Position = 0;            // drawing position in pixel columns, grows without bound
    double Scale = 0;               // pixels per sample unit: Height / FullScale
    std::int32_t CurrentColumn = 0; // column whose bar is being gathered
    std::int32_t ColumnPeak = 0;    // largest |sample| since the position entered CurrentColumn
    ColorValue Pen = ColorYellow;
};

// Full scale of a sample size: 65535 for 16-bit, 255 for 8-bit samples.
constexpr double FullScale(bool sixteenBit) {
    return sixteenBit ? 65535.0 : 255.0;
}

// Makes target the Target, resets the position and the column state, then ResizeGraph.
void ClearGraph(GraphState& state, GraphSurface* target, int width, int height,
                const GraphSettings& settings);
// Sets Width and Height and fills the whole Target with the background colour; the position
// and the column being gathered stay as they are, so drawing goes on where it was.
void ResizeGraph(GraphState& state, int width, int height, const GraphSettings& settings);
// The row of a level: centred on (Height - 1) / 2 when bi-directional, standing on the bottom
// row otherwise. Rows outside the surface are legal; drawing clips them.
int LevelToY(const GraphState& state, std::int32_t level, bool biDirectional);
// One bar of the given level in the current pen colour.
void DrawLevelColumn(GraphState& state, int column, std::int32_t level, bool biDirectional);
// Draws one recorder buffer into the live graph: mono samples, 8-bit unsigned or 16-bit signed
// little-endian; byteCount bytes at samples. The column in progress at the end of the buffer is
// carried over to the next one. A surface of no width or height advances the position only.
void DrawBufferGraph(GraphState& state, const GraphSettings& settings, const void* samples,
                     std::uint16_t byteCount, bool sixteenBit, std::uint16_t sampleRate);

// Window thread: draws every buffer the capture thread has handed over since the last call, in
// order, with the settings as they are now. Returns the number of buffers drawn.
std::size_t DrawFedBuffers(LiveGraphFeed& feed, GraphState& state, const GraphSettings& settings);

} // namespace tellamo
