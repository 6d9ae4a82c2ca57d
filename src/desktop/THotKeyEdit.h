#pragma once

#include <QLineEdit>

#include "desktop/ShortCut.h"

namespace tellamo {

// A hotkey field: the next combination pressed in it becomes its shortcut, shown in the menu
// form ("Shift+Ctrl+R"). Backspace or Delete alone clears it; Tab alone moves on. A key that has
// no shortcut code leaves the value as it was.
class THotKeyEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit THotKeyEdit(QWidget* parent = nullptr);

    ShortCut HotKey() const { return mValue; }
    void SetHotKey(ShortCut value);

signals:
    void HotKeyChanged(ShortCut value);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    ShortCut mValue = 0;
};

} // namespace tellamo
