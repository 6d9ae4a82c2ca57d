#pragma once

#include <QObject>
#include <QPointer>

class QAction;
class QMenu;
class QMenuBar;

namespace tellamo {

// Access keys shared by several entries of one menu ("&Record" and "&Rename" in the Note menu),
// or by several menus of the menu bar ("&File" and "&Folder").
//
// In an open menu the toolkit only moves the highlight between entries sharing a key, even when
// all but one of them are disabled, so the key seems to do nothing. This filter chooses the entry
// when exactly one enabled, visible entry of the open menu has the pressed key; otherwise the
// toolkit's own handling (choose a single entry, move between several enabled ones) stays.
//
// In the menu bar the toolkit keeps an Alt+letter for every menu, hidden ones too, and hands a
// key that two menus share to each in turn: with the Folder menu hidden, every second Alt+F went
// to it and did nothing. Here Alt+letter opens the first shown, enabled menu with that key, every
// time. When several share it, that letter pressed in one of them, which none of its entries
// has, opens the next (then the first again), the way a shared key moves between the entries of
// a menu. (Alt pressed in an open menu closes it, so Alt+letter always starts from the bar.)
class MenuAccessKeys : public QObject {
    Q_OBJECT
public:
    explicit MenuAccessKeys(QObject* parent) : QObject(parent) {}
    // Watches the menu's key presses for as long as both live.
    void Watch(QMenu* menu);
    // Takes over the menu bar's access keys for as long as both live.
    void WatchBar(QMenuBar* bar);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool MenuKeyPress(QMenu* menu, int key);
    // Opens the bar's menu for the key, the one after `open` when several share it (see above);
    // false when no shown, enabled menu has the key.
    bool OpenBarMenu(int key, QMenu* open);

    QPointer<QMenuBar> mBar;
};

} // namespace tellamo
