#!/usr/bin/env bash
# Usage: with-xvfb.sh PROGRAM [ARGUMENTS...]
# Runs the program on Qt's xcb platform against a virtual X display of its own (session.sh's
# start_xvfb), which is stopped when the program ends.
set -u
. "$(dirname "$0")/session.sh"
dir=$(mktemp -d) || exit 1
trap 'kill "${XVFB_PID:-}" 2>/dev/null; wait "${XVFB_PID:-}" 2>/dev/null; rm -rf "$dir"' EXIT
start_xvfb "$dir" || exit 1
export QT_QPA_PLATFORM=xcb
"$@"
