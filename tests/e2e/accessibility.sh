#!/usr/bin/env bash
# Usage: accessibility.sh TELLAMO_BINARY OUTPUT_FOLDER
# The program as a screen reader sees it: started with accessibility on, on a private session bus
# with at-spi2-core's accessibility bus, its main window and each of its dialogs walked over
# AT-SPI (atspi-walk.py): every control has a name, the main ones the names a user hears, the
# note list's rows read as text. Every dialog is opened and closed by the keyboard. Skipped (77)
# only when at-spi2-core or pyatspi is not installed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
TELLAMO=$1
out=$2
launcher=/usr/libexec/at-spi-bus-launcher
if [ ! -x "$launcher" ] || ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
  echo "SKIP: at-spi2-core or python3-pyatspi is not installed"
  exit 77
fi
walk() { /usr/bin/python3 "$here/atspi-walk.py" "$@"; }

start_session --bus --pulse
"$launcher" --launch-immediately >"$WORK/at-spi.log" 2>&1 &
track $!
mkdir -p "$folder"
sox -n -r 11025 -b 16 -c 1 "$folder/480151.wav" synth 3 sine 440
one_note_catalogue 480151 "a tone" >/dev/null
printf '[TTellamoMainForm]\nAffiliateAction_Checked=True\n' >"$folder/tellamo.INI"
# A day's backup, so that Restore Catalogue From Backup has one to offer.
mkdir -p "$folder/Backups"
cp "$folder/Tellamo.dat" "$folder/Backups/Tellamo-2026-01-05.dat"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
start_program
# The list has the focus, on the note.
xdotool key Tab
walk main || fail "the main window, as a screen reader sees it (above)"
# A change of state is announced: the time label's name says what the dictaphone does.
walk announced "Playing, " xdotool key Return || fail "the playback was not announced"
walk announced "Stopped, " xdotool key ctrl+period || fail "the stop was not announced"

# A dialog: opened by KEYS, walked, closed with Escape; the focus is back in the main window.
dialog() {
  local title=$1
  shift
  xdotool key --clearmodifiers "$@"
  wait_for_window "$title" 15 >/dev/null || fail "\"$title\" did not open with $*"
  walk dialog "$title" || fail "the dialog \"$title\" (above)"
  xdotool key Escape
  wait_until 10 window_gone "$title" || fail "Escape did not close \"$title\""
  wait_until 10 has_focus "$window" || fail "the focus did not come back after \"$title\""
}
dialog "Options" alt+t o
dialog "About" alt+h a
dialog "Edit Description" F2
dialog "Move to Folder" Menu m
dialog "Save As" ctrl+shift+s
dialog "Restore Catalogue From Backup" alt+t b
dialog "Enter Description" ctrl+r
[ "$(count wav)" -eq 1 ] || fail "a cancelled prompt made a note"
screenshot "$out/e2e-accessibility.png" "$window" || fail "the window is not painted"
exit_by_menu
echo "1 passed, 0 failed"
