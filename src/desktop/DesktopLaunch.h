#pragma once

#include <vector>

#include <QString>
#include <QStringList>

namespace tellamo {

// Start at login: the user's XDG autostart entry "<config>/autostart/tellamo.desktop".
QString AutostartEntryPath();
// An argument quoted for a desktop entry's Exec key (the quoting and escaping rules of the
// desktop-entry format, "%" doubled).
QString DesktopExecQuote(const QString& argument);
// Creates the entry, starting programPath, when wanted and no file is there; deletes it when
// not wanted and one is there; never rewrites an existing entry, even one that starts another
// program. Failures are not reported.
void SyncAutostartEntry(bool wanted, const QString& programPath);

// Starts the first of the tools that is installed (program name and its arguments), detached,
// without a shell. False when none is installed.
bool StartFirstTool(const std::vector<QStringList>& tools);
QString CurrentDesktop();
// The desktop's sound settings on their recording side, and its volume control, the desktop's
// own first (desktop: as XDG_CURRENT_DESKTOP names it, see CurrentDesktop).
std::vector<QStringList> AudioSettingsTools(const QString& desktop = CurrentDesktop());
std::vector<QStringList> VolumeControlTools(const QString& desktop = CurrentDesktop());
// What to tell the user when none of the tools is installed: the programs looked for, in order.
QString NoSoundToolText(const std::vector<QStringList>& tools);

// The user manual: helpName (the translated name of the help file) beside the program, as in a
// build tree, else in the installed data folder. Empty when it is nowhere.
QString HelpFilePath(const QString& helpName);
// Opens the manual with the desktop's handler for HTML; nothing happens when it is missing.
void OpenHelp();

} // namespace tellamo
