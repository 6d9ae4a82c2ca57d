#pragma once

#include <memory>
#include <optional>

#include <QEventLoopLocker>
#include <QList>
#include <QObject>

class QAction;
class QIcon;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace tellamo {

// The window's icon in the desktop's notification area (a StatusNotifierItem where the desktop
// has one, the X11 tray otherwise) with its pop-up menu, and the hiding of the window there.
// While the icon is shown and a tray is there to hold it, minimizing the window hides it, taskbar
// entry and all; activating the icon brings it back. The window is never left hidden without an
// icon: when the icon is removed or the tray goes away, the window comes back.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    // menuItems are the pop-up menu's entries in order, nullptr for a separator; the actions
    // stay the caller's, so that their enabled states are the window's own. The menu starts
    // with showText, which brings the window back: some notification areas give a click on the
    // icon to the menu, and the window would have no other way back.
    TrayIcon(QWidget* window, const QIcon& icon, const QString& hint, const QString& showText,
             const QList<QAction*>& menuItems);
    ~TrayIcon() override;

    // Shows or removes the icon; runs at every action-state update. Brings the window back when
    // it is hidden in the tray and the icon goes or no tray is left to show it.
    void SetShown(bool shown);
    // Brings the window back from the tray or from minimized, restored and in front.
    void RestoreWindow();
    // The text shown over the icon; the desktop is told only when it changes.
    void SetHint(const QString& hint);
    // The window is closing for good: the program may end although it is hidden.
    void WindowClosed();

    bool HoldsWindow() const { return mHidden; }
    QSystemTrayIcon* Icon() const { return mIcon; }
    QMenu* Menu() const { return mMenu.get(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A minimized window goes into the tray when the icon is shown and a tray can show it;
    // without a tray it stays minimized, where the taskbar still finds it.
    void HideWindowIfMinimized();

    QWidget* mWindow;
    std::unique_ptr<QMenu> mMenu;
    QSystemTrayIcon* mIcon;
    bool mHidden = false;
    // While the window hides in the tray, closing the last dialog shown from the tray's menu
    // must not end the program as the close of its last window.
    std::optional<QEventLoopLocker> mKeepRunning;
};

} // namespace tellamo
