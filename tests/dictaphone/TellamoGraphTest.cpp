#include "dictaphone/TellamoGraph.h"

#include <vector>

#include <gtest/gtest.h>

#include <QImage>

#include "dictaphone/GraphBitmap.h"

namespace tellamo {
namespace {

// Little-endian bytes of count copies of one 16-bit sample.
std::vector<unsigned char> Samples16(std::size_t count, std::int16_t value) {
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i < count; ++i) {
        bytes.push_back(static_cast<unsigned char>(value & 0xFF));
        bytes.push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
    }
    return bytes;
}

int CountInColumn(const GraphBitmap& b, int x, ColorValue color) {
    int n = 0;
    for (int y = 0; y < b.Height(); ++y) {
        n += b.ColorAt(x, y) == color ? 1 : 0;
    }
    return n;
}

class LiveGraph : public ::testing::Test {
protected:
    void Start(int width = 600, int height = 256) {
        mSurface = GraphBitmap(width, height);
        ClearGraph(mState, &mSurface, width, height, mSettings);
    }
    void Feed(const std::vector<unsigned char>& bytes, bool sixteenBit, std::uint16_t rate,
              std::size_t buffers = 1) {
        const std::size_t sampleSize = sixteenBit ? 2 : 1;
        const std::size_t chunk = bytes.size() / buffers / sampleSize * sampleSize;
        for (std::size_t i = 0; i < buffers; ++i) {
            const std::size_t n = i + 1 == buffers ? bytes.size() - chunk * i : chunk;
            DrawBufferGraph(mState, mSettings, bytes.data() + chunk * i,
                            static_cast<std::uint16_t>(n), sixteenBit, rate);
        }
    }

    GraphSettings mSettings;
    GraphState mState;
    GraphBitmap mSurface;
};

struct OneSecondCase {
    const char* Name;
    bool SixteenBit;
    std::size_t Buffers;
};

void PrintTo(const OneSecondCase& c, std::ostream* os) {
    *os << c.Name;
}

class OneSecond : public LiveGraph, public ::testing::WithParamInterface<OneSecondCase> {};

// One second at 11025 Hz and 20 pixels per second: columns 0..19 drawn, column 20 still
// gathering, whether the second comes in one buffer or in several.
TEST_P(OneSecond, ReachesColumnTwentyWithColumnTwentyStillGathering) {
    const OneSecondCase& c = GetParam();
    const std::vector<unsigned char> bytes =
        c.SixteenBit ? Samples16(11025, -16000) : std::vector<unsigned char>(11025, 28);
    const std::int32_t peak = c.SixteenBit ? 16000 : 100;
    Start();
    Feed(bytes, c.SixteenBit, 11025, c.Buffers);
    EXPECT_NEAR(mState.Position, 20.0, 1e-9);
    EXPECT_EQ(mState.CurrentColumn, 20);
    EXPECT_EQ(mState.ColumnPeak, peak);
    for (int x = 0; x < 20; ++x) {
        EXPECT_GT(CountInColumn(mSurface, x, mSettings.VoiceColor), 1) << "column " << x;
    }
    EXPECT_EQ(CountInColumn(mSurface, 20, mSettings.VoiceColor), 0);

    // The same sound in one buffer draws the same picture: the column that straddles two
    // buffers gets the peak of both.
    GraphState whole;
    GraphBitmap wholeSurface(600, 256);
    ClearGraph(whole, &wholeSurface, 600, 256, mSettings);
    DrawBufferGraph(whole, mSettings, bytes.data(), static_cast<std::uint16_t>(bytes.size()),
                    c.SixteenBit, 11025);
    EXPECT_EQ(mSurface, wholeSurface);
}

INSTANTIATE_TEST_SUITE_P(Buffers, OneSecond,
                         ::testing::Values(OneSecondCase{"Sixteen_OneBuffer", true, 1},
                                           OneSecondCase{"Sixteen_TenBuffers", true, 10},
                                           OneSecondCase{"Eight_OneBuffer", false, 1},
                                           OneSecondCase{"Eight_SevenBuffers", false, 7}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(LiveGraph, EmptyBufferChangesNothing) {
    Start();
    Feed(Samples16(3000, 9000), true, 11025);
    const GraphState before = mState;
    const GraphBitmap picture = mSurface;
    const unsigned char unused[2] = {0xFF, 0x7F};
    DrawBufferGraph(mState, mSettings, unused, 0, true, 11025);
    EXPECT_EQ(mState.Position, before.Position);
    EXPECT_EQ(mState.CurrentColumn, before.CurrentColumn);
    EXPECT_EQ(mState.ColumnPeak, before.ColumnPeak);
    EXPECT_EQ(mSurface, picture);
}

struct NoiseCase {
    bool BiDirectional;
    bool Silence;
    int DotsPerColumn;
};

void PrintTo(const NoiseCase& c, std::ostream* os) {
    *os << "bi-directional " << c.BiDirectional << ", silence " << c.Silence;
}

class NoiseDots : public LiveGraph, public ::testing::WithParamInterface<NoiseCase> {};

TEST_P(NoiseDots, MarkEveryDrawnColumn) {
    mSettings.BiDirectional = GetParam().BiDirectional;
    mSettings.Silence = GetParam().Silence;
    Start();
    Feed(Samples16(11025, 0), true, 11025);
    for (int x = 0; x < 20; ++x) {
        EXPECT_EQ(CountInColumn(mSurface, x, mSettings.NoiseLevelColor), GetParam().DotsPerColumn)
            << "column " << x;
    }
    EXPECT_EQ(CountInColumn(mSurface, 20, mSettings.NoiseLevelColor), 0);
    if (GetParam().DotsPerColumn > 0) {
        // 10 % of full scale: 3277 units, 12.8 pixels above (and below) the bar's base.
        const int y = GetParam().BiDirectional ? 128 - 13 : 255 - 26;
        EXPECT_EQ(mSurface.ColorAt(5, y), mSettings.NoiseLevelColor);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, NoiseDots,
                         ::testing::Values(NoiseCase{true, false, 0}, NoiseCase{false, false, 0},
                                           NoiseCase{true, true, 2}, NoiseCase{false, true, 1}));

struct RowCase {
    int Height;
    bool SixteenBit;
    std::int32_t Level;
    bool BiDirectional;
    int Row;
};

TEST(LevelToY, RoundsHalvesToEvenAndMayLeaveTheSurface) {
    const RowCase cases[] = {
        {256, true, 0, true, 128},    // (255) / 2 = 127.5 -> 128
        {38, true, 0, true, 18},      // 18.5 -> 18
        {256, true, 0, false, 255},   // zero stands on the bottom row
        {256, true, 6400, true, 102}, // 127.5 - 25.0004
        {256, true, -6400, true, 153},
        {256, true, 6400, false, 205}, // 255 - 50.0008
        {256, true, -6400, false, 205},
        {37, true, 32768, true, -1}, // the loudest sample leaves a 37-pixel panel at the top
        {37, true, 32768, false, -1},
        {37, true, -32768, true, 37},
        {256, false, 128, false, -2}, // 255 - 2 * 128 * 256 / 255
    };
    for (const RowCase& c : cases) {
        GraphState state;
        state.Height = c.Height;
        state.Scale = c.Height / FullScale(c.SixteenBit);
        EXPECT_EQ(LevelToY(state, c.Level, c.BiDirectional), c.Row)
            << "height " << c.Height << " level " << c.Level << " bi " << c.BiDirectional;
    }
}

TEST_F(LiveGraph, BarsCoverTheirRowsButNotTheEndRow) {
    for (const bool bi : {true, false}) {
        Start();
        mState.Scale = 256 / 65535.0;
        mState.Pen = mSettings.VoiceColor;
        DrawLevelColumn(mState, 3, 6400, bi);
        DrawLevelColumn(mState, 4, 0, bi);
        const int top = bi ? 102 : 205;
        const int bottom = bi ? 152 : 255;
        for (int y = 0; y < 256; ++y) {
            const bool inBar = y >= top && y <= bottom;
            EXPECT_EQ(mSurface.ColorAt(3, y) == mSettings.VoiceColor, inBar) << "row " << y;
        }
        // A zero level is one pixel on the centre or bottom row.
        EXPECT_EQ(CountInColumn(mSurface, 4, mSettings.VoiceColor), 1);
        EXPECT_EQ(mSurface.ColorAt(4, bi ? 128 : 255), mSettings.VoiceColor);
    }
}

TEST_F(LiveGraph, LoudestSampleInALowPanelIsClippedAtTheTop) {
    for (const bool bi : {true, false}) {
        mSettings.BiDirectional = bi;
        Start(50, 37);
        Feed(Samples16(2000, -32768), true, 11025);
        EXPECT_EQ(mState.ColumnPeak, 32768);
        EXPECT_EQ(CountInColumn(mSurface, 0, mSettings.VoiceColor), 37) << "bi " << bi;
    }
}

TEST_F(LiveGraph, RepaintBlanksAndDrawingGoesOnWhereItWas) {
    Start();
    Feed(Samples16(11025, 20000), true, 11025);
    ResizeGraph(mState, 600, 256, mSettings);
    EXPECT_NEAR(mState.Position, 20.0, 1e-9);
    for (int x = 0; x < 600; ++x) {
        ASSERT_EQ(CountInColumn(mSurface, x, mSettings.BackgroundColor), 256) << "column " << x;
    }
    Feed(Samples16(1102, 20000), true, 11025);
    EXPECT_EQ(CountInColumn(mSurface, 0, mSettings.VoiceColor), 0);
    EXPECT_GT(CountInColumn(mSurface, 20, mSettings.VoiceColor), 0);
    EXPECT_GT(CountInColumn(mSurface, 21, mSettings.VoiceColor), 0);
}

TEST_F(LiveGraph, WrapsRoundWithABlankGapAhead) {
    // 100 columns at 100 pixels per second: one and a half sweeps in 1.5 s.
    mSettings.Velocity = 100;
    Start(100, 40);
    Feed(Samples16(16537, 30000), true, 11025, 8);
    const int x = mState.CurrentColumn;
    EXPECT_EQ(x, 50);
    for (int k = 1; k <= 5; ++k) { // Round(100 * 0.05) columns ahead are wiped
        EXPECT_EQ(CountInColumn(mSurface, (x + k) % 100, mSettings.BackgroundColor), 40) << k;
    }
    EXPECT_GT(CountInColumn(mSurface, x + 6, mSettings.VoiceColor), 0); // left from the first sweep
    EXPECT_GT(CountInColumn(mSurface, x - 1, mSettings.VoiceColor), 0);
}

TEST_F(LiveGraph, ModeChangeAppliesFromTheNextBufferOn) {
    Start();
    Feed(Samples16(11025, 6400), true, 11025);
    mSettings.BiDirectional = false;
    Feed(Samples16(11025, 6400), true, 11025);
    // Column 5 keeps its centred bar (rows 102..152), column 25 stands on the bottom row.
    EXPECT_EQ(mSurface.ColorAt(5, 102), mSettings.VoiceColor);
    EXPECT_EQ(mSurface.ColorAt(5, 255), mSettings.BackgroundColor);
    EXPECT_EQ(mSurface.ColorAt(25, 102), mSettings.BackgroundColor);
    EXPECT_EQ(mSurface.ColorAt(25, 255), mSettings.VoiceColor);
}

TEST_F(LiveGraph, BuffersHandedOverDrawLikeBuffersDrawnDirectly) {
    mSettings.Silence = true;
    Start();
    const std::vector<unsigned char> loud = Samples16(2205, 12000);
    const std::vector<unsigned char> soft(1102, 120); // 8-bit at another rate
    LiveGraphFeed feed(4, 4410);
    feed.Push(loud.data(), 4410, true, 22050);
    feed.Push(soft.data(), 1102, false, 11025);
    EXPECT_EQ(DrawFedBuffers(feed, mState, mSettings), 2u);

    GraphState direct;
    GraphBitmap directSurface(600, 256);
    ClearGraph(direct, &directSurface, 600, 256, mSettings);
    DrawBufferGraph(direct, mSettings, loud.data(), 4410, true, 22050);
    DrawBufferGraph(direct, mSettings, soft.data(), 1102, false, 11025);
    EXPECT_EQ(mSurface, directSurface);
    EXPECT_EQ(mState.Position, direct.Position);
    EXPECT_EQ(mState.ColumnPeak, direct.ColumnPeak);
}

TEST_F(LiveGraph, SurfaceWithoutWidthOnlyKeepsTime) {
    Start(0, 0);
    Feed(Samples16(11025, 1000), true, 11025);
    EXPECT_NEAR(mState.Position, 20.0, 1e-9);
    EXPECT_EQ(mState.CurrentColumn, 0);
}

TEST(QImageSurface, DrawsStandardColoursAndClips) {
    QImage image(10, 8, QImage::Format_RGB32);
    QImageSurface surface(image);
    surface.Fill(ColorNavy);
    EXPECT_EQ(image.pixel(9, 7), qRgb(0, 0, 128));
    surface.SetPixel(2, 3, ColorYellow);
    surface.SetPixel(-1, 3, ColorRed);
    surface.SetPixel(2, 8, ColorRed);
    EXPECT_EQ(image.pixel(2, 3), qRgb(255, 255, 0));
    surface.VerticalRun(4, -5, 3, ColorAqua); // rows 0..2
    surface.VerticalRun(5, 20, 5, ColorLime); // rows 6..7, going up
    surface.VerticalRun(12, 0, 8, ColorRed);
    for (int y = 0; y < 8; ++y) {
        EXPECT_EQ(image.pixel(4, y), y < 3 ? qRgb(0, 255, 255) : qRgb(0, 0, 128)) << y;
        EXPECT_EQ(image.pixel(5, y), y > 5 ? qRgb(0, 255, 0) : qRgb(0, 0, 128)) << y;
    }
    QImage indexed(4, 4, QImage::Format_Indexed8);
    indexed.setColorCount(1);
    indexed.setColor(0, qRgb(1, 2, 3));
    indexed.fill(0);
    QImageSurface converted(indexed);
    converted.SetPixel(1, 1, ColorWhite);
    EXPECT_EQ(indexed.format(), QImage::Format_RGB32);
    EXPECT_EQ(indexed.pixel(1, 1), qRgb(255, 255, 255));
}

TEST(StandardColors, MapToTheirIndexAndOthersToTheNearest) {
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(StandardColorIndex(StandardColors[static_cast<std::size_t>(i)]), i);
    }
    EXPECT_EQ(StandardColorIndex(0x7F0001), 4); // near navy
    EXPECT_EQ(NoiseLevel(10, true), 3277);
    EXPECT_EQ(NoiseLevel(10, false), 13);
    EXPECT_EQ(NoiseLevel(30, true), 9830);
}

} // namespace
} // namespace tellamo
