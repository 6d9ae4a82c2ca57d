#!/usr/bin/env bash
# Usage: tray.sh TELLAMO_BINARY OUTPUT_FOLDER
# The real program with a real tray (trayer): closed minimized with "Minimize to tray" on, it
# starts hidden in the tray with only its icon shown; the Options dialog opened from the icon's
# menu and closed again leaves it running in the tray; Exit from that menu ends it normally.
# A screenshot of the tray with the icon is left in the build folder.
set -u
. "$(dirname "$0")/lib.sh"
TELLAMO=$1
out=$2

# The tray is up before the program, as at a login.
start_session --tray

mkdir -p "$folder"
printf '[TTellamoMainForm]\nMinimizeToTrayAction_Checked=True\nShowCmd=2\n' >"$folder/tellamo.INI"

# The icon: our window inside trayer's panel. Prints its id.
icon_window() {
  xwininfo -root -tree | awk '
    /\("panel" "trayer"\)/ { depth = match($0, /[^ ]/); inside = 1; next }
    inside && match($0, /[^ ]/) <= depth { inside = 0 }
    inside && /\("tellamo" "tellamo"\)/ { print $1; found = 1; exit }
    END { exit !found }'
}
# The main window: the program's window with a title directly under the root. Prints its id.
main_window() { xwininfo -root -children | awk '/"Tellamo": \("tellamo" "tellamo"\)/ { print $1; f = 1; exit } END { exit !f }'; }
map_state() { xwininfo -id "$1" | sed -n 's/.*Map State: //p'; }
hidden_in_tray() { w=$(main_window) && [ "$(map_state "$w")" = IsUnMapped ] && icon_window >/dev/null; }
# click_icon BUTTON: clicks the middle of the icon.
click_icon() {
  local id geometry x y
  id=$(icon_window) || return 1
  geometry=$(xwininfo -id "$id")
  x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$geometry")
  y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$geometry")
  xdotool mousemove $((x + 8)) $((y + 8)) click "$1"
}
popup_count() { program_windows | wc -l; }
more_windows_than() { [ "$(popup_count)" -gt "$1" ]; }

launch
wait_until 20 hidden_in_tray || fail "the program did not start hidden in the tray (window: $(main_window) $(map_state "$(main_window)" 2>/dev/null), icon: $(icon_window))"
import -window root -crop 200x30+824+0 "$out/e2e-tray.png"

# Options... from the icon's menu, then closed with Escape: the program goes on in the tray.
before=$(popup_count)
click_icon 3
wait_until 10 more_windows_than "$before" || fail "the icon's menu did not open"
xdotool key o
options=$(wait_for_window Options) || fail "the Options dialog did not open from the tray menu"
focus "$options" || fail "the Options dialog did not get the focus"
xdotool key Escape
wait_until 10 window_gone Options || fail "the Options dialog did not close"
# A program that took the dialog for its last window would end at once.
never_within 2 process_gone "$APP_PID" || fail "closing the dialog ended the program"
hidden_in_tray || fail "the window left the tray when the dialog closed"

# Exit from the icon's menu while the window hides: a normal end that remembers the tray.
before=$(popup_count)
click_icon 3
wait_until 10 more_windows_than "$before" || fail "the icon's menu did not open again"
xdotool key x
program_ended 15
grep -q '^ShowCmd=2' "$folder/tellamo.INI" || fail "the window was not remembered as minimized"
grep -q '^MinimizeToTrayAction_Checked=True' "$folder/tellamo.INI" || fail "the option was not kept"
echo "1 passed, 0 failed"
