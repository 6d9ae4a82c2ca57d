#include "mainwindow/GraphWidgets.h"

#include <QPainter>
#include <QResizeEvent>

namespace tellamo {

TSoundPaintBox::TSoundPaintBox(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("SoundPaintBox"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    Image = QImage(1, 1, QImage::Format_RGB32);
}

void TSoundPaintBox::SetSurfaceSize(QSize size) {
    size = size.expandedTo(QSize(1, 1));
    if (Image.size() != size) {
        Image = QImage(size, QImage::Format_RGB32);
    }
}

void TSoundPaintBox::resizeEvent(QResizeEvent* event) {
    const QSize size = event->size().expandedTo(QSize(1, 1));
    if (Image.size() != size) {
        SetSurfaceSize(size);
        if (Resized) {
            Resized(Image.width(), Image.height());
        }
    }
    QWidget::resizeEvent(event);
}

void TSoundPaintBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, Image);
}

TGraphImage::TGraphImage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("GraphImage"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TGraphImage::SetPicture(QImage picture) {
    Image = std::move(picture);
    update();
}

void TGraphImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (Image.isNull()) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(rect(), Image);
}

} // namespace tellamo
