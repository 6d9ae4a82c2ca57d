#include "dictaphone/TellamoGraph.h"

#include <cmath>
#include <cstdlib>

#include "common/Rounding.h"

namespace tellamo {

int StandardColorIndex(ColorValue color) {
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < static_cast<int>(StandardColors.size()); ++i) {
        const ColorValue c = StandardColors[static_cast<std::size_t>(i)];
        if (c == (color & 0xFFFFFF)) {
            return i;
        }
        long distance = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            const long d =
                static_cast<long>((c >> shift) & 0xFF) - static_cast<long>((color >> shift) & 0xFF);
            distance += d * d;
        }
        if (bestDistance < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

std::int32_t NoiseLevel(int percent, bool sixteenBit) {
    return RoundHalfEven32(percent / 100.0 * (sixteenBit ? 32767.0 : 127.0));
}

void ClearGraph(GraphState& state, GraphSurface* target, int width, int height,
                const GraphSettings& settings) {
    state.Target = target;
    state.Position = 0;
    state.CurrentColumn = 0;
    state.ColumnPeak = 0;
    ResizeGraph(state, width, height, settings);
}

void ResizeGraph(GraphState& state, int width, int height, const GraphSettings& settings) {
    state.Width = width;
    state.Height = height;
    if (state.Target) {
        state.Target->Fill(settings.BackgroundColor);
    }
}

int LevelToY(const GraphState& state, std::int32_t level, bool biDirectional) {
    const double x = level * state.Scale;
    if (biDirectional) {
        return RoundHalfEven32((state.Height - 1) / 2.0 - x);
    }
    return RoundHalfEven32(state.Height - 1 - 2 * std::fabs(x));
}

void DrawLevelColumn(GraphState& state, int column, std::int32_t level, bool biDirectional) {
    if (!state.Target) {
        return;
    }
    const int y1 = LevelToY(state, level, biDirectional);
    const int y2 = biDirectional ? LevelToY(state, -level, true) : state.Height;
    if (y1 == y2) {
        state.Target->SetPixel(column, y1, state.Pen);
    } else {
        state.Target->VerticalRun(column, y1, y2, state.Pen);
    }
}

namespace {

inline std::int32_t SampleAt(const unsigned char* bytes, std::size_t i, bool sixteenBit) {
    if (sixteenBit) {
        return static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return static_cast<std::int32_t>(bytes[i]) - 128;
}

} // namespace

void DrawBufferGraph(GraphState& state, const GraphSettings& settings, const void* samples,
                     std::uint16_t byteCount, bool sixteenBit, std::uint16_t sampleRate) {
    if (byteCount == 0 || sampleRate == 0 || !samples) {
        return;
    }
    const std::size_t count = sixteenBit ? byteCount / 2u : byteCount;
    const double pixelsPerSample = static_cast<double>(settings.Velocity) / sampleRate;
    if (state.Width <= 0 || state.Height <= 0 || !state.Target) {
        // Nothing to draw on (a collapsed panel): keep time so that drawing resumes at the
        // position the sound has reached.
        state.Position += pixelsPerSample * static_cast<double>(count);
        return;
    }
    const bool bi = settings.BiDirectional;
    state.Scale = state.Height / FullScale(sixteenBit);
    const std::int32_t noise = NoiseLevel(settings.NoiseLevelPercent, sixteenBit);
    const int noiseTop = LevelToY(state, noise, bi);
    const int noiseBottom = LevelToY(state, -noise, bi);
    const std::int64_t gap = RoundHalfEven(state.Width * 0.05);
    const auto* bytes = static_cast<const unsigned char*>(samples);

    for (std::size_t i = 0; i < count; ++i) {
        state.Position += pixelsPerSample;
        const auto x = static_cast<std::int32_t>(RoundHalfEven(state.Position) % state.Width);
        if (x != state.CurrentColumn) {
            state.Pen = settings.VoiceColor;
            DrawLevelColumn(state, state.CurrentColumn, state.ColumnPeak, bi);
            state.ColumnPeak = 0;
            if (settings.Silence) {
                state.Target->SetPixel(state.CurrentColumn, noiseTop, settings.NoiseLevelColor);
                state.Target->SetPixel(state.CurrentColumn, noiseBottom, settings.NoiseLevelColor);
            }
            state.CurrentColumn = x;
            state.Pen = settings.BackgroundColor;
            const auto wiped = static_cast<int>((x + gap) % state.Width);
            state.Target->VerticalRun(wiped, 0, state.Height, state.Pen);
        }
        const std::int32_t magnitude = std::abs(SampleAt(bytes, i, sixteenBit));
        if (magnitude > state.ColumnPeak) {
            state.ColumnPeak = magnitude;
        }
    }
}

std::size_t DrawFedBuffers(LiveGraphFeed& feed, GraphState& state, const GraphSettings& settings) {
    return feed.Drain([&](const LiveGraphFeed::Buffer& b) {
        DrawBufferGraph(state, settings, b.Samples, b.ByteCount, b.SixteenBit, b.SampleRate);
    });
}

} // namespace tellamo
