#pragma once

#include <vector>

#include <QKeySequence>

class QWidget;

namespace tellamo {

struct MainActions;

// Where a key of the window's key map works: anywhere in the window, or only while the note
// list or the folder tree has the focus (Delete and F2 act on what has the focus).
enum class KeyScope { Window, NoteList, FolderTree };

struct KeyBinding {
    const char* Action; // the action's object name
    QKeySequence Keys;
    KeyScope Scope;
};

// The window's keys beside their actions, as the menus show them.
const std::vector<KeyBinding>& WindowKeyMap();

// Gives the actions their keys and attaches each to where it works, so that it works whether or
// not a menu that shows it is open or shown at all.
void ApplyWindowKeyMap(const MainActions& actions, QWidget& window, QWidget& noteList,
                       QWidget& folderTree);

} // namespace tellamo
