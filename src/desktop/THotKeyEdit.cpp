#include "desktop/THotKeyEdit.h"

#include <QKeyEvent>

#include "common/Translate.h"

namespace tellamo {

THotKeyEdit::THotKeyEdit(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
    setPlaceholderText(TranslateText("None"));
    setContextMenuPolicy(Qt::NoContextMenu);
}

void THotKeyEdit::SetHotKey(ShortCut value) {
    const bool changed = value != mValue;
    mValue = value;
    setText(ShortCutToText(value));
    if (changed) {
        emit HotKeyChanged(value);
    }
}

bool THotKeyEdit::event(QEvent* event) {
    // Tab with a modifier is a combination to take, not a move to the next field.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
            (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            keyPressEvent(key);
            return true;
        }
    }
    return QLineEdit::event(event);
}

void THotKeyEdit::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if ((event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) &&
        modifiers == Qt::NoModifier) {
        SetHotKey(0);
        event->accept();
        return;
    }
    const ShortCut pressed =
        ShortCutFromKey(QKeyCombination(modifiers, static_cast<Qt::Key>(event->key())));
    if (pressed != 0) {
        SetHotKey(pressed);
    }
    event->accept();
}

} // namespace tellamo
