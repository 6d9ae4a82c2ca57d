#pragma once

#include <QImage>

#include "dictaphone/GraphSettings.h"

namespace tellamo {

// Something the level graphs draw on: the live surface while recording, a graph file's picture
// while it is built. Only single pixels, vertical runs and whole fills are ever needed, so the
// primitives are written straight into the pixels; every call clips to the surface, so rows and
// columns outside it are simply not drawn.
class GraphSurface {
public:
    virtual ~GraphSurface() = default;

    virtual int SurfaceWidth() const = 0;
    virtual int SurfaceHeight() const = 0;
    virtual void Fill(ColorValue color) = 0;
    virtual void SetPixel(int x, int y, ColorValue color) = 0;
    // Rows y0 up to, not including, yEnd of column x; y0 may be above or below yEnd.
    virtual void VerticalRun(int x, int y0, int yEnd, ColorValue color) = 0;
};

// A 32-bit QImage as a drawing surface. The image stays owned by its widget; it is converted to
// Format_RGB32 when it has another format. Not thread-safe: draw on the thread that paints it.
class QImageSurface final : public GraphSurface {
public:
    explicit QImageSurface(QImage& image);

    int SurfaceWidth() const override { return mImage.width(); }
    int SurfaceHeight() const override { return mImage.height(); }
    void Fill(ColorValue color) override;
    void SetPixel(int x, int y, ColorValue color) override;
    void VerticalRun(int x, int y0, int yEnd, ColorValue color) override;

private:
    QImage& mImage;
};

// 0x00BBGGRR to Qt's 0xAARRGGBB, opaque.
QRgb ColorToQRgb(ColorValue color);

} // namespace tellamo
