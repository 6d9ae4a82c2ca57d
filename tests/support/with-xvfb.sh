#!/usr/bin/env bash
# Usage: with-xvfb.sh PROGRAM [ARGUMENTS...]
# Runs the program on Qt's xcb platform against a virtual X display of its own (a free display
# number, no window manager), which is stopped when the program ends.
set -u
dir=$(mktemp -d) || exit 1
mkfifo "$dir/display"
# -noreset: a server that resets when its last client leaves (a program killed on purpose,
# a tool that ran) can refuse the next connection while it does.
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp -noreset 5>"$dir/display" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$dir"' EXIT
read -r -t 20 number <"$dir/display" || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$number QT_QPA_PLATFORM=xcb
"$@"
