#include "mainwindow/Glyphs.h"

#include <algorithm>
#include <vector>

#include <QDirIterator>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace tellamo {

namespace {

QString FindResource(const QString& folder, int index, int digits) {
    InitIconResources();
    const QString prefix =
        QStringLiteral("%1").arg(index, digits, 10, QLatin1Char('0')) + QLatin1Char('-');
    QDirIterator it(QStringLiteral(":/icons/") + folder);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName().startsWith(prefix)) {
            return path;
        }
    }
    return {};
}

QImage Render(const QString& path, int size, qreal scale, bool bordered) {
    QImage image(QSize(size, size) * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (bordered) {
        // A raised key around the picture: the bordered set of the "Glyph border" option.
        QPainterPath frame;
        frame.addRoundedRect(QRectF(0.5, 0.5, size - 1.0, size - 1.0), 3, 3);
        QLinearGradient fill(0, 0, 0, size);
        fill.setColorAt(0, QColor(255, 255, 255, 150));
        fill.setColorAt(1, QColor(200, 200, 200, 110));
        painter.fillPath(frame, fill);
        painter.setPen(QPen(QColor(110, 110, 110, 210), 1.0));
        painter.drawPath(frame);
        QSvgRenderer(path).render(&painter, QRectF(1.5, 1.5, size - 3.0, size - 3.0));
    } else {
        QSvgRenderer(path).render(&painter, QRectF(0, 0, size, size));
    }
    return image;
}

QImage Grayed(const QImage& source) {
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int gray = qGray(line[x]);
            const int light = 128 + gray / 3; // flattened and lightened, as disabled buttons look
            line[x] = qRgba(light, light, light, qAlpha(line[x]) * 45 / 100);
        }
    }
    image.setDevicePixelRatio(source.devicePixelRatio());
    return image;
}

// Renders a picture when a view first asks for it, at the size and scale asked, and keeps it:
// the window shows one set of pictures at one scale, so rendering every set at every scale up
// front was most of the start-up's fixed cost.
class GlyphEngine final : public QIconEngine {
public:
    GlyphEngine(QString path, int size, bool bordered)
        : mPath(std::move(path)), mSize(size), mBordered(bordered) {}

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        const int pixels = std::max(1, std::min(size.width(), size.height()));
        // Active and Selected show the normal picture, as an icon made of pixmaps does.
        const bool disabled = mode == QIcon::Disabled;
        for (const Rendered& r : mRendered) {
            if (r.Pixels == pixels && r.Disabled == disabled) {
                return r.Picture;
            }
        }
        const QImage picture = Render(mPath, mSize, static_cast<qreal>(pixels) / mSize, mBordered);
        QPixmap pixmap = QPixmap::fromImage(disabled ? Grayed(picture) : picture);
        pixmap.setDevicePixelRatio(1.0);
        mRendered.push_back({pixels, disabled, pixmap});
        return pixmap;
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, pixmap(rect.size() * ratio, mode, state));
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new GlyphEngine(*this); }

private:
    struct Rendered {
        int Pixels;
        bool Disabled;
        QPixmap Picture;
    };
    QString mPath;
    int mSize;
    bool mBordered;
    std::vector<Rendered> mRendered;
};

QIcon MakeIcon(const QString& path, int size, bool bordered) {
    return QIcon(new GlyphEngine(path, size, bordered));
}

} // namespace

GlyphSet::GlyphSet(bool bordered) {
    for (int i = 0; i < GlyphCount; ++i) {
        mIcons[static_cast<std::size_t>(i)] =
            MakeIcon(FindResource(QStringLiteral("toolbar"), i, 2), 24, bordered);
    }
}

QIcon TreeImage(int index) {
    return MakeIcon(FindResource(QStringLiteral("tree"), index, 1), 16, false);
}

QIcon ApplicationIcon() {
    InitIconResources();
    return QIcon(QStringLiteral(":/icons/tellamo.svg"));
}

} // namespace tellamo
