#include "dialogs/FormStorage.h"

#include <cmath>

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <QWidget>

#include "common/FileSystem.h"
#include "common/IniFile.h"

namespace tellamo {

namespace {
std::string Utf8(const QString& text) {
    return text.toStdString();
}

QString ScreenSuffix() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize size = screen ? screen->size() : QSize();
    return QStringLiteral("(%1x%2)").arg(size.width()).arg(size.height());
}

int PixelsPerInch(const QWidget* window) {
    return static_cast<int>(std::lround(window->logicalDpiY()));
}
} // namespace

FormStorage::FormStorage(QWidget* window, QString section, QString iniPath)
    : Window(window), Section(std::move(section)), Path(std::move(iniPath)) {}

void FormStorage::Add(QString key, std::function<QString()> get,
                      std::function<void(const QString&)> set) {
    Values.push_back({std::move(key), std::move(get), std::move(set)});
}

void FormStorage::AddChecked(QAction* action) {
    Add(
        action->objectName() + "_Checked", [action] { return TruthText(action->isChecked()); },
        [action](const QString& text) {
            if (text.compare("True", Qt::CaseInsensitive) == 0) {
                action->setChecked(true);
            } else if (text.compare("False", Qt::CaseInsensitive) == 0) {
                action->setChecked(false);
            }
        });
}

void FormStorage::AddInt(QString key, std::function<int()> get, std::function<void(int)> set) {
    Add(
        std::move(key), [get] { return QString::number(get()); },
        [set](const QString& text) {
            bool ok = false;
            const int value = text.trimmed().toInt(&ok);
            if (ok) {
                set(value);
            }
        });
}

bool FormStorage::Restore() {
    WasRestored = true;
    const IniFile ini = IniFile::Load(Utf8(Path));
    const std::string section = Utf8(Section);
    bool ok = true;
    const int version =
        QString::fromStdString(ini.ReadString(section, "FormVersion", "0")).toInt(&ok);
    if (ok && version < 0) {
        return false;
    }

    bool minimized = false;
    const QString showCmd = QString::fromStdString(ini.ReadString(section, "ShowCmd", ""));
    const int ppi = QString::fromStdString(ini.ReadString(section, "PixelsPerInch", "")).toInt(&ok);
    // The key for the present screen size wins over the plain one.
    std::string normPos = ini.ReadString(section, Utf8("NormPos" + ScreenSuffix()), "");
    if (normPos.empty()) {
        normPos = ini.ReadString(section, "NormPos", "");
    }
    const QStringList rect = QString::fromStdString(normPos).split(',');
    if (ok && ppi == PixelsPerInch(Window) && rect.size() == 4) {
        int v[4];
        bool all = true;
        for (int i = 0; i < 4; ++i) {
            bool good = false;
            v[i] = rect[i].trimmed().toInt(&good);
            all = all && good;
        }
        if (all && v[0] < v[2] && v[1] < v[3]) {
            if (Window->minimumSize() == Window->maximumSize()) {
                Window->move(v[0], v[1]); // a window of fixed size takes only its position
            } else {
                Window->setGeometry(v[0], v[1], v[2] - v[0], v[3] - v[1]);
            }
        }
    }
    const int cmd = showCmd.toInt(&ok);
    if (ok) {
        minimized = cmd == 2 || cmd == 6 || cmd == 7;
        if (cmd == 3) {
            Window->setWindowState(Window->windowState() | Qt::WindowMaximized);
        }
    }
    if (RestoreExtra) {
        RestoreExtra(ini);
    }
    for (const Value& value : Values) {
        if (const auto text = ini.Read(section, Utf8(value.Key))) {
            value.Set(QString::fromStdString(*text));
        }
    }
    return minimized;
}

QString FormStorage::Save(bool beingDestroyed) {
    if (!WasRestored) {
        return {};
    }
    IniFile ini = IniFile::Load(Utf8(Path));
    const std::string section = Utf8(Section);
    const QRect normal = Window->isMaximized() || Window->isMinimized() ? Window->normalGeometry()
                                                                        : Window->geometry();
    const int showCmd = Window->isMinimized() ? 2 : Window->isMaximized() ? 3 : 1;
    const QString norm = QStringLiteral("%1,%2,%3,%4")
                             .arg(normal.left())
                             .arg(normal.top())
                             .arg(normal.left() + normal.width())
                             .arg(normal.top() + normal.height());
    const QString minMax = QStringLiteral("-1,-1,-1,-1");
    ini.Write(section, "FormVersion", "0");
    ini.Write(section, "Flags", "0");
    ini.Write(section, "ShowCmd", std::to_string(showCmd));
    ini.Write(section, "PixelsPerInch", std::to_string(PixelsPerInch(Window)));
    ini.Write(section, "MinMaxPos", Utf8(minMax));
    ini.Write(section, "NormPos", Utf8(norm));
    ini.Write(section, Utf8("MinMaxPos" + ScreenSuffix()), Utf8(minMax));
    ini.Write(section, Utf8("NormPos" + ScreenSuffix()), Utf8(norm));
    ini.Write(section, "Visible", beingDestroyed ? "1" : "0");
    if (SaveExtra) {
        SaveExtra(ini);
    }
    for (const Value& value : Values) {
        ini.Write(section, Utf8(value.Key), Utf8(value.Get()));
    }
    try {
        ini.Save(RealFileSystem(), Utf8(Path));
    } catch (const std::exception& e) {
        return QString::fromStdString(e.what());
    }
    return {};
}

} // namespace tellamo
