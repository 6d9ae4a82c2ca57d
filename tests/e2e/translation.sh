#!/usr/bin/env bash
# Usage: translation.sh TELLAMO_BINARY OUTPUT_FOLDER
# The real program on a German desktop shows German menus, dialogs and column titles (reached by
# their German access keys); with LangFile= empty in the settings file it is English again. A
# screenshot of the German window is left in OUTPUT_FOLDER.
set -u
. "$(dirname "$0")/lib.sh"
TELLAMO=$1
out=$2

start_session

# open_options LANG KEYS TITLE [SCREENSHOT]: starts the program, opens Tools > Options with KEYS and
# waits for a window titled TITLE, then ends the program with SIGTERM while the dialog is open.
open_options() {
  LANG=$1 LC_ALL=$1 launch
  window=$(wait_for_window Tellamo) || fail "no main window appeared ($1)"
  focus "$window" || fail "cannot focus the window"
  [ -n "${4:-}" ] && { screenshot "$out/$4" "$window" || fail "no screenshot"; }
  xdotool key --clearmodifiers $2
  wait_for_window "$3" >/dev/null || { import -window root "$out/e2e-translation-failed.png"; fail "no window \"$3\" after $2 ($1)"; }
  # The end of the session with the dialog open: it is closed as cancelled and the program ends.
  end_program
}

# German: Extras (Alt+X) > Optionen... (o) opens "Optionen".
open_options de_DE.UTF-8 "alt+x o" Optionen e2e-german.png
[ -d "$folder" ] || fail "the storage folder is not \"My Voice Notes\" on a German desktop"
[ -f "$folder/LiesMich.txt" ] || fail "the read-me was not written in German"

# The settings file switches translation off: Tools (Alt+T) > Options... (o) opens "Options".
printf '[TTellamoMainForm]\nLangFile=\n' >> "$folder/tellamo.INI"
open_options de_DE.UTF-8 "alt+t o" Options
echo "1 passed, 0 failed"
