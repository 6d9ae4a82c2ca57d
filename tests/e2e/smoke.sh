#!/usr/bin/env bash
# Usage: smoke.sh TELLAMO_BINARY OUTPUT_FOLDER
set -u
. "$(dirname "$0")/lib.sh"
TELLAMO=$1
out=$2

start_session
launch
window=$(wait_for_window Tellamo) || fail "no main window appeared"
# The window is mapped before it is painted: the screenshot waits until it shows more than a few
# colours.
screenshot "$out/e2e-main-window.png" "$window" || fail "the window is nearly blank ($(colours_of "$window") colours)"

[ -f "$folder/ReadMe.txt" ] || fail "no read-me in the storage folder"
[ ! -e "$folder/Tellamo.dat" ] || fail "the catalogue was written before any change"

focus "$window" || fail "cannot focus the window"
exit_by_menu 15
[ "$(stat -c %s "$folder/Tellamo.dat")" -eq 45 ] || fail "the new catalogue was not saved at exit"
echo "1 passed, 0 failed"
