#include "mainwindow/Glyphs.h"

#include <QDirIterator>
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

QIcon MakeIcon(const QString& path, int size, bool bordered) {
    QIcon icon;
    for (qreal scale : {1.0, 2.0}) {
        const QImage picture = Render(path, size, scale, bordered);
        icon.addPixmap(QPixmap::fromImage(picture), QIcon::Normal);
        icon.addPixmap(QPixmap::fromImage(Grayed(picture)), QIcon::Disabled);
    }
    return icon;
}

} // namespace

GlyphSet::GlyphSet(bool bordered) {
    for (int i = 0; i < GlyphCount; ++i) {
        Icons[static_cast<std::size_t>(i)] =
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
