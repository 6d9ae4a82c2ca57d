#!/usr/bin/env bash
# Usage: window-placement.sh TELLAMO_BINARY OUTPUT_FOLDER
# Under a window manager on a 1280x800 screen: at twice the scale the first start keeps the
# window's frame (its title bar) on the screen; positions at the ends of the integers in the
# settings file bring the window onto the screen; the Options dialog opens where it was closed,
# five times over. A screenshot of the scaled first start is left in OUTPUT_FOLDER.
set -u
. "$(dirname "$0")/lib.sh"
TELLAMO=$1
out=$2

XVFB_SCREEN=1280x800x24 start_session --wm

# geometry WINDOW: "X Y WIDTH HEIGHT" of the window on the screen.
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF} END {print x, y, w, h}'
}
# frame_of WINDOW: the window manager's frame around it.
frame_of() { xwininfo -id "$1" -tree | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p'; }
framed() { [ "$(frame_of "$1")" != "$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')" ]; }
# on_screen WHAT WINDOW: its frame lies within the 1280x800 screen.
on_screen() {
  wait_until 10 framed "$2" || fail "$1: the window manager did not frame the window"
  local x y w h
  read -r x y w h < <(geometry "$(frame_of "$2")")
  [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le 1280 ] && [ $((y + h)) -le 800 ] ||
    fail "$1: the window's frame is at $x,$y, $w x $h, not within 1280 x 800"
}

# The first start at twice the scale: 640 x 400 to fit into.
QT_SCALE_FACTOR=2 start_program
on_screen "first start at scale 2" "$window"
screenshot "$out/e2e-scaled-first-start.png" "$window"
end_program

rm "$folder/tellamo.INI"

# Tools > Options... five times, closed with Esc each time: where it opens is where it opened first.
start_program
first=""
for opening in 1 2 3 4 5; do
  focus "$window" || fail "the main window did not get the focus"
  xdotool key --clearmodifiers alt+t o
  options=$(wait_for_window Options) || fail "opening $opening: no Options dialog"
  wait_until 10 framed "$options" || fail "opening $opening: the dialog was not framed"
  focus "$options" || fail "opening $opening: the dialog did not get the focus"
  read -r x y w h < <(geometry "$options")
  echo "opening $opening: the dialog is at $x,$y"
  if [ "$opening" = 1 ]; then
    # The first opening puts it over the main window.
    read -r mx my mw mh < <(geometry "$window")
    cx=$((x + w / 2)) cy=$((y + h / 2))
    [ "$cx" -gt "$mx" ] && [ "$cx" -lt $((mx + mw)) ] && [ "$cy" -gt "$my" ] && [ "$cy" -lt $((my + mh)) ] ||
      fail "the first opening is at $x,$y, $w x $h, not over the window at $mx,$my, $mw x $mh"
  fi
  [ -n "$first" ] || first="$x,$y"
  [ "$x,$y" = "$first" ] || fail "opening $opening: the dialog is at $x,$y, not at $first as at first"
  xdotool key Escape
  wait_until 10 window_gone Options || fail "opening $opening: the dialog did not close"
done
exit_by_menu

# Positions no screen has, as a settings file written by hand or on another desktop may hold.
for position in -2147483648,-2147483648,2147483647,2147483647 2147483000,2147483000,2147483647,2147483647; do
  python3 - "$folder/tellamo.INI" "$position" <<'PY'
import re, sys
path, position = sys.argv[1:3]
text = open(path, encoding='utf-8').read()
text = re.sub(r'(?m)^(NormPos[^=]*)=.*$', lambda m: m.group(1) + '=' + position, text)
open(path, 'w', encoding='utf-8').write(text)
PY
  grep -q "NormPos.*=$position" "$folder/tellamo.INI" || fail "the settings file holds no position to change"
  start_program
  on_screen "stored position $position" "$window"
  end_program
done

echo "1 passed, 0 failed"
