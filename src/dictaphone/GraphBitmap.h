#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <QImage>

#include "dictaphone/GraphSurface.h"

namespace tellamo {

class FileSystem;

// A picture with 4 bits per pixel over the 16 standard colours: the in-memory form of a graph
// file, and a drawing surface while the graph is built. Rows are kept top-down, two pixels per
// byte with the left pixel in the high nibble, each row (Width + 1) / 2 bytes long.
//
// Graph file format (what SaveGraphFile writes and LoadGraphFile accepts): an uncompressed
// Windows bitmap of 600 x 256 pixels, 76918 bytes:
//   0   file header, 14 bytes: "BM", file size 76918, two reserved words (the first is
//       GraphFileMagnitudeMark, the second 0), pixel offset 118
//   14  information header, 40 bytes: size 40, width 600, height 256 (positive: rows bottom-up),
//       1 plane, 4 bits per pixel, no compression, image size 76800, 3780 pixels per metre
//       (96 dpi) both ways, 16 colours used, 16 important
//   54  colour table: the 16 standard colours in their fixed order, as blue, green, red, 0
//   118 the rows, bottom row first, 300 bytes each
class GraphBitmap final : public GraphSurface {
public:
    GraphBitmap() = default;
    GraphBitmap(int width, int height); // filled with colour index 0

    int Width() const { return mW; }
    int Height() const { return mH; }
    int RowBytes() const { return (mW + 1) / 2; }
    // The colour index (0..15) of a pixel inside the picture.
    int IndexAt(int x, int y) const;
    ColorValue ColorAt(int x, int y) const { return StandardColors[IndexAt(x, y)]; }
    const std::vector<std::uint8_t>& Pixels() const { return mBits; }
    std::uint8_t* RowData(int y) { return mBits.data() + static_cast<std::size_t>(y) * RowBytes(); }

    int SurfaceWidth() const override { return mW; }
    int SurfaceHeight() const override { return mH; }
    void Fill(ColorValue color) override;
    void SetPixel(int x, int y, ColorValue color) override;
    void VerticalRun(int x, int y0, int yEnd, ColorValue color) override;

    // Doubles the height: the old rows stay on top and the new lower half is the upper half
    // upside down, so that bars standing on the bottom edge become a symmetric envelope.
    void MirrorGraph();
    // Halves the height (integer division), keeping the top rows: undoes MirrorGraph exactly.
    void UnmirrorGraph();

    friend bool operator==(const GraphBitmap& a, const GraphBitmap& b) {
        return a.mW == b.mW && a.mH == b.mH && a.mBits == b.mBits;
    }

private:
    void PutIndex(int x, int y, int index);

    int mW = 0;
    int mH = 0;
    std::vector<std::uint8_t> mBits;
};

constexpr int GraphFileWidth = 600;
constexpr int GraphFileHeight = 256;
constexpr std::size_t GraphFileSize = 76918;

// Graph files whose bars are the mean magnitudes of the samples carry this value in the first
// reserved word of their file header, where other readers see only a field they ignore. Files
// without it were drawn from the mean of the signed values (almost flat for speech) and are
// drawn again when they are next shown.
constexpr std::uint16_t GraphFileMagnitudeMark = 1;

// The bytes of a graph file for a 600 x 256 picture. Throws TellamoError for another size.
std::string EncodeGraphFile(const GraphBitmap& bitmap);
// Checks every header field and the colour table and decodes the picture. Throws TellamoError
// naming the file (fileName is only used in the message) and what is wrong with it. Tells, when
// asked, whether the file carries GraphFileMagnitudeMark.
GraphBitmap DecodeGraphFile(std::string_view bytes, const std::string& fileName,
                            bool* drawnFromMagnitudes = nullptr);

// Replaces the file at path with the picture, through a temporary file beside it, so that a
// failed save never leaves a half-written graph behind. Throws TellamoError.
void SaveGraphFile(const GraphBitmap& bitmap, const std::string& path, FileSystem& fs);
void SaveGraphFile(const GraphBitmap& bitmap, const std::string& path);
// Throws TellamoError when the file cannot be read or is not a graph file.
GraphBitmap LoadGraphFile(const std::string& path, bool* drawnFromMagnitudes = nullptr);

// The picture as a 32-bit image for display.
QImage GraphBitmapToImage(const GraphBitmap& bitmap);

// The rows of a graph that its bars reach, for showing it fitted to a panel's height rather than
// squeezed whole into it: from a little above the highest bar down to the bottom row (bars
// standing on it), or as far either side of the middle row (a mirrored graph). Never less than an
// eighth of the picture, so that a near-silent note is not blown up into bars of noise; the whole
// picture when it holds nothing but the background. Returns the first row and the row count.
std::pair<int, int> GraphContentRows(const GraphBitmap& bitmap, ColorValue background,
                                     bool mirrored);

} // namespace tellamo
