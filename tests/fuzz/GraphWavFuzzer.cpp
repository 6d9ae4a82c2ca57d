// libFuzzer target for the graph reader that draws a note's WAV file: any file draws a graph
// over the whole width without a crash, an out-of-bounds access or undefined behaviour. The
// clock moves on by a millisecond at every look, so columns are also cut short, and a header
// that claims gigabytes the file does not hold is drawn quickly.

#include <cstdint>
#include <cstdlib>

#include "FuzzFile.h"
#include "dictaphone/GraphBitmap.h"
#include "dictaphone/GraphFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tellamo;
    const std::string path = fuzz::WriteFuzzFile("note.wav", data, size);
    GraphSettings settings;
    settings.BiDirectional = size % 2 == 0;
    GraphBitmap bitmap(GraphFileWidth, GraphFileHeight);
    GraphState state;
    ClearGraph(state, &bitmap, GraphFileWidth, GraphFileHeight, settings);
    double now = 0;
    const WavGraphStats stats = DrawWavGraph(state, settings, path, [&now] { return now += 1; });
    const WavGraphInfo info = ReadWavInfo(path);
    if (!info.Readable || info.FileSize != size ||
        stats.ColumnsDrawn != (info.DataSize == 0 ? 0 : GraphFileWidth)) {
        std::abort();
    }
    return 0;
}
