#pragma once

#include <QObject>

class QMenu;

namespace tellamo {

// Access keys shared by several entries of one menu ("&Record" and "&Rename" in the Note menu).
// The toolkit only moves the highlight between such entries, even when all but one of them are
// disabled, so the key seems to do nothing. This filter chooses the entry when exactly one
// enabled, visible entry of the open menu has the pressed key; otherwise the toolkit's own
// handling (choose a single entry, move between several enabled ones) stays.
class MenuAccessKeys : public QObject {
    Q_OBJECT
public:
    explicit MenuAccessKeys(QObject* parent) : QObject(parent) {}
    // Watches the menu's key presses for as long as both live.
    void Watch(QMenu* menu);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace tellamo
