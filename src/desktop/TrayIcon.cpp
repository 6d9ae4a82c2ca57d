#include "desktop/TrayIcon.h"

#include <QAction>
#include <QEvent>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

namespace tellamo {

TrayIcon::TrayIcon(QWidget* window, const QIcon& icon, const QString& hint, const QString& showText,
                   const QList<QAction*>& menuItems)
    : QObject(window), mWindow(window), mMenu(std::make_unique<QMenu>()),
      mIcon(new QSystemTrayIcon(icon, this)) {
    setObjectName(QStringLiteral("TrayIcon"));
    mMenu->setObjectName(QStringLiteral("TrayPopupMenu"));
    QAction* show = mMenu->addAction(showText, this, &TrayIcon::RestoreWindow);
    show->setObjectName(QStringLiteral("ShowWindowItem"));
    mMenu->addSeparator();
    for (QAction* item : menuItems) {
        if (item) {
            mMenu->addAction(item);
        } else {
            mMenu->addSeparator();
        }
    }
    mIcon->setToolTip(hint);
    mIcon->setContextMenu(mMenu.get());
    // A StatusNotifierItem host reports a click as Trigger and has no double click, so both
    // bring the window back; the X11 tray reports both.
    connect(mIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    RestoreWindow();
                }
            });
    mWindow->installEventFilter(this);
}

TrayIcon::~TrayIcon() {
    // The icon goes before the menu it shows.
    delete mIcon;
    mIcon = nullptr;
}

void TrayIcon::SetShown(bool shown) {
    if (mIcon->isVisible() != shown) {
        mIcon->setVisible(shown);
    }
    if (mHidden && (!shown || !QSystemTrayIcon::isSystemTrayAvailable())) {
        RestoreWindow();
    }
}

void TrayIcon::RestoreWindow() {
    mWindow->setWindowState((mWindow->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    mWindow->show();
    mWindow->raise();
    mWindow->activateWindow();
}

void TrayIcon::SetHint(const QString& hint) {
    if (mIcon->toolTip() != hint) {
        mIcon->setToolTip(hint);
    }
}

void TrayIcon::WindowClosed() {
    mHidden = false;
    mKeepRunning.reset();
}

void TrayIcon::HideWindowIfMinimized() {
    if (mWindow->isMinimized() && mWindow->isVisible() && mIcon->isVisible() &&
        QSystemTrayIcon::isSystemTrayAvailable()) {
        mHidden = true;
        mKeepRunning.emplace();
        mWindow->hide();
    }
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mWindow) {
        if (event->type() == QEvent::WindowStateChange && mWindow->isMinimized()) {
            // Hiding inside the state change would fight the window system's own handling of it.
            QTimer::singleShot(0, this, &TrayIcon::HideWindowIfMinimized);
        } else if (event->type() == QEvent::Show && mWindow->isVisible()) {
            // (The window system also reports an expose of the hidden window as a show.)
            mHidden = false;
            mKeepRunning.reset();
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tellamo
