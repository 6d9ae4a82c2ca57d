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
sleep 0.5
import -window root "$out/e2e-main-window.png" || fail "no screenshot"
colors=$(convert "$out/e2e-main-window.png" -format '%k' info:)
[ "$colors" -gt 20 ] || fail "the screenshot is nearly blank ($colors colours)"

folder="$HOME/Documents/My Voice Notes"
[ -f "$folder/ReadMe.txt" ] || fail "no read-me in the storage folder"
[ ! -e "$folder/Tellamo.dat" ] || fail "the catalogue was written before any change"

xdotool windowfocus --sync "$window" || fail "cannot focus the window"
xdotool key --clearmodifiers alt+f
sleep 0.3
xdotool key x
wait_for_exit "$APP_PID" 15
status=$?
APP_PID=""
[ "$status" -eq 0 ] || fail "exit status $status"
[ "$(stat -c %s "$folder/Tellamo.dat")" -eq 45 ] || fail "the new catalogue was not saved at exit"
echo "1 passed, 0 failed"
