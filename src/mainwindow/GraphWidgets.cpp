#include "mainwindow/GraphWidgets.h"

#include <QPainter>
#include <QResizeEvent>

namespace tellamo {

SoundPaintBox::SoundPaintBox(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("SoundPaintBox"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    mImage = QImage(1, 1, QImage::Format_RGB32);
}

void SoundPaintBox::SetSurfaceSize(QSize size) {
    size = size.expandedTo(QSize(1, 1));
    if (mImage.size() != size) {
        mImage = QImage(size, QImage::Format_RGB32);
    }
}

void SoundPaintBox::resizeEvent(QResizeEvent* event) {
    const QSize size = event->size().expandedTo(QSize(1, 1));
    if (mImage.size() != size) {
        SetSurfaceSize(size);
        if (Resized) {
            Resized(mImage.width(), mImage.height());
        }
    }
    QWidget::resizeEvent(event);
}

void SoundPaintBox::SetStateText(const QString& text, QColor color) {
    if (text == mStateText && color == mStateColor) {
        return;
    }
    mStateText = text;
    mStateColor = color;
    update();
}

void SoundPaintBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, mImage);
    if (!mStateText.isEmpty()) {
        painter.setPen(mStateColor);
        painter.drawText(rect().adjusted(6, 2, -6, -2), Qt::AlignLeft | Qt::AlignTop, mStateText);
    }
}

GraphImage::GraphImage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("GraphImage"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GraphImage::SetPicture(QImage picture) {
    mImage = std::move(picture);
    update();
}

void GraphImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (mImage.isNull()) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(rect(), mImage);
}

} // namespace tellamo
