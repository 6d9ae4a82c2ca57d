#!/usr/bin/python3
# Walks the program's accessible tree over AT-SPI, as a screen reader sees it.
# Usage: atspi-walk.py main | dialog TITLE | announced PREFIX COMMAND... | list TEXT ROWS |
#        word INDEX
#   main: every control of the main window has a name, the main controls have the names of the
#         table below, and the note list's rows read as start, duration, description;
#   dialog: the window titled TITLE is there, with controls, and every one of them has a name.
#   announced: runs COMMAND (the keys that change the dictaphone's state) and waits up to 15 s
#         for the program to announce a name that starts with PREFIX ("Playing, "), as a screen
#         reader hears a change of state.
#   list: waits up to 15 s for the filter's text field to hold TEXT and the note list to show
#         ROWS rows, and prints the rows as they read.
#   word: prints "X Y WORD": the screen point at the middle of the INDEX-th word (from 0) of the
#         transcript pane, as its text and character extents tell; fails when the word is not
#         in the pane's view.
# Prints each problem and exits 1; exits 0 when there is none.
import re
import sys
import time

import pyatspi

CONTROLS = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_SLIDER,
    pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_CHECK_BOX,
    pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_CHECK_MENU_ITEM, pyatspi.ROLE_RADIO_MENU_ITEM,
    pyatspi.ROLE_MENU, pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE,
    pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_RADIO_BUTTON, pyatspi.ROLE_PAGE_TAB,
}

TOGGLE = (pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX)  # Qt shows a toggle as a check box
MENU = (pyatspi.ROLE_MENU, pyatspi.ROLE_MENU_ITEM)
# The main controls: their roles (None: any) and how their name starts.
EXPECTED = [
    ((pyatspi.ROLE_PUSH_BUTTON,), "Play"),
    (TOGGLE, "Pause"),
    ((pyatspi.ROLE_PUSH_BUTTON,), "Stop"),
    ((pyatspi.ROLE_PUSH_BUTTON,), "Record"),
    ((pyatspi.ROLE_PUSH_BUTTON,), "Skip Back"),
    ((pyatspi.ROLE_PUSH_BUTTON,), "Skip Forward"),
    ((pyatspi.ROLE_SPIN_BUTTON,), "Playback speed"),
    (TOGGLE, "Mute"),
    (TOGGLE, "Stop record when silence"),
    (TOGGLE, "Affiliated notes"),
    (TOGGLE, "Filter"),
    (TOGGLE, "Case Insensitive"),
    (TOGGLE, "Search spoken words"),
    ((pyatspi.ROLE_SLIDER,), "Volume "),
    ((pyatspi.ROLE_SLIDER,), "Noise level 10 %"),
    ((pyatspi.ROLE_SLIDER,), "Position 0:00:00"),
    (None, "Stopped, 0:00:00 of 0:00:03"),  # the time label, on the current note
    (None, "Level graph of the note, 0:00:03"),
    ((pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE), "Folders"),
    ((pyatspi.ROLE_TABLE,), "Notes"),
    ((pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY), "Text of the filter"),
    (None, "Transcript"),
    (MENU, "File"),
    (MENU, "Save As..."),
    (MENU, "Exit"),
    (MENU, "Options..."),
    (MENU, "Contents..."),
]


def application():
    deadline = time.time() + 30
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name and "tellamo" in app.name.lower():
                return app
        time.sleep(0.2)
    sys.exit("the program is not on the accessibility bus")


def walk(node, found, depth=0):
    if node is None or depth > 40:
        return
    found.append(node)
    for i in range(node.childCount):
        walk(node.getChildAtIndex(i), found, depth + 1)


def window(app, title):
    deadline = time.time() + 15
    names = []
    while time.time() < deadline:
        names = []
        for i in range(app.childCount):
            w = app.getChildAtIndex(i)
            if w is None:
                continue
            names.append(w.name)
            if w.name == title and w.getState().contains(pyatspi.STATE_SHOWING):
                return w
        time.sleep(0.2)
    sys.exit(f"no window titled {title!r} among {names}")


def describe(node):
    parent = node.parent
    where = f"{parent.getRoleName()} {parent.name!r}" if parent else "nowhere"
    states = [str(s) for s in node.getState().getStates()]
    return f"a {node.getRoleName()} without a name (in {where}; {node.description!r} {states})"


def unnamed(nodes):
    return [describe(n) for n in nodes
            if n.getRole() in CONTROLS and not (n.name or "").strip()]


def announced(prefix, command):
    import subprocess
    from gi.repository import GLib
    heard = []

    def listen(event):
        name = event.source.name if event.source else ""
        heard.append(name)
        if name and name.startswith(prefix):
            pyatspi.Registry.stop()

    pyatspi.Registry.registerEventListener(listen, "object:property-change:accessible-name")
    GLib.timeout_add(300, lambda: subprocess.run(command, check=False) and False)
    GLib.timeout_add(15000, lambda: pyatspi.Registry.stop() or False)
    pyatspi.Registry.start()
    if not any(h and h.startswith(prefix) for h in heard):
        return [f"no announcement starting {prefix!r}; heard {heard[-6:]}"]
    return []


def find(app, role, name):
    nodes = []
    walk(window(app, "Tellamo"), nodes)
    for n in nodes:
        if n.getRole() in role and n.name == name:
            return n
    sys.exit(f"no {role[0]} named {name!r} in the main window")


def rows_of(table):
    t = table.queryTable()
    return [(t.getAccessibleAt(r, 0).name or "") for r in range(t.nRows)]


def filtered_list(app, typed, count):
    text = find(app, (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY), "Text of the filter").queryText()
    table = find(app, (pyatspi.ROLE_TABLE,), "Notes")
    deadline = time.time() + 15
    while True:
        # The list is filtered as each character arrives, in the thread that answers here: once
        # the field holds the whole text, the rows are those of that text.
        held = text.getText(0, -1)
        rows = rows_of(table)
        if held == typed and len(rows) == count:
            for row in rows:
                print(row)
            return []
        if time.time() > deadline:
            return [f"the filter holds {held!r} and the list shows {len(rows)} rows, not {count}: "
                    f"{rows[:8]}"]
        time.sleep(0.1)


def word_point(app, index):
    pane = find(app, (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY), "Transcript")
    text = pane.queryText()
    deadline = time.time() + 15
    while True:
        words = list(re.finditer(r"\S+", text.getText(0, -1)))
        if index < len(words):
            break
        if time.time() > deadline:
            return [f"the transcript pane shows {len(words)} words, not word {index}"]
        time.sleep(0.1)
    word = words[index]
    first = text.getCharacterExtents(word.start(), pyatspi.DESKTOP_COORDS)
    last = text.getCharacterExtents(word.end() - 1, pyatspi.DESKTOP_COORDS)
    x, y = (first[0] + last[0] + last[2]) // 2, first[1] + first[3] // 2
    px, py, pw, ph = pane.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    if first[2] <= 0 or not (px <= x < px + pw and py <= y < py + ph):
        return [f"the word {word.group()!r} at {first} is not in the pane's view {px, py, pw, ph}"]
    print(x, y, word.group())
    return []


def main():
    if sys.argv[1] in ("list", "word"):
        app = application()
        if sys.argv[1] == "list":
            problems = filtered_list(app, sys.argv[2], int(sys.argv[3]))
        else:
            problems = word_point(app, int(sys.argv[2]))
        for problem in problems:
            print(problem, file=sys.stderr)
        sys.exit(1 if problems else 0)
    if sys.argv[1] == "announced":
        problems = announced(sys.argv[2], sys.argv[3:])
        for problem in problems:
            print(problem)
        sys.exit(1 if problems else 0)
    app = application()
    problems = []
    nodes = []
    if sys.argv[1] == "main":
        walk(window(app, "Tellamo"), nodes)
        problems += unnamed(nodes)
        for roles, name in EXPECTED:
            if not any((roles is None or n.getRole() in roles) and (n.name or "").startswith(name)
                       for n in nodes):
                what = str(roles[0]) if roles is not None else "control"
                problems.append(f"no {what} named {name!r}")
        # A toggle's state is not only in its picture: the one checked (Affiliated notes, by
        # the settings file) says so, the others do not.
        for n in nodes:
            if n.getRole() in TOGGLE and n.name in ("Affiliated notes", "Filter", "Mute"):
                checked = n.getState().contains(pyatspi.STATE_CHECKED)
                if checked != (n.name == "Affiliated notes"):
                    problems.append(f"the toggle {n.name!r} says checked={checked}")
        cells = []
        for table in (n for n in nodes if n.getRole() == pyatspi.ROLE_TABLE):
            walk(table, cells)
        texts = [c.name for c in cells if c.getRole() == pyatspi.ROLE_TABLE_CELL]
        if not any(t and t.endswith(", 0:00:03, a tone") for t in texts):
            problems.append(f"no row of the list reads as start, duration, description: {texts[:8]}")
    else:
        walk(window(app, sys.argv[2]), nodes)
        if not any(n.getRole() in CONTROLS for n in nodes):
            problems.append(f"{sys.argv[2]!r} shows no control")
        problems += unnamed(nodes)
    for problem in sorted(set(problems)):
        print(problem)
    sys.exit(1 if problems else 0)


main()
