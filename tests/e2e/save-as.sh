#!/usr/bin/env bash
# Usage: save-as.sh TELLAMO_BINARY OUTPUT_FOLDER
# Records a note of known speech with the real program, then saves it by the keyboard through
# File > Save As: the file dialog gets a name, the format dialog is answered with Ogg Opus, and
# the file written is checked with ffprobe. A screenshot of the format dialog is left in
# OUTPUT_FOLDER (e2e-save-format.png).
set -u
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/pulse.sh"
binary=$1
out=$2

start_session
trap 'stop_pulse; stop_session' EXIT
start_pulse

work=$TEST_HOME/work
saved=$TEST_HOME/saved
mkdir -p "$work" "$saved"
speech_raw "$work/speech.raw" "This note is saved as an Ogg Opus file by the test." 0.5 1

# The file dialog opens in the folder saved to last time.
folder="$HOME/Documents/My Voice Notes"
mkdir -p "$folder"
printf '[TTellamoMainForm]\r\nLastSaveDirLabel_Caption=%s/\r\n' "$saved" >"$folder/tellamo.INI"

start_with_note_menu "$binary"
pipe_source 11025
menu alt+n Return   # Record
wait_for_window "Enter Description.*" >/dev/null || fail "no description dialog"
xdotool type --delay 20 "opus <test> note"
xdotool key Return
feed_speech "$work/speech.raw"
# Stop once three seconds of sound are in the file.
for _ in $(seq 300); do
  wav=$(ls "$folder"/[0-9][0-9][0-9][0-9][0-9][0-9].wav 2>/dev/null | head -n 1)
  [ -n "$wav" ] && [ "$(stat -c %s "$wav")" -gt $((44 + 11025 * 2 * 3)) ] && break
  sleep 0.1
done
[ -n "$wav" ] || fail "no WAV file was recorded"
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers alt+n; sleep 0.3; xdotool key s
for _ in $(seq 100); do [ -f "${wav%.wav}.bmp" ] && break; sleep 0.1; done
[ -f "${wav%.wav}.bmp" ] || fail "the recording was not stopped"

# File > Save As: the file dialog proposes the description without its bad characters.
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers alt+f; sleep 0.3; xdotool key a
dialog=$(wait_for_window "Save As") || fail "no file dialog"
xdotool windowfocus --sync "$dialog"
sleep 0.5
xdotool key ctrl+a; xdotool type --delay 20 "call"; xdotool key Return
format=""
for _ in $(seq 100); do
  format=$(xdotool search --onlyvisible --name "^Save As\$" 2>/dev/null | grep -vx "$dialog" | head -n 1)
  [ -n "$format" ] && break
  sleep 0.1
done
[ -n "$format" ] || fail "no format dialog"
sleep 0.5
import -window root "$out/e2e-save-format.png" || fail "no screenshot"
xdotool windowfocus --sync "$format"
# TrueSpeech is chosen at start; the item below it is Ogg Opus.
xdotool key Down; sleep 0.2; xdotool key Return

target="$saved/call.opus"
for _ in $(seq 200); do [ -f "$target" ] && break; sleep 0.1; done
[ -f "$target" ] || fail "no $target was written ($(ls "$saved"))"
[ "$(ls "$saved")" = "call.opus" ] || fail "unexpected files in the target folder: $(ls -a "$saved")"
probe=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,channels,duration \
  -of default=noprint_wrappers=1 "$target") || fail "ffprobe cannot read the file"
echo "$probe" | grep -qx "codec_name=opus" || fail "not Opus: $probe"
echo "$probe" | grep -qx "channels=1" || fail "not mono: $probe"
python3 - "$wav" "$(echo "$probe" | sed -n 's/^duration=//p')" <<'PY' || fail "wrong duration: $probe"
import os, sys
seconds = (os.path.getsize(sys.argv[1]) - 44) / (11025 * 2)
sys.exit(0 if abs(seconds - float(sys.argv[2])) <= 0.1 else 1)
PY

# Alt+F opens the File menu again (the hidden Folder menu used to take every second Alt+F).
xdotool windowfocus --sync "$window"
menu alt+f
wait_ms 5000 menus_are 1 || fail "Alt+F opened nothing after Save As"
xdotool key Escape
wait_ms 5000 menus_are 0 || fail "the File menu did not close"

# Ended by the session's termination signal, which saves like a close.
kill -TERM "$APP_PID"
wait_for_exit "$APP_PID" 20
status=$?
APP_PID=""
[ "$status" -eq 0 ] || fail "exit status $status"
grep -q "LastSaveDirLabel_Caption=$saved/" "$folder/tellamo.INI" || fail "the folder saved to is not remembered"
echo "1 passed, 0 failed"
