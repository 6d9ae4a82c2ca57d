#include "mainwindow/MainKeys.h"

#include <QAction>
#include <QWidget>

#include "mainwindow/MainActions.h"

namespace tellamo {

const std::vector<KeyBinding>& WindowKeyMap() {
    static const std::vector<KeyBinding> map = {
        {"TopicsAction", QKeySequence(Qt::Key_F1), KeyScope::Window},
        {"ExitAction", QKeySequence(Qt::CTRL | Qt::Key_Q), KeyScope::Window},
        {"SaveAsFileAction", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), KeyScope::Window},
        {"RecordAction", QKeySequence(Qt::CTRL | Qt::Key_R), KeyScope::Window},
        {"StopAction", QKeySequence(Qt::CTRL | Qt::Key_Period), KeyScope::Window},
        {"FilterTextAction", QKeySequence(Qt::CTRL | Qt::Key_F), KeyScope::Window},
        {"DeleteNoteAction", QKeySequence(Qt::Key_Delete), KeyScope::NoteList},
        {"RenameNoteAction", QKeySequence(Qt::Key_F2), KeyScope::NoteList},
        {"DeleteFolderAction", QKeySequence(Qt::Key_Delete), KeyScope::FolderTree},
        {"RenameFolderAction", QKeySequence(Qt::Key_F2), KeyScope::FolderTree},
    };
    return map;
}

void ApplyWindowKeyMap(const MainActions& actions, QWidget& window, QWidget& noteList,
                       QWidget& folderTree) {
    for (const KeyBinding& binding : WindowKeyMap()) {
        QAction* action = nullptr;
        for (QAction* candidate : actions.All()) {
            if (candidate->objectName() == QLatin1String(binding.Action)) {
                action = candidate;
            }
        }
        if (!action) {
            continue;
        }
        action->setShortcut(binding.Keys);
        switch (binding.Scope) {
        case KeyScope::Window:
            // Also while the menu that shows it is hidden (the Note menu is at first).
            window.addAction(action);
            break;
        case KeyScope::NoteList:
            action->setShortcutContext(Qt::WidgetShortcut);
            noteList.addAction(action);
            break;
        case KeyScope::FolderTree:
            action->setShortcutContext(Qt::WidgetShortcut);
            folderTree.addAction(action);
            break;
        }
    }
}

} // namespace tellamo
