#include "dictaphone/GraphSurface.h"

#include <algorithm>

namespace tellamo {

QRgb ColorToQRgb(ColorValue color) {
    return qRgb(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

QImageSurface::QImageSurface(QImage& image) : mImage(image) {
    if (!mImage.isNull() && mImage.format() != QImage::Format_RGB32 &&
        mImage.format() != QImage::Format_ARGB32 &&
        mImage.format() != QImage::Format_ARGB32_Premultiplied) {
        mImage = mImage.convertToFormat(QImage::Format_RGB32);
    }
}

void QImageSurface::Fill(ColorValue color) {
    mImage.fill(ColorToQRgb(color));
}

void QImageSurface::SetPixel(int x, int y, ColorValue color) {
    if (x < 0 || y < 0 || x >= mImage.width() || y >= mImage.height()) {
        return;
    }
    reinterpret_cast<QRgb*>(mImage.scanLine(y))[x] = ColorToQRgb(color);
}

void QImageSurface::VerticalRun(int x, int y0, int yEnd, ColorValue color) {
    if (x < 0 || x >= mImage.width() || y0 == yEnd) {
        return;
    }
    // The run covers y0 and stops short of yEnd, whichever way it goes.
    int first = y0 < yEnd ? y0 : yEnd + 1;
    int last = y0 < yEnd ? yEnd - 1 : y0;
    first = std::max(first, 0);
    last = std::min(last, mImage.height() - 1);
    if (first > last) {
        return;
    }
    const QRgb pixel = ColorToQRgb(color);
    uchar* bits = mImage.bits(); // detaches once, not per row
    const qsizetype stride = mImage.bytesPerLine();
    for (int y = first; y <= last; ++y) {
        reinterpret_cast<QRgb*>(bits + stride * y)[x] = pixel;
    }
}

} // namespace tellamo
