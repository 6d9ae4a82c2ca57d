#include "dialogs/FormStorage.h"

#include <algorithm>
#include <cmath>

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <QStyle>
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

// Far beyond any desktop, yet small enough that no sum or difference of two overflows.
constexpr qint64 CoordinateLimit = 1 << 24;

// What the window manager adds around the window: known once it has framed the window; before
// that, a title bar of the style's height and a border of a quarter of it (too much costs a few
// pixels of the window, too little can put the title bar out of reach).
QMargins FrameAllowance(const QWidget* window) {
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    if (frame != client) {
        return {client.left() - frame.left(), client.top() - frame.top(),
                frame.right() - client.right(), frame.bottom() - client.bottom()};
    }
    if (!window->isWindow() || QGuiApplication::platformName() == QLatin1String("offscreen")) {
        return {}; // no window manager frames anything there
    }
    const int title =
        std::max(window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window), 8);
    const int border = title / 4;
    return {border, title, border, border};
}
} // namespace

QRect FitIntoScreen(const QRect& client, const QMargins& frame, const QRect& available,
                    const QSize& minimum, bool resizable) {
    if (!available.isValid()) {
        return client;
    }
    const int roomWidth = std::max(1, available.width() - frame.left() - frame.right());
    const int roomHeight = std::max(1, available.height() - frame.top() - frame.bottom());
    QSize size = client.size();
    if (resizable) {
        size = size.boundedTo(QSize(roomWidth, roomHeight)).expandedTo(minimum);
    }
    // Too large even so: its top left corner (the title bar, the menus) stays on the screen.
    const int left = std::max(
        available.left() + frame.left(),
        std::min(client.left(), available.left() + frame.left() + roomWidth - size.width()));
    const int top = std::max(
        available.top() + frame.top(),
        std::min(client.top(), available.top() + frame.top() + roomHeight - size.height()));
    return {QPoint(left, top), size};
}

void FitIntoScreen(QWidget* window) {
    if (!window->testAttribute(Qt::WA_Moved)) {
        return; // placed when shown (a dialog over its parent), fitted by whoever places it
    }
    const QRect client = window->geometry();
    const QScreen* screen = QGuiApplication::screenAt(client.center());
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (!screen) {
        return;
    }
    const QRect fitted =
        FitIntoScreen(client, FrameAllowance(window), screen->availableGeometry(),
                      window->minimumSize(), window->minimumSize() != window->maximumSize());
    if (fitted != client) {
        window->setGeometry(fitted);
    }
}

FormStorage::FormStorage(QWidget* window, QString section, QString iniPath)
    : mWindow(window), mSection(std::move(section)), mPath(std::move(iniPath)) {}

void FormStorage::Add(QString key, std::function<QString()> get,
                      std::function<void(const QString&)> set) {
    mValues.push_back({std::move(key), std::move(get), std::move(set)});
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
    mWasRestored = true;
    const IniFile ini = IniFile::Load(Utf8(mPath));
    const std::string section = Utf8(mSection);
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
    if (ok && ppi == PixelsPerInch(mWindow) && rect.size() == 4) {
        qint64 v[4];
        bool all = true;
        for (int i = 0; i < 4; ++i) {
            bool good = false;
            v[i] =
                std::clamp(rect[i].trimmed().toLongLong(&good), -CoordinateLimit, CoordinateLimit);
            all = all && good;
        }
        if (all && v[0] < v[2] && v[1] < v[3]) {
            const int left = static_cast<int>(v[0]);
            const int top = static_cast<int>(v[1]);
            // The position is the client area's, as Save writes it: the frame the window
            // manager adds goes around it and is not counted twice.
            if (mWindow->minimumSize() == mWindow->maximumSize()) {
                mWindow->setGeometry(QRect(QPoint(left, top), mWindow->size()));
            } else {
                mWindow->setGeometry(left, top, static_cast<int>(v[2] - v[0]),
                                     static_cast<int>(v[3] - v[1]));
            }
        }
    }
    FitIntoScreen(mWindow);
    const int cmd = showCmd.toInt(&ok);
    if (ok) {
        minimized = cmd == 2 || cmd == 6 || cmd == 7;
        if (cmd == 3) {
            mWindow->setWindowState(mWindow->windowState() | Qt::WindowMaximized);
        }
    }
    if (RestoreExtra) {
        RestoreExtra(ini);
    }
    for (const Value& value : mValues) {
        if (const auto text = ini.Read(section, Utf8(value.Key))) {
            value.Set(QString::fromStdString(*text));
        }
    }
    return minimized;
}

QString FormStorage::Save(bool beingDestroyed) {
    if (!mWasRestored) {
        return {};
    }
    IniFile ini = IniFile::Load(Utf8(mPath));
    const std::string section = Utf8(mSection);
    const QRect normal = mWindow->isMaximized() || mWindow->isMinimized()
                             ? mWindow->normalGeometry()
                             : mWindow->geometry();
    const int showCmd = mWindow->isMinimized() ? 2 : mWindow->isMaximized() ? 3 : 1;
    const QString norm = QStringLiteral("%1,%2,%3,%4")
                             .arg(normal.left())
                             .arg(normal.top())
                             .arg(normal.left() + normal.width())
                             .arg(normal.top() + normal.height());
    const QString minMax = QStringLiteral("-1,-1,-1,-1");
    ini.Write(section, "FormVersion", "0");
    ini.Write(section, "Flags", "0");
    ini.Write(section, "ShowCmd", std::to_string(showCmd));
    ini.Write(section, "PixelsPerInch", std::to_string(PixelsPerInch(mWindow)));
    ini.Write(section, "MinMaxPos", Utf8(minMax));
    ini.Write(section, "NormPos", Utf8(norm));
    ini.Write(section, Utf8("MinMaxPos" + ScreenSuffix()), Utf8(minMax));
    ini.Write(section, Utf8("NormPos" + ScreenSuffix()), Utf8(norm));
    ini.Write(section, "Visible", beingDestroyed ? "1" : "0");
    if (SaveExtra) {
        SaveExtra(ini);
    }
    for (const Value& value : mValues) {
        ini.Write(section, Utf8(value.Key), Utf8(value.Get()));
    }
    try {
        ini.Save(RealFileSystem(), Utf8(mPath));
    } catch (const std::exception& e) {
        return QString::fromStdString(e.what());
    }
    return {};
}

} // namespace tellamo
