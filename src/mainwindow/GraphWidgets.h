#pragma once

#include <functional>

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include "dictaphone/GraphSurface.h"

namespace tellamo {

// The live graph's surface while recording: an off-screen picture the window thread draws into
// and the widget shows. A resize blanks it (the window redraws the background through Resized);
// being uncovered only shows the picture again.
class SoundPaintBox : public QWidget {
    Q_OBJECT
public:
    explicit SoundPaintBox(QWidget* parent);
    GraphSurface& Surface() { return mSurface; }
    // Sizes the picture now, also while the widget is hidden (a recording starts before the
    // surface is shown).
    void SetSurfaceSize(QSize size);
    std::function<void(int width, int height)> Resized;
    // What the recording is doing when it is not taking sound ("Paused", "Waiting for speech"),
    // written over the graph's top left corner; empty text shows none.
    void SetStateText(const QString& text, QColor color);
    const QString& StateText() const { return mStateText; }
    const QImage& Picture() const { return mImage; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QImage mImage;
    QImageSurface mSurface{mImage};
    QString mStateText;
    QColor mStateColor;
};

// The stored graph of the current note, stretched over the whole panel (the caller gives it the
// rows that hold the graph, so that its bars fill the panel's height).
class GraphImage : public QWidget {
    Q_OBJECT
public:
    explicit GraphImage(QWidget* parent);
    void SetPicture(QImage picture);
    const QImage& Picture() const { return mImage; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage mImage;
};

} // namespace tellamo
