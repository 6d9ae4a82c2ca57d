#!/usr/bin/env bash
# Usage: smoke.sh TELLAMO_BINARY OUTPUT_FOLDER
set -u
. "$(dirname "$0")/lib.sh"
binary=$1
out=$2

start_session
"$binary" &
APP_PID=$!
window=$(wait_for_window Tellamo) || fail "no main window appeared"
# The window is mapped before it is painted: the screenshot is taken again until it shows more
# than a few colours.
screenshot_shows_the_window() {
  import -window root "$out/e2e-main-window.png" || return 1
  colors=$(convert "$out/e2e-main-window.png" -format '%k' info:)
  [ "$colors" -gt 20 ]
}
wait_until 20 screenshot_shows_the_window || fail "the screenshot is nearly blank (${colors:-no} colours)"

folder="$HOME/Documents/My Voice Notes"
[ -f "$folder/ReadMe.txt" ] || fail "no read-me in the storage folder"
[ ! -e "$folder/Tellamo.dat" ] || fail "the catalogue was written before any change"

xdotool windowfocus --sync "$window" || fail "cannot focus the window"
# The menu is a window of its own; its item is pressed once it is on the screen.
windows_before=$(xdotool search --onlyvisible --pid "$APP_PID" 2>/dev/null | wc -l)
menu_is_open() { [ "$(xdotool search --onlyvisible --pid "$APP_PID" 2>/dev/null | wc -l)" -gt "$windows_before" ]; }
xdotool key --clearmodifiers alt+f
wait_until 10 menu_is_open || fail "the File menu did not open"
xdotool key x
wait_for_exit "$APP_PID" 15
status=$?
APP_PID=""
[ "$status" -eq 0 ] || fail "exit status $status"
[ "$(stat -c %s "$folder/Tellamo.dat")" -eq 45 ] || fail "the new catalogue was not saved at exit"
echo "1 passed, 0 failed"
