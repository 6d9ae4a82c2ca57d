#include "desktop/TrayIcon.h"

#include <QAction>
#include <QEvent>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

namespace tellamo {

TTrayIcon::TTrayIcon(QWidget* window, const QIcon& icon, const QString& hint,
                     const QString& showText, const QList<QAction*>& menuItems)
    : QObject(window), Window(window), TrayPopupMenu(std::make_unique<QMenu>()),
      TrayIcon(new QSystemTrayIcon(icon, this)) {
    setObjectName(QStringLiteral("TrayIcon"));
    TrayPopupMenu->setObjectName(QStringLiteral("TrayPopupMenu"));
    QAction* show = TrayPopupMenu->addAction(showText, this, &TTrayIcon::RestoreWindow);
    show->setObjectName(QStringLiteral("ShowWindowItem"));
    TrayPopupMenu->addSeparator();
    for (QAction* item : menuItems) {
        if (item) {
            TrayPopupMenu->addAction(item);
        } else {
            TrayPopupMenu->addSeparator();
        }
    }
    TrayIcon->setToolTip(hint);
    TrayIcon->setContextMenu(TrayPopupMenu.get());
    // A StatusNotifierItem host reports a click as Trigger and has no double click, so both
    // bring the window back; the X11 tray reports both.
    connect(TrayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    RestoreWindow();
                }
            });
    Window->installEventFilter(this);
}

TTrayIcon::~TTrayIcon() {
    // The icon goes before the menu it shows.
    delete TrayIcon;
    TrayIcon = nullptr;
}

void TTrayIcon::SetShown(bool shown) {
    if (TrayIcon->isVisible() != shown) {
        TrayIcon->setVisible(shown);
    }
    if (Hidden && (!shown || !QSystemTrayIcon::isSystemTrayAvailable())) {
        RestoreWindow();
    }
}

void TTrayIcon::RestoreWindow() {
    Window->setWindowState((Window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    Window->show();
    Window->raise();
    Window->activateWindow();
}

void TTrayIcon::SetHint(const QString& hint) {
    if (TrayIcon->toolTip() != hint) {
        TrayIcon->setToolTip(hint);
    }
}

void TTrayIcon::WindowClosed() {
    Hidden = false;
    KeepRunning.reset();
}

void TTrayIcon::HideWindowIfMinimized() {
    if (Window->isMinimized() && Window->isVisible() && TrayIcon->isVisible() &&
        QSystemTrayIcon::isSystemTrayAvailable()) {
        Hidden = true;
        KeepRunning.emplace();
        Window->hide();
    }
}

bool TTrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Window) {
        if (event->type() == QEvent::WindowStateChange && Window->isMinimized()) {
            // Hiding inside the state change would fight the window system's own handling of it.
            QTimer::singleShot(0, this, &TTrayIcon::HideWindowIfMinimized);
        } else if (event->type() == QEvent::Show && Window->isVisible()) {
            // (The window system also reports an expose of the hidden window as a show.)
            Hidden = false;
            KeepRunning.reset();
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tellamo
