#pragma once

#include <functional>
#include <vector>

#include <QMargins>
#include <QRect>
#include <QString>

class QAction;
class QWidget;

namespace tellamo {

class IniFile;

// Where a window's client area goes so that it and the frame around it lie within `available`:
// a resizable window shrinks to it (not below `minimum`), then the window moves inside it; one
// too large even so keeps its top left corner, with the title bar, on the screen.
QRect FitIntoScreen(const QRect& client, const QMargins& frame, const QRect& available,
                    const QSize& minimum, bool resizable);
// The same for a window that has been given a position, on the screen it is mostly on, with its
// frame as far as it is known.
void FitIntoScreen(QWidget* window);

// Remembers a window between runs in the settings file: its placement and the stored values of
// its components, each under the key component + "_" + property. Read when the window is shown,
// written when it closes; nothing else touches the file. A missing file or key gives the
// first-run value; an unreadable value leaves the value as it was.
class FormStorage {
public:
    // section: the window's class name ("TTellamoMainForm"); iniPath: the settings file.
    FormStorage(QWidget* window, QString section, QString iniPath);

    // A stored value: how to read it into text and how to apply text read back.
    void Add(QString key, std::function<QString()> get, std::function<void(const QString&)> set);
    void AddChecked(QAction* action); // key: objectName + "_Checked"
    void AddInt(QString key, std::function<int()> get, std::function<void(int)> set);
    // Extra sections written and read with the window's (the note list's columns).
    std::function<void(IniFile&)> SaveExtra;
    std::function<void(const IniFile&)> RestoreExtra;

    // Applies the stored placement (fitted into the screen, as the first-run placement is when
    // nothing is stored), the extra sections and the values; returns true when the window was
    // closed minimized last time (the caller then shows it minimized).
    bool Restore();
    // Writes "FormVersion", the placement, the extra sections and the values. A failure to
    // write is returned as text (empty on success).
    QString Save(bool beingDestroyed = false);
    bool Restored() const { return mWasRestored; }

    static QString TruthText(bool value) {
        return value ? QStringLiteral("True") : QStringLiteral("False");
    }

private:
    struct Value {
        QString Key;
        std::function<QString()> Get;
        std::function<void(const QString&)> Set;
    };
    QWidget* mWindow;
    QString mSection;
    QString mPath;
    std::vector<Value> mValues;
    bool mWasRestored = false;
};

} // namespace tellamo
