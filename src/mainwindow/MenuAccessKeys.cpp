#include "mainwindow/MenuAccessKeys.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>

namespace tellamo {

void MenuAccessKeys::Watch(QMenu* menu) {
    menu->installEventFilter(this);
}

bool MenuAccessKeys::eventFilter(QObject* watched, QEvent* event) {
    auto* menu = qobject_cast<QMenu*>(watched);
    if (!menu || event->type() != QEvent::KeyPress) {
        return false;
    }
    const auto* key = static_cast<const QKeyEvent*>(event);
    // The same keys a menu itself takes as access keys: the letter, with Alt or Shift or alone.
    const Qt::KeyboardModifiers other = key->modifiers() & ~(Qt::AltModifier | Qt::ShiftModifier);
    if (key->text().size() != 1 || other != Qt::NoModifier) {
        return false;
    }
    const char32_t pressed = key->text().at(0).toUpper().unicode();
    int sharing = 0;
    QAction* enabled = nullptr;
    int enabledCount = 0;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator() || !action->isVisible()) {
            continue;
        }
        const QKeySequence mnemonic = QKeySequence::mnemonic(action->text());
        if (mnemonic.isEmpty() || static_cast<char32_t>(mnemonic[0].key()) != pressed) {
            continue;
        }
        ++sharing;
        if (action->isEnabled()) {
            enabled = action;
            ++enabledCount;
        }
    }
    if (sharing < 2 || enabledCount != 1) {
        return false;
    }
    // Chosen as if highlighted and confirmed with Enter: the menus close (or the sub-menu opens)
    // the way they do for any chosen entry.
    menu->setActiveAction(enabled);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(menu, &enter);
    return true;
}

} // namespace tellamo
