#!/usr/bin/env bash
# Usage: hotkeys.sh TELLAMO_BINARY GRAB_KEY_HELPER OUTPUT_FOLDER
# The record and stop hotkeys (Ctrl+Shift+R, Ctrl+Shift+S, stored and switched on) start and stop
# a recording of the real program while another X client has the focus, also with NumLock on;
# a combination that another client has grabbed gives the conflict message and the Options
# dialog again.
set -u
. "$(dirname "$0")/lib.sh"
TELLAMO=$1
grabber=$2
out=$3

start_session --pulse
hotkey_settings

launch
window=$(wait_for_window Tellamo) || fail "no main window appeared"
xmessage "another program has the focus" &
track $!
other=$(wait_for_window xmessage) || fail "no other client"
focus "$other" || fail "the other client does not have the focus"

# round N: one recording started and stopped by the hotkeys. It must go on until it holds half a
# second of sound (a recording that ended by itself stops growing) and be the only one a press
# started.
round() {
  wait_for_files wav "$1" || fail "Ctrl+Shift+R did not start recording $1"
  wait_until 20 wav_holds $((44 + 11025 * 2 / 2)) || fail "recording $1 does not grow"
  [ "$(count wav)" -eq "$1" ] || fail "more than one recording started"
  recording_grows || fail "recording $1 ended by itself"
  stop_by_hotkey "$1"
}
# The first press may come before the program's first idle moment registers the hotkeys.
record_by_hotkey 1
round 1
xdotool key Num_Lock
[ "$("$grabber" numlock)" = on ] || fail "NumLock is not on"
# Registered now: a single press starts recording 2.
xdotool key ctrl+shift+r
round 2
screenshot "$out/e2e-hotkeys.png"
for wav in "$folder"/[0-9]*.wav; do
  [ "$(stat -c %s "$wav")" -gt $((44 + 11025 * 2 / 2)) ] || fail "$wav holds less than half a second"
done

focus "$window" || fail "the main window did not get the focus"
exit_by_menu
xdotool key Num_Lock

# Another client holds Ctrl+Shift+R: the program says so and opens the Options dialog again.
"$grabber" r >"$WORK/grab.out" &
GRAB_PID=$!
track "$GRAB_PID"
wait_until 10 grep -q grabbed "$WORK/grab.out" || fail "the helper could not grab the key"
launch
error=$(wait_for_window Error) || fail "no conflict message"
screenshot "$out/e2e-hotkey-conflict.png" "$error"
focus "$error" || fail "the message did not get the focus"
xdotool key Return
options=$(wait_for_window Options) || fail "the Options dialog did not open again"
focus "$options" || fail "the Options dialog did not get the focus"
xdotool key Escape
wait_until 10 window_gone Options || fail "the Options dialog did not close"
never_within 1 window_titled Error || fail "a second message after closing unchanged"
# Ctrl+Shift+S was still registered: it is the program's.
end_process "$GRAB_PID"
window=$(wait_for_window Tellamo) || fail "no main window"
focus "$window" || fail "the main window did not get the focus"
exit_by_menu
echo "1 passed, 0 failed"
