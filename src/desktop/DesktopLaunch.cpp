#include "desktop/DesktopLaunch.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

#include "common/Translate.h"

namespace tellamo {

QString AutostartEntryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/tellamo.desktop");
}

QString DesktopExecQuote(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool needsQuotes =
        argument.isEmpty() ||
        std::any_of(argument.begin(), argument.end(), [](QChar c) { return reserved.contains(c); });
    QString quoted;
    for (const QChar c : argument) {
        if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\')) {
            quoted += '\\';
        }
        quoted += c;
    }
    if (needsQuotes) {
        quoted = '"' + quoted + '"';
    }
    // The key's value is a string: its own backslashes are escaped once more; "%" starts a field
    // code.
    quoted.replace('\\', QStringLiteral("\\\\"));
    quoted.replace('%', QStringLiteral("%%"));
    return quoted;
}

void SyncAutostartEntry(bool wanted, const QString& programPath) {
    const QString path = AutostartEntryPath();
    const QFileInfo entry(path);
    const bool present = entry.exists() || entry.isSymLink();
    if (wanted && !present) {
        QDir().mkpath(entry.absolutePath());
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            return;
        }
        const QString text = QStringLiteral("[Desktop Entry]\n"
                                            "Type=Application\n"
                                            "Name=Tellamo\n"
                                            "Comment=Voice notes with a catalogue\n"
                                            "Exec=%1\n"
                                            "Icon=tellamo\n"
                                            "Terminal=false\n"
                                            "X-GNOME-Autostart-enabled=true\n")
                                 .arg(DesktopExecQuote(programPath));
        file.write(text.toUtf8());
        file.commit();
    } else if (!wanted && present) {
        QFile::remove(path);
    }
}

bool StartFirstTool(const std::vector<QStringList>& tools) {
    for (const QStringList& tool : tools) {
        const QString program = QStandardPaths::findExecutable(tool.first());
        if (!program.isEmpty()) {
            return QProcess::startDetached(program, tool.mid(1));
        }
    }
    return false;
}

namespace {
// The desktop's own sound settings by the names XDG_CURRENT_DESKTOP gives; for the rest the
// sound server's own mixers come first, then the big desktops' settings.
QStringList DesktopToolFirst(const QString& desktop) {
    QStringList order{QStringLiteral("pavucontrol"), QStringLiteral("pavucontrol-qt"),
                      QStringLiteral("gnome-control-center"), QStringLiteral("systemsettings")};
    const QStringList names = desktop.toUpper().split(':', Qt::SkipEmptyParts);
    QString own;
    for (const QString& name : names) {
        if (name == QLatin1String("GNOME") || name == QLatin1String("UNITY") ||
            name == QLatin1String("BUDGIE")) {
            own = QStringLiteral("gnome-control-center");
        } else if (name == QLatin1String("KDE")) {
            own = QStringLiteral("systemsettings");
        } else if (name == QLatin1String("LXQT")) {
            own = QStringLiteral("pavucontrol-qt");
        }
        if (!own.isEmpty()) {
            break;
        }
    }
    if (!own.isEmpty()) {
        order.removeAll(own);
        order.prepend(own);
    }
    return order;
}

std::vector<QStringList> SoundTools(const QString& desktop, const QString& pavucontrolTab) {
    std::vector<QStringList> tools;
    for (const QString& program : DesktopToolFirst(desktop)) {
        if (program.startsWith(QLatin1String("pavucontrol"))) {
            tools.push_back({program, QStringLiteral("--tab=") + pavucontrolTab});
        } else if (program == QLatin1String("gnome-control-center")) {
            tools.push_back({program, QStringLiteral("sound")});
        } else {
            tools.push_back({program, QStringLiteral("kcm_pulseaudio")});
        }
    }
    return tools;
}
} // namespace

std::vector<QStringList> AudioSettingsTools(const QString& desktop) {
    return SoundTools(desktop, QStringLiteral("4"));
}

std::vector<QStringList> VolumeControlTools(const QString& desktop) {
    return SoundTools(desktop, QStringLiteral("3"));
}

QString CurrentDesktop() {
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP");
}

QString NoSoundToolText(const std::vector<QStringList>& tools) {
    QStringList names;
    for (const QStringList& tool : tools) {
        names << tool.first();
    }
    return TranslateText("No sound settings program is installed. Tellamo looks for these:") +
           "\n" + names.join(QStringLiteral(", "));
}

QString HelpFilePath(const QString& helpName) {
    const QString beside = QCoreApplication::applicationDirPath() + '/' + helpName;
    if (QFileInfo::exists(beside)) {
        return beside;
    }
    const QString installed =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/tellamo/") + helpName;
    if (QFileInfo::exists(installed)) {
        return QFileInfo(installed).canonicalFilePath();
    }
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                  QStringLiteral("tellamo/") + helpName);
}

void OpenHelp() {
    // A translation may name a manual of its language; the program's own name maps to its HTML
    // manual.
    QString name = TranslateText("Tellamo.chm");
    if (name == QLatin1String("Tellamo.chm")) {
        name = QStringLiteral("tellamo.html");
    }
    const QString path = HelpFilePath(name);
    if (path.isEmpty()) {
        return;
    }
    // A platform without desktop services (offscreen, some minimal sessions) still has xdg-open.
    const QUrl url = QUrl::fromLocalFile(path);
    if (!QDesktopServices::openUrl(url)) {
        StartFirstTool({{QStringLiteral("xdg-open"), url.toString()}});
    }
}

} // namespace tellamo
