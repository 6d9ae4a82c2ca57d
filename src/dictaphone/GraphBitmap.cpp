#include "dictaphone/GraphBitmap.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/ByteIO.h"
#include "common/Errors.h"
#include "common/FileSystem.h"
#include "common/Files.h"

namespace tellamo {

namespace {
constexpr std::uint32_t FileHeaderSize = 14;
constexpr std::uint32_t InfoHeaderSize = 40;
constexpr std::uint32_t ColorTableSize = 16 * 4;
constexpr std::uint32_t PixelOffset = FileHeaderSize + InfoHeaderSize + ColorTableSize;
constexpr std::uint32_t FileRowBytes = GraphFileWidth / 2;
constexpr std::uint32_t ImageSize = FileRowBytes * GraphFileHeight;
constexpr std::uint32_t PixelsPerMetre = 3780;
static_assert(PixelOffset + ImageSize == GraphFileSize);
} // namespace

GraphBitmap::GraphBitmap(int width, int height)
    : mW(std::max(width, 0)), mH(std::max(height, 0)),
      mBits(static_cast<std::size_t>(RowBytes()) * static_cast<std::size_t>(mH), 0) {}

int GraphBitmap::IndexAt(int x, int y) const {
    const std::uint8_t byte = mBits[static_cast<std::size_t>(y) * RowBytes() + x / 2];
    return (x % 2 == 0) ? byte >> 4 : byte & 0x0F;
}

void GraphBitmap::PutIndex(int x, int y, int index) {
    std::uint8_t& byte = mBits[static_cast<std::size_t>(y) * RowBytes() + x / 2];
    if (x % 2 == 0) {
        byte = static_cast<std::uint8_t>((byte & 0x0F) | (index << 4));
    } else {
        byte = static_cast<std::uint8_t>((byte & 0xF0) | index);
    }
}

void GraphBitmap::Fill(ColorValue color) {
    const int index = StandardColorIndex(color);
    std::fill(mBits.begin(), mBits.end(), static_cast<std::uint8_t>(index * 0x11));
}

void GraphBitmap::SetPixel(int x, int y, ColorValue color) {
    if (x < 0 || y < 0 || x >= mW || y >= mH) {
        return;
    }
    PutIndex(x, y, StandardColorIndex(color));
}

void GraphBitmap::VerticalRun(int x, int y0, int yEnd, ColorValue color) {
    if (x < 0 || x >= mW || y0 == yEnd) {
        return;
    }
    const int first = std::max(y0 < yEnd ? y0 : yEnd + 1, 0);
    const int last = std::min(y0 < yEnd ? yEnd - 1 : y0, mH - 1);
    const int index = StandardColorIndex(color);
    for (int y = first; y <= last; ++y) {
        PutIndex(x, y, index);
    }
}

void GraphBitmap::MirrorGraph() {
    if (mH > INT_MAX / 2) {
        return;
    }
    const std::size_t row = static_cast<std::size_t>(RowBytes());
    mBits.resize(row * static_cast<std::size_t>(2 * mH));
    for (int r = 0; r < mH; ++r) {
        std::memcpy(&mBits[row * static_cast<std::size_t>(2 * mH - 1 - r)],
                    &mBits[row * static_cast<std::size_t>(r)], row);
    }
    mH *= 2;
}

void GraphBitmap::UnmirrorGraph() {
    mH /= 2;
    mBits.resize(static_cast<std::size_t>(RowBytes()) * static_cast<std::size_t>(mH));
}

std::string EncodeGraphFile(const GraphBitmap& bitmap) {
    if (bitmap.Width() != GraphFileWidth || bitmap.Height() != GraphFileHeight) {
        throw TellamoError("A graph picture must be 600 x 256 pixels to be saved");
    }
    std::string out;
    out.reserve(GraphFileSize);
    ByteWriter w(out);
    w.Bytes("BM");
    w.U32(static_cast<std::uint32_t>(GraphFileSize));
    w.U16(GraphFileMagnitudeMark);
    w.U16(0);
    w.U32(PixelOffset);
    w.U32(InfoHeaderSize);
    w.I32(GraphFileWidth);
    w.I32(GraphFileHeight);
    w.U16(1);
    w.U16(4);
    w.U32(0);
    w.U32(ImageSize);
    w.I32(PixelsPerMetre);
    w.I32(PixelsPerMetre);
    w.U32(16);
    w.U32(16);
    for (const ColorValue c : StandardColors) {
        w.U8(static_cast<std::uint8_t>(c >> 16)); // blue
        w.U8(static_cast<std::uint8_t>(c >> 8));  // green
        w.U8(static_cast<std::uint8_t>(c));       // red
        w.U8(0);
    }
    const auto* bits = reinterpret_cast<const char*>(bitmap.Pixels().data());
    for (int r = GraphFileHeight - 1; r >= 0; --r) {
        w.Bytes(std::string_view(bits + static_cast<std::size_t>(r) * FileRowBytes, FileRowBytes));
    }
    return out;
}

GraphBitmap DecodeGraphFile(std::string_view bytes, const std::string& fileName,
                            bool* drawnFromMagnitudes) {
    const std::string damaged = "The graph file \"" + fileName + "\" is damaged: ";
    const auto fail = [&](const std::string& what) { throw TellamoError(damaged + what); };
    if (bytes.size() != GraphFileSize) {
        fail("it holds " + std::to_string(bytes.size()) + " bytes instead of " +
             std::to_string(GraphFileSize));
    }
    ByteReader r(bytes, damaged + "it ends too early");
    const auto expect = [&](std::uint32_t got, std::uint32_t want, const char* field) {
        if (got != want) {
            fail(std::string(field) + " is " + std::to_string(got) + " instead of " +
                 std::to_string(want));
        }
    };
    if (r.Take(2) != "BM") {
        fail("it does not begin with \"BM\"");
    }
    expect(r.U32(), static_cast<std::uint32_t>(GraphFileSize), "the file size");
    // The reserved words carry no meaning for other readers; the first marks our own newer files.
    const bool marked = r.U16() == GraphFileMagnitudeMark;
    r.Take(2);
    expect(r.U32(), PixelOffset, "the pixel offset");
    expect(r.U32(), InfoHeaderSize, "the header size");
    expect(r.U32(), GraphFileWidth, "the width");
    expect(r.U32(), GraphFileHeight, "the height");
    expect(r.U16(), 1, "the plane count");
    expect(r.U16(), 4, "the bits per pixel");
    expect(r.U32(), 0, "the compression");
    const std::uint32_t imageSize = r.U32();
    if (imageSize != 0 && imageSize != ImageSize) {
        expect(imageSize, ImageSize, "the image size");
    }
    r.Take(8); // resolution: only a hint for printing
    const std::uint32_t used = r.U32();
    if (used != 0 && used != 16) {
        expect(used, 16, "the number of colours");
    }
    if (r.U32() > 16) {
        fail("the number of important colours is more than 16");
    }
    for (std::size_t i = 0; i < StandardColors.size(); ++i) {
        // Stored blue, green, red, reserved: read as a number that is 0x??RRGGBB.
        const std::uint32_t entry = r.U32();
        const ColorValue color = ((entry >> 16) & 0xFF) | (entry & 0xFF00) | ((entry & 0xFF) << 16);
        if (color != StandardColors[i]) {
            fail("colour " + std::to_string(i) + " of its colour table is not the standard one");
        }
    }
    GraphBitmap bitmap(GraphFileWidth, GraphFileHeight);
    for (int y = GraphFileHeight - 1; y >= 0; --y) {
        std::memcpy(bitmap.RowData(y), r.Take(FileRowBytes).data(), FileRowBytes);
    }
    if (drawnFromMagnitudes) {
        *drawnFromMagnitudes = marked;
    }
    return bitmap;
}

void SaveGraphFile(const GraphBitmap& bitmap, const std::string& path, FileSystem& fs) {
    const std::string tempPath = path + ".tmp";
    try {
        ReplaceFileDurably(fs, path, EncodeGraphFile(bitmap), tempPath);
    } catch (const TellamoError&) {
        fs.Remove(tempPath); // no stray half-written file in the storage folder
        throw;
    }
}

void SaveGraphFile(const GraphBitmap& bitmap, const std::string& path) {
    SaveGraphFile(bitmap, path, RealFileSystem());
}

GraphBitmap LoadGraphFile(const std::string& path, bool* drawnFromMagnitudes) {
    // One byte more than a graph file holds, so that a longer file is seen as such.
    const FilePrefix prefix = ReadFilePrefix(path, GraphFileSize + 1);
    return DecodeGraphFile(prefix.Bytes, path, drawnFromMagnitudes);
}

QImage GraphBitmapToImage(const GraphBitmap& bitmap) {
    // Row by row from the packed indices through a table of the 16 colours: pixel by pixel, the
    // graph shown for the current note cost a good part of the start-up.
    std::array<QRgb, StandardColors.size()> palette{};
    for (std::size_t i = 0; i < palette.size(); ++i) {
        palette[i] = ColorToQRgb(StandardColors[i]);
    }
    QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGB32);
    const std::size_t rowBytes = static_cast<std::size_t>(bitmap.RowBytes());
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* row = bitmap.Pixels().data() + static_cast<std::size_t>(y) * rowBytes;
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x + 1 < bitmap.Width(); x += 2) {
            const std::uint8_t pair = row[x / 2];
            line[x] = palette[pair >> 4];
            line[x + 1] = palette[pair & 0x0F];
        }
        if (bitmap.Width() % 2 != 0) {
            line[bitmap.Width() - 1] = palette[row[bitmap.Width() / 2] >> 4];
        }
    }
    return image;
}

namespace {
// Whether a row holds nothing but the colour index: its whole bytes compared at once, and the
// high half of the last byte of an odd width (the low half is padding).
bool RowIsAll(const GraphBitmap& bitmap, int y, int index) {
    const std::size_t rowBytes = static_cast<std::size_t>(bitmap.RowBytes());
    const std::uint8_t* row = bitmap.Pixels().data() + static_cast<std::size_t>(y) * rowBytes;
    const std::size_t whole = static_cast<std::size_t>(bitmap.Width() / 2);
    const auto pair = static_cast<std::uint8_t>(index << 4 | index);
    if (std::any_of(row, row + whole, [pair](std::uint8_t b) { return b != pair; })) {
        return false;
    }
    return bitmap.Width() % 2 == 0 || (row[whole] >> 4) == index;
}
} // namespace

std::pair<int, int> GraphContentRows(const GraphBitmap& bitmap, ColorValue background,
                                     bool mirrored) {
    const int height = bitmap.Height();
    const int bg = StandardColorIndex(background);
    int top = -1;
    for (int y = 0; y < height && top < 0; ++y) {
        if (!RowIsAll(bitmap, y, bg)) {
            top = y;
        }
    }
    if (top < 0 || height == 0) {
        return {0, height};
    }
    // Room of an eighth above the highest bar, so that it does not touch the panel's edge.
    const auto fitted = [](int extent, int whole) {
        return std::min(whole, std::max(whole / 8, extent + extent / 8));
    };
    if (mirrored) {
        const int middle = height / 2;
        const int extent = fitted(std::max(1, middle - top), middle);
        return {middle - extent, 2 * extent};
    }
    const int extent = fitted(height - top, height);
    return {height - extent, extent};
}

} // namespace tellamo
