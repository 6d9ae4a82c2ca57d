#include "dictaphone/GraphFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImage>

#include "audio/WavFormat.h"
#include "common/ByteIO.h"
#include "common/Errors.h"
#include "common/Rounding.h"
#include "support/FaultyFileSystem.h"
#include "support/LinkTrap.h"
#include "support/TempDir.h"

namespace tellamo {
namespace {

using test::FileExists;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

// A WAV file's bytes: the program's own 44-byte header with the data size set, then the data.
std::string Wav(bool sixteenBit, const std::string& data, std::uint32_t declaredSize) {
    const auto h = MakeWaveHeader(1, 11025, sixteenBit ? 16 : 8);
    std::string bytes(reinterpret_cast<const char*>(h.data()), h.size());
    PutU32(reinterpret_cast<unsigned char*>(bytes.data() + 40), declaredSize);
    return bytes + data;
}

std::string Wav(bool sixteenBit, const std::string& data) {
    return Wav(sixteenBit, data, static_cast<std::uint32_t>(data.size()));
}

void PutSample(std::string& data, std::size_t index, bool sixteenBit, int value) {
    if (sixteenBit) {
        PutU16(reinterpret_cast<unsigned char*>(data.data() + 2 * index),
               static_cast<std::uint16_t>(value));
    } else {
        data[index] = static_cast<char>(value + 128);
    }
}

// The picture that one-directional bars of the given levels make on the graph background.
GraphBitmap ExpectedGraph(const std::vector<std::int32_t>& levels, bool sixteenBit,
                          const GraphSettings& settings) {
    GraphBitmap bitmap(GraphFileWidth, GraphFileHeight);
    GraphState state;
    ClearGraph(state, &bitmap, GraphFileWidth, GraphFileHeight, settings);
    state.Scale = GraphFileHeight / FullScale(sixteenBit);
    state.Pen = settings.VoiceColor;
    for (int i = 0; i < GraphFileWidth; ++i) {
        DrawLevelColumn(state, i, levels[static_cast<std::size_t>(i)], false);
    }
    return bitmap;
}

GraphBitmap Blank(const GraphSettings& settings) {
    GraphBitmap bitmap(GraphFileWidth, GraphFileHeight);
    bitmap.Fill(settings.BackgroundColor);
    return bitmap;
}

// A clock that reads 0 when the drawing starts and `later` at every reading after that.
MillisecondClock ClockJumpingTo(double later) {
    auto calls = std::make_shared<int>(0);
    return [calls, later] { return (*calls)++ == 0 ? 0.0 : later; };
}

class GraphFiles : public ::testing::Test {
protected:
    TempDir mDir;
    GraphSettings mSettings;
    std::string mWavPath = mDir.File("123456.wav");
    std::string mGraphPath = mDir.File("123456.bmp");
};

struct ColumnCase {
    const char* Name;
    bool SixteenBit;
    double ClockAfterStart; // 0: the budget never runs out; 300: half the columns late
    int CutShort;
};

void PrintTo(const ColumnCase& c, std::ostream* os) {
    *os << c.Name;
}

class ColumnBoundaries : public GraphFiles, public ::testing::WithParamInterface<ColumnCase> {};

// 8-bit: 60000 bytes, 100 per column; 16-bit: 120000 bytes, 100 samples per column. Each
// column's first sample, its other even-numbered samples and its odd-numbered samples carry
// different values, so that the picture shows which samples each column gathered.
TEST_P(ColumnBoundaries, EachColumnGathersItsFirstAndEverySecondSample) {
    const ColumnCase& c = GetParam();
    const std::size_t perColumn = 100;
    std::string data(perColumn * 600 * (c.SixteenBit ? 2 : 1), '\0');
    std::vector<std::int32_t> levels;
    const int unit = c.SixteenBit ? 200 : 1;
    for (std::size_t i = 0; i < 600; ++i) {
        const int first = static_cast<int>(i % 120) * unit - 60 * unit;
        const int even = static_cast<int>(i % 50) * unit - 25 * unit;
        const int odd = 100 * unit;
        for (std::size_t k = 0; k < perColumn; ++k) {
            PutSample(data, i * perColumn + k, c.SixteenBit, k == 0 ? first : k % 2 ? odd : even);
        }
        const bool late = static_cast<int>(i) < c.CutShort;
        levels.push_back(late ? std::abs(first)
                              : RoundHalfEven32((std::abs(first) + 49.0 * std::abs(even)) / 50));
    }
    WriteFileBytes(mWavPath, Wav(c.SixteenBit, data));

    const GraphBuildResult result = BuildGraphFile(
        mWavPath, mGraphPath, mSettings, RealFileSystem(), ClockJumpingTo(c.ClockAfterStart));
    EXPECT_EQ(result.Stats.ColumnsDrawn, 600);
    EXPECT_EQ(result.Stats.ColumnsCutShort, c.CutShort);
    EXPECT_EQ(result.Bitmap, ExpectedGraph(levels, c.SixteenBit, mSettings));
    EXPECT_EQ(LoadGraphFile(mGraphPath), result.Bitmap);
}

INSTANTIATE_TEST_SUITE_P(Notes, ColumnBoundaries,
                         ::testing::Values(ColumnCase{"Eight_InTime", false, 0, 0},
                                           ColumnCase{"Eight_HalfLate", false, 300, 300},
                                           ColumnCase{"Eight_AllLate", false, 1000000, 600},
                                           ColumnCase{"Sixteen_InTime", true, 0, 0},
                                           ColumnCase{"Sixteen_HalfLate", true, 300, 300},
                                           ColumnCase{"Sixteen_AllLate", true, 1000000, 600}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(GraphFiles, BarHeightIsTwiceTheMeanMagnitude) {
    // The gathered samples (every second one) alternate +8000 and -8000: their signed mean is 0,
    // a flat graph; their mean magnitude is 8000.
    std::string data(24000, '\0');
    for (std::size_t k = 0; k < 12000; ++k) {
        PutSample(data, k, true, k % 2 ? 0 : (k % 4 ? -8000 : 8000));
    }
    WriteFileBytes(mWavPath, Wav(true, data));
    const GraphBuildResult result =
        BuildGraphFile(mWavPath, mGraphPath, mSettings, RealFileSystem(), [] { return 0.0; });
    EXPECT_EQ(result.Bitmap, ExpectedGraph(std::vector<std::int32_t>(600, 8000), true, mSettings));
    // 2 * 8000 * 256 / 65535 = 62.501 pixels: rows 192..255 of the voice colour.
    EXPECT_EQ(result.Bitmap.ColorAt(10, 192), mSettings.VoiceColor);
    EXPECT_EQ(result.Bitmap.ColorAt(10, 191), mSettings.BackgroundColor);
}

// The height of column x's bar: the voice-coloured run standing on the bottom row.
int BarHeight(const GraphBitmap& bitmap, int x, ColorValue voice) {
    int height = 0;
    while (height < bitmap.Height() && bitmap.ColorAt(x, bitmap.Height() - 1 - height) == voice) {
        ++height;
    }
    return height;
}

// Speech as a recording holds it: a second spoken quietly (a tenth of the volume), then the
// same second at its normal volume. The bars must follow the loudness of each column.
TEST_F(GraphFiles, SpeechGivesBarsThatFollowItsEnvelope) {
    const std::string speech = mDir.File("speech.wav");
    const std::string quiet = mDir.File("quiet.wav");
    const std::string normal = mDir.File("normal.wav");
    const std::string log = mDir.File("tools.log");
    const auto run = [&](const std::string& command) {
        ASSERT_EQ(std::system((command + " > '" + log + "' 2>&1").c_str()), 0)
            << command << "\n"
            << ReadFileBytes(log);
    };
    run("espeak-ng -w '" + speech +
        "' 'Please call Stella and ask her to bring these things from the store.'");
    run("sox -V1 -D '" + speech + "' -r 11025 -b 16 -c 1 '" + quiet + "' trim 0 1 vol 0.1");
    run("sox -V1 -D '" + speech + "' -r 11025 -b 16 -c 1 '" + normal + "' trim 0 1");
    run("sox -V1 -D '" + quiet + "' '" + normal + "' '" + mWavPath + "'");

    const GraphBuildResult result =
        BuildGraphFile(mWavPath, mGraphPath, mSettings, RealFileSystem(), [] { return 0.0; });
    std::vector<int> bars;
    for (int x = 0; x < GraphFileWidth; ++x) {
        bars.push_back(BarHeight(result.Bitmap, x, mSettings.VoiceColor));
    }
    const int quietTallest = *std::max_element(bars.begin(), bars.begin() + 300);
    const int normalTallest = *std::max_element(bars.begin() + 300, bars.end());
    EXPECT_GT(normalTallest, GraphFileHeight / 4)
        << "normal speech fills a good part of the picture";
    EXPECT_GT(normalTallest, 4 * quietTallest) << "the loud second stands well above the quiet one";
    EXPECT_GE(quietTallest, 2) << "quiet speech still shows";

    // Column by column, the bars follow the speech's own envelope (the mean magnitude of each
    // column's samples, computed here from all of them).
    const std::string wav = ReadFileBytes(mWavPath);
    const std::size_t dataAt = wav.find("data") + 8;
    const std::size_t samples = (wav.size() - dataAt) / 2;
    std::vector<double> envelope;
    for (int x = 0; x < GraphFileWidth; ++x) {
        double sum = 0;
        const std::size_t from = samples * x / GraphFileWidth,
                          to = samples * (x + 1) / GraphFileWidth;
        for (std::size_t k = from; k < to; ++k) {
            sum += std::abs(static_cast<std::int16_t>(
                GetU16(reinterpret_cast<const unsigned char*>(wav.data()) + dataAt + 2 * k)));
        }
        envelope.push_back(sum / static_cast<double>(to - from));
    }
    double mb = 0, me = 0;
    for (int x = 0; x < GraphFileWidth; ++x) {
        mb += bars[x];
        me += envelope[x];
    }
    mb /= GraphFileWidth;
    me /= GraphFileWidth;
    double cov = 0, vb = 0, ve = 0;
    for (int x = 0; x < GraphFileWidth; ++x) {
        cov += (bars[x] - mb) * (envelope[x] - me);
        vb += (bars[x] - mb) * (bars[x] - mb);
        ve += (envelope[x] - me) * (envelope[x] - me);
    }
    EXPECT_GT(cov / std::sqrt(vb * ve), 0.95) << "correlation of the bars with the envelope";
}

struct InfoCase {
    const char* Name;
    std::string Bytes;
    bool Readable;
    std::uint32_t DataStart;
    std::uint32_t DataSize;
    bool SixteenBit;
};

std::string WithDataTagAt(std::size_t offset, std::uint16_t bits) {
    std::string bytes = Wav(bits > 8, "").substr(0, 36);
    PutU16(reinterpret_cast<unsigned char*>(bytes.data() + 34), bits);
    bytes.resize(offset, 'x');
    bytes += "data";
    bytes += std::string("\x08\x00\x00\x00", 4);
    return bytes + std::string(8, '\x10');
}

TEST_F(GraphFiles, ReadWavInfoFollowsTheGraphReadersRule) {
    const InfoCase cases[] = {
        {"plain 16-bit", Wav(true, std::string(100, 'a')), true, 44, 100, true},
        {"plain 8-bit", Wav(false, std::string(7, 'a')), true, 44, 7, false},
        {"longer format chunk", WithDataTagAt(38, 16), true, 46, 8, true},
        {"tag at the last offset", WithDataTagAt(288, 8), true, 296, 8, false},
        {"tag beyond the window", WithDataTagAt(289, 16), true, 0, 0, false},
        {"only the low byte of the bits", WithDataTagAt(36, 0x0108), true, 44, 8, false},
        {"a header no recorder writes",
         [] {
             std::string b = Wav(true, std::string(100, 'a'));
             PutU16(reinterpret_cast<unsigned char*>(b.data() + 22), 0); // no channels
             return b;
         }(),
         true, 0, 0, false},
        {"shorter than a header", std::string("RIFF\x10\x00", 6), true, 0, 0, false},
        {"empty", "", true, 0, 0, false},
    };
    for (const InfoCase& c : cases) {
        WriteFileBytes(mWavPath, c.Bytes);
        const WavGraphInfo info = ReadWavInfo(mWavPath);
        EXPECT_EQ(info.Readable, c.Readable) << c.Name;
        EXPECT_EQ(info.DataSize, c.DataSize) << c.Name;
        if (c.DataSize > 0) {
            EXPECT_EQ(info.DataStart, c.DataStart) << c.Name;
            EXPECT_EQ(info.SixteenBit, c.SixteenBit) << c.Name;
        }
    }
    EXPECT_FALSE(ReadWavInfo(mDir.File("missing.wav")).Readable);
    EXPECT_FALSE(ReadWavInfo(mDir.Path()).Readable);
    ::mkfifo(mDir.File("fifo.wav").c_str(), 0600); // must not hang the window
    EXPECT_FALSE(ReadWavInfo(mDir.File("fifo.wav")).Readable);
}

TEST_F(GraphFiles, ReadSampleDecodesAndReadsSilenceBeyondTheFile) {
    std::string data("\x00\x80\xff\x7f\x01\x00", 6);
    WriteFileBytes(mWavPath, Wav(true, data, 10)); // declares 4 bytes more than it holds
    WavSampleStream stream(mWavPath);
    stream.Seek(44);
    EXPECT_EQ(stream.ReadSample(true), -32768);
    EXPECT_EQ(stream.ReadSample(true), 32767);
    EXPECT_EQ(stream.ReadSample(true), 1);
    EXPECT_EQ(stream.ReadSample(true), 0);
    EXPECT_EQ(stream.Position(), 52u);
    stream.Seek(44);
    EXPECT_EQ(stream.ReadSample(false), -128);
    EXPECT_EQ(stream.ReadSample(false), 0);
    EXPECT_EQ(stream.ReadSample(false), 127);
    stream.Seek(42); // skips 42, 46, 50 and adds the magnitudes at 44, 48 and the silence at 52
    EXPECT_EQ(stream.SkipAndSumMagnitudes(3, true), 32768 + 1 + 0);
    EXPECT_EQ(stream.Position(), 54u);
}

// Damaged notes still get a graph, drawn from what can be read, and building it never fails.
TEST_F(GraphFiles, DamagedOrMissingWavGivesAGraphOfWhatCanBeRead) {
    std::string data(60000, '\0');
    for (std::size_t k = 0; k < data.size(); ++k) {
        PutSample(data, k, false, 50);
    }
    std::vector<std::int32_t> half(600, 0);
    std::fill(half.begin(), half.begin() + 300, 50);
    const GraphBitmap halfDrawn = ExpectedGraph(half, false, mSettings);

    // Without sound there is nothing worth a file: the plain picture stays in memory, and no
    // file operation is tried (the fake file system fails them all).
    struct Case {
        const char* Name;
        std::string Bytes; // empty: no file at all
        GraphBitmap Expected;
        bool Saved;
    };
    const Case cases[] = {
        {"ends halfway through its data", Wav(false, data, 120000), halfDrawn, true},
        {"no data tag", std::string(400, 'x'), Blank(mSettings), false},
        {"data size 0 (a 44-byte note)", Wav(false, "", 0), Blank(mSettings), false},
        {"header cut short", Wav(false, data).substr(0, 30), Blank(mSettings), false},
        {"missing", "", Blank(mSettings), false},
    };
    for (const Case& c : cases) {
        std::remove(mWavPath.c_str());
        std::remove(mGraphPath.c_str());
        if (!c.Bytes.empty()) {
            WriteFileBytes(mWavPath, c.Bytes);
        }
        test::FaultyFileSystem readOnly;
        readOnly.FailAt = c.Saved ? 0 : 1;
        readOnly.FailAll = true;
        GraphBuildResult result;
        ASSERT_NO_THROW(
            result = BuildGraphFile(mWavPath, mGraphPath, mSettings, readOnly, [] { return 0.0; }))
            << c.Name;
        EXPECT_EQ(result.Bitmap, c.Expected) << c.Name;
        EXPECT_EQ(result.Saved, c.Saved) << c.Name;
        EXPECT_EQ(result.SaveError, "") << c.Name;
        EXPECT_EQ(readOnly.Calls > 0, c.Saved) << c.Name;
        if (c.Saved) {
            EXPECT_EQ(LoadGraphFile(mGraphPath), c.Expected) << c.Name;
        } else {
            EXPECT_FALSE(FileExists(mGraphPath)) << c.Name;
        }
    }
}

TEST_F(GraphFiles, FailedSaveIsToldAndLeavesNoGraph) {
    WriteFileBytes(mWavPath, Wav(true, std::string(2000, '\x10')));
    test::FaultyFileSystem fs;
    fs.FailAt = 2; // the write of the new file: a full disk
    const GraphBuildResult result = BuildGraphFile(mWavPath, mGraphPath, mSettings, fs);
    EXPECT_FALSE(result.Saved);
    EXPECT_NE(result.SaveError.find(mGraphPath + ".tmp"), std::string::npos) << result.SaveError;
    EXPECT_NE(result.Bitmap, Blank(mSettings)) << "the picture is still drawn";
    EXPECT_FALSE(FileExists(mGraphPath));
    EXPECT_FALSE(FileExists(mGraphPath + ".tmp"));
}

TEST_F(GraphFiles, SavingReplacesPlantedLinks) {
    WriteFileBytes(mWavPath, Wav(true, std::string(2000, '\x10')));
    for (const test::LinkTrap::Kind kind : test::LinkTrap::Kinds) {
        test::LinkTrap trap;
        trap.Plant(mGraphPath + ".tmp", kind);
        trap.Plant(mGraphPath, kind);
        const GraphBuildResult result = BuildGraphFile(mWavPath, mGraphPath, mSettings);
        EXPECT_TRUE(trap.Untouched()) << static_cast<int>(kind);
        EXPECT_EQ(LoadGraphFile(mGraphPath), result.Bitmap);
        EXPECT_FALSE(FileExists(mGraphPath + ".tmp"));
    }
}

TEST(GraphBitmapFile, HeaderFieldsAndPixelLayout) {
    GraphBitmap bitmap(600, 256);
    bitmap.Fill(ColorNavy);
    bitmap.SetPixel(0, 255, ColorYellow); // bottom left: the first pixel stored, high nibble
    bitmap.SetPixel(599, 0, ColorAqua);   // top right: the last pixel stored, low nibble
    const std::string bytes = EncodeGraphFile(bitmap);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    ASSERT_EQ(bytes.size(), 76918u);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(GetU32(p + 2), 76918u);
    EXPECT_EQ(GetU16(p + 6), GraphFileMagnitudeMark);
    EXPECT_EQ(GetU16(p + 8), 0u);
    EXPECT_EQ(GetU32(p + 10), 118u);
    EXPECT_EQ(GetU32(p + 14), 40u);
    EXPECT_EQ(GetU32(p + 18), 600u);
    EXPECT_EQ(GetU32(p + 22), 256u);
    EXPECT_EQ(GetU16(p + 26), 1u);
    EXPECT_EQ(GetU16(p + 28), 4u);
    EXPECT_EQ(GetU32(p + 30), 0u);
    EXPECT_EQ(GetU32(p + 34), 76800u);
    EXPECT_EQ(GetU32(p + 46), 16u);
    // The colour table: blue, green, red, 0.
    EXPECT_EQ(GetU32(p + 54 + 4 * 4), 0x000080u);  // navy
    EXPECT_EQ(GetU32(p + 54 + 4 * 9), 0xFF0000u);  // red
    EXPECT_EQ(GetU32(p + 54 + 4 * 11), 0xFFFF00u); // yellow
    EXPECT_EQ(GetU32(p + 54 + 4 * 14), 0x00FFFFu); // aqua
    EXPECT_EQ(GetU32(p + 54 + 4 * 8), 0xC0C0C0u);  // silver
    EXPECT_EQ(p[118], 0xB4);
    EXPECT_EQ(p[119], 0x44);
    EXPECT_EQ(p[76917], 0x4E);
    bool marked = false;
    EXPECT_EQ(DecodeGraphFile(bytes, "x.bmp", &marked), bitmap);
    EXPECT_TRUE(marked);
    // A file made before the mark (both reserved words 0) reads as the same picture, unmarked.
    std::string older = bytes;
    older[6] = '\0';
    EXPECT_EQ(DecodeGraphFile(older, "x.bmp", &marked), bitmap);
    EXPECT_FALSE(marked);
    EXPECT_THROW(EncodeGraphFile(GraphBitmap(600, 512)), TellamoError);
}

TEST(GraphBitmapFile, OpensInOtherReaders) {
    TempDir dir;
    const std::string path = dir.File("654321.bmp");
    GraphBitmap bitmap(600, 256);
    bitmap.Fill(ColorNavy);
    for (int x = 0; x < 600; x += 3) {
        bitmap.VerticalRun(x, 255 - x / 3, 256, ColorYellow);
    }
    SaveGraphFile(bitmap, path);
    EXPECT_FALSE(FileExists(path + ".tmp"));

    const QImage image(QString::fromStdString(path));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(600, 256));
    EXPECT_EQ(image.pixel(0, 255), qRgb(255, 255, 0));
    EXPECT_EQ(image.pixel(3, 0), qRgb(0, 0, 128));
    EXPECT_EQ(image.pixel(597, 255), qRgb(255, 255, 0));
    EXPECT_EQ(GraphBitmapToImage(bitmap), image.convertToFormat(QImage::Format_RGB32));

    // ImageMagick's summary line: "... BMP3 600x256 600x256+0+0 4-bit sRGB 16c 76918B ...".
    const std::string out = dir.File("identify.txt");
    const std::string command = "identify '" + path + "' > '" + out + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadFileBytes(out);
    const std::string summary = ReadFileBytes(out);
    for (const char* part : {" BMP3 ", " 600x256 ", " 4-bit ", " 16c ", " 76918B "}) {
        EXPECT_NE(summary.find(part), std::string::npos) << part << " in " << summary;
    }
}

// The image and the rows the bars reach, against the picture read pixel by pixel, for even and
// odd widths (whose last byte is half padding) and bars at either edge.
TEST(GraphBitmapFile, ImageAndContentRowsMatchThePixels) {
    const struct {
        int Width, Height;
        int BarX, BarTop; // a bar of lime from BarTop to the bottom; BarX -1 for none
    } cases[] = {
        {600, 256, 0, 200}, {600, 256, 599, 10}, {7, 16, 6, 3}, {7, 16, 0, 15},
        {1, 8, 0, 4},       {600, 256, -1, 0},   {9, 40, 8, 0}, {0, 0, -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.Width << "x" << c.Height << " bar at " << c.BarX);
        GraphBitmap bitmap(c.Width, c.Height);
        bitmap.Fill(ColorNavy);
        if (c.BarX >= 0) {
            bitmap.VerticalRun(c.BarX, c.BarTop, c.Height, ColorLime);
        }
        // The padding half byte of an odd width is no pixel: not the background, it is no bar.
        for (int y = 0; c.Width % 2 != 0 && y < c.Height; ++y) {
            bitmap.RowData(y)[bitmap.RowBytes() - 1] |= 0x0F;
        }
        const QImage image = GraphBitmapToImage(bitmap);
        ASSERT_EQ(image.size(), QSize(c.Width, c.Height));
        int top = -1;
        for (int y = 0; y < c.Height; ++y) {
            for (int x = 0; x < c.Width; ++x) {
                ASSERT_EQ(image.pixel(x, y), ColorToQRgb(bitmap.ColorAt(x, y))) << x << "," << y;
                if (top < 0 && bitmap.IndexAt(x, y) != StandardColorIndex(ColorNavy)) {
                    top = y;
                }
            }
        }
        ASSERT_EQ(top, c.BarX < 0 ? -1 : c.BarTop);
        const auto [first, rows] = GraphContentRows(bitmap, ColorNavy, false);
        if (top < 0) {
            EXPECT_EQ(first, 0);
            EXPECT_EQ(rows, c.Height);
        } else {
            const int bars = c.Height - top;
            const int extent = std::min(c.Height, std::max(c.Height / 8, bars + bars / 8));
            EXPECT_EQ(first, c.Height - extent);
            EXPECT_EQ(rows, extent);
        }
    }
}

TEST(GraphBitmapFile, DamagedFilesAreClearErrors) {
    GraphBitmap bitmap(600, 256);
    bitmap.Fill(ColorBlack);
    const std::string good = EncodeGraphFile(bitmap);
    const auto patched = [&](std::size_t offset, std::uint32_t value, int width) {
        std::string bytes = good;
        auto* p = reinterpret_cast<unsigned char*>(bytes.data() + offset);
        width == 2 ? PutU16(p, static_cast<std::uint16_t>(value)) : PutU32(p, value);
        return bytes;
    };
    struct Case {
        const char* Name;
        std::string Bytes;
        const char* Says;
    };
    const Case cases[] = {
        {"empty", "", "holds 0 bytes"},
        {"cut short", good.substr(0, 76917), "holds 76917 bytes"},
        {"too long", good + "x", "holds 76919 bytes"},
        {"no magic", "XM" + good.substr(2), "\"BM\""},
        {"file size", patched(2, 76917, 4), "file size"},
        {"pixel offset", patched(10, 54, 4), "pixel offset"},
        {"header size", patched(14, 108, 4), "header size"},
        {"width", patched(18, 601, 4), "width"},
        {"top-down", patched(22, static_cast<std::uint32_t>(-256), 4), "height"},
        {"planes", patched(26, 2, 2), "plane"},
        {"bits", patched(28, 8, 2), "bits per pixel"},
        {"compressed", patched(30, 2, 4), "compression"},
        {"image size", patched(34, 1, 4), "image size"},
        {"colours used", patched(46, 256, 4), "number of colours"},
        {"important", patched(50, 17, 4), "important"},
        {"palette", patched(54 + 4 * 3, 0x123456, 4), "colour 3"},
    };
    for (const Case& c : cases) {
        try {
            DecodeGraphFile(c.Bytes, "/notes/123456.bmp");
            ADD_FAILURE() << c.Name << ": accepted";
        } catch (const TellamoError& e) {
            const std::string text = e.what();
            EXPECT_NE(text.find("\"/notes/123456.bmp\" is damaged"), std::string::npos) << text;
            EXPECT_NE(text.find(c.Says), std::string::npos) << c.Name << ": " << text;
        }
    }
    // Fields a reader may leave at 0 are accepted.
    EXPECT_EQ(DecodeGraphFile(patched(46, 0, 4), "x"), bitmap);
    EXPECT_EQ(DecodeGraphFile(patched(34, 0, 4), "x"), bitmap);

    TempDir dir;
    EXPECT_THROW(LoadGraphFile(dir.File("missing.bmp")), TellamoError);
    EXPECT_THROW(LoadGraphFile(dir.Path()), TellamoError);
}

TEST(GraphBitmapFile, MirrorThenUnmirrorGivesThePictureBack) {
    GraphBitmap bitmap(600, 256);
    bitmap.Fill(ColorNavy);
    for (int x = 0; x < 600; ++x) {
        bitmap.VerticalRun(x, 255 - (x * 37) % 256, 256, StandardColors[x % 16]);
    }
    GraphBitmap mirrored = bitmap;
    mirrored.MirrorGraph();
    ASSERT_EQ(mirrored.Height(), 512);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 600; ++x) {
            ASSERT_EQ(mirrored.IndexAt(x, y), bitmap.IndexAt(x, y));
            ASSERT_EQ(mirrored.IndexAt(x, 511 - y), bitmap.IndexAt(x, y));
        }
    }
    mirrored.UnmirrorGraph();
    EXPECT_EQ(mirrored, bitmap);
    EXPECT_EQ(mirrored.Pixels(), bitmap.Pixels());

    GraphBitmap odd(5, 3);
    odd.UnmirrorGraph();
    EXPECT_EQ(odd.Height(), 1);
}

} // namespace
} // namespace tellamo
