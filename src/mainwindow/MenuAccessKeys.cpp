#include "mainwindow/MenuAccessKeys.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace tellamo {

namespace {

// The key of the caption's access key without modifiers (Qt::Key_F for "&File"), or 0.
int AccessKey(const QAction* action) {
    const QKeySequence mnemonic = QKeySequence::mnemonic(action->text());
    return mnemonic.isEmpty() ? 0 : static_cast<int>(mnemonic[0].key());
}

bool Offered(const QAction* action) {
    return !action->isSeparator() && action->isVisible() && action->isEnabled();
}

} // namespace

void MenuAccessKeys::Watch(QMenu* menu) {
    menu->installEventFilter(this);
}

void MenuAccessKeys::WatchBar(QMenuBar* bar) {
    mBar = bar;
    bar->installEventFilter(this);
}

bool MenuAccessKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Shortcut && watched == mBar) {
        // The bar's own Alt+letter shortcuts; nothing else of the bar is a shortcut. (Alt
        // pressed in an open menu closes it first, so the bar's menus are all closed here.)
        const QKeySequence sequence = static_cast<QShortcutEvent*>(event)->key();
        if (sequence.count() != 1 || sequence[0].keyboardModifiers() != Qt::AltModifier) {
            return false;
        }
        // Taken even when no shown, enabled menu has the key: the toolkit would hand the next
        // press of a shared key to a hidden menu.
        OpenBarMenu(static_cast<int>(sequence[0].key()), nullptr);
        return true;
    }
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
    const int pressed = static_cast<int>(key->text().at(0).toUpper().unicode());
    return MenuKeyPress(menu, pressed);
}

bool MenuAccessKeys::MenuKeyPress(QMenu* menu, int key) {
    int sharing = 0;
    QAction* enabled = nullptr;
    int enabledCount = 0;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator() || !action->isVisible() || AccessKey(action) != key) {
            continue;
        }
        ++sharing;
        if (action->isEnabled()) {
            enabled = action;
            ++enabledCount;
        }
    }
    if (sharing == 0 && mBar && mBar->actions().contains(menu->menuAction()) &&
        AccessKey(menu->menuAction()) == key) {
        // The bar's menu's own key, which none of its entries has: the next menu of the bar
        // that shares it.
        return OpenBarMenu(key, menu);
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

bool MenuAccessKeys::OpenBarMenu(int key, QMenu* open) {
    if (!mBar) {
        return false;
    }
    QList<QAction*> sharing;
    for (QAction* action : mBar->actions()) {
        if (Offered(action) && AccessKey(action) == key) {
            sharing.append(action);
        }
    }
    if (sharing.isEmpty()) {
        return false;
    }
    const qsizetype at = open ? sharing.indexOf(open->menuAction()) : -1;
    QAction* chosen = sharing.at(at < 0 ? 0 : (at + 1) % sharing.size());
    QMenu* menu = chosen->menu();
    if (!menu) {
        chosen->trigger();
        return true;
    }
    if (menu->isVisible()) {
        return true; // the only menu with the key is the one open
    }
    mBar->setActiveAction(chosen);
    // Opened by the keyboard: the first entry that can be chosen is highlighted (a sub-menu's
    // entry without opening it), so that Enter chooses it, as when the toolkit opens a menu by
    // its key.
    if (menu->isVisible() && !menu->activeAction()) {
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QCoreApplication::sendEvent(menu, &down);
    }
    return true;
}

} // namespace tellamo
