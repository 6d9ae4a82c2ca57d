#!/usr/bin/env bash
# Usage: hotkeys.sh TELLAMO_BINARY GRAB_KEY_HELPER OUTPUT_FOLDER
# The record and stop hotkeys (Ctrl+Shift+R, Ctrl+Shift+S, stored and switched on) start and stop
# a recording of the real program while another X client has the focus, also with NumLock on;
# a combination that another client has grabbed gives the conflict message and the Options
# dialog again.
set -u
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/pulse.sh"
binary=$1
grabber=$2
out=$3

start_session
trap 'stop_pulse; [ -n "${OTHER_PID:-}" ] && kill "$OTHER_PID"; stop_session' EXIT
start_pulse

folder="$HOME/Documents/My Voice Notes"
hotkey_settings

"$binary" &
APP_PID=$!
window=$(wait_for_window Tellamo) || fail "no main window appeared"
xmessage "another program has the focus" &
OTHER_PID=$!
other=$(wait_for_window xmessage) || fail "no other client"
sleep 1   # the first idle moment registers the hotkeys
xdotool windowfocus --sync "$other"
[ "$(xdotool getwindowfocus)" = "$other" ] || fail "the other client does not have the focus"

round() {  # round N: one recording started and stopped by the hotkeys
  xdotool key ctrl+shift+r
  wait_for_files wav "$1" || fail "Ctrl+Shift+R did not start recording $1"
  sleep 1
  [ "$(count wav)" -eq "$1" ] || fail "more than one recording started"
  completed "$1" && fail "recording $1 ended by itself"
  xdotool key ctrl+shift+s
  wait_for_completed "$1" || fail "Ctrl+Shift+S did not stop recording $1"
}
round 1
xdotool key Num_Lock
[ "$("$grabber" numlock)" = on ] || fail "NumLock is not on"
round 2
import -window root "$out/e2e-hotkeys.png"
for wav in "$folder"/[0-9]*.wav; do
  [ "$(stat -c %s "$wav")" -gt $((44 + 11025 * 2 / 2)) ] || fail "$wav holds less than half a second"
done

xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers alt+f; sleep 0.3; xdotool key x
wait_for_exit "$APP_PID" 20 || fail "exit status"
APP_PID=""
xdotool key Num_Lock

# Another client holds Ctrl+Shift+R: the program says so and opens the Options dialog again.
"$grabber" r >"$TEST_HOME/grab.out" &
GRAB_PID=$!
for _ in $(seq 50); do grep -q grabbed "$TEST_HOME/grab.out" && break; sleep 0.1; done
grep -q grabbed "$TEST_HOME/grab.out" || fail "the helper could not grab the key"
"$binary" &
APP_PID=$!
error=$(wait_for_window Error) || fail "no conflict message"
import -window root "$out/e2e-hotkey-conflict.png"
xdotool windowfocus --sync "$error"; xdotool key Return
options=$(wait_for_window Options) || fail "the Options dialog did not open again"
xdotool windowfocus --sync "$options"; xdotool key Escape
sleep 0.5
xdotool search --onlyvisible --name "^Error\$" >/dev/null 2>&1 && fail "a second message after closing unchanged"
# Ctrl+Shift+S was still registered: it is the program's.
kill "$GRAB_PID"; wait "$GRAB_PID" 2>/dev/null
window=$(wait_for_window Tellamo) || fail "no main window"
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers alt+f; sleep 0.3; xdotool key x
wait_for_exit "$APP_PID" 20 || fail "exit status"
APP_PID=""
echo "1 passed, 0 failed"
