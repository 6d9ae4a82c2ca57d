#!/usr/bin/env bash
# Usage: save-as.sh TELLAMO_BINARY OUTPUT_FOLDER
# Records a note of known speech with the real program, then saves it by the keyboard through
# File > Save As: the file dialog gets a name, the format dialog is answered with Ogg Opus, and
# the file written is checked with ffprobe. A screenshot of the format dialog is left in
# OUTPUT_FOLDER (e2e-save-format.png).
set -u
. "$(dirname "$0")/lib.sh"
TELLAMO=$1
out=$2

start_session --pulse

saved=$WORK/saved
mkdir -p "$saved"
speech_raw "$WORK/speech.raw" "This note is saved as an Ogg Opus file by the test." 0.5 1

# The file dialog opens in the folder saved to last time.
mkdir -p "$folder"
printf '[TTellamoMainForm]\r\nLastSaveDirLabel_Caption=%s/\r\n' "$saved" >"$folder/tellamo.INI"

start_with_note_menu
pipe_source 11025
menu alt+n Return   # Record
wait_for_window "Enter Description.*" >/dev/null || fail "no description dialog"
xdotool type --delay 20 "opus <test> note"
xdotool key Return
feed_speech "$WORK/speech.raw"
# Stop once three seconds of sound are in the file.
wait_until 30 wav_holds $((44 + 11025 * 2 * 3 + 1)) || fail "the recording does not grow"
wav=$(note_wav)
focus "$window" || fail "the main window did not get the focus"
menu alt+n s
wait_until 10 test -f "${wav%.wav}.bmp" || fail "the recording was not stopped"

# File > Save As: the file dialog proposes the description without its bad characters.
focus "$window" || fail "the main window did not get the focus"
menu alt+f a
dialog=$(wait_for_window "Save As") || fail "no file dialog"
focus "$dialog" || fail "the file dialog did not get the focus"
xdotool key ctrl+a; xdotool type --delay 20 "call"; xdotool key Return
# The format dialog: a second window of that title.
format_dialog() { FORMAT=$(xdotool search --onlyvisible --name "^Save As\$" 2>/dev/null | grep -vx "$dialog" | head -n 1) && [ -n "$FORMAT" ]; }
wait_until 10 format_dialog || fail "no format dialog"
format=$FORMAT
screenshot "$out/e2e-save-format.png" "$format" || fail "no screenshot"
focus "$format" || fail "the format dialog did not get the focus"
# TrueSpeech is chosen at start; the item below it is Ogg Opus.
xdotool key Down Return

target="$saved/call.opus"
wait_until 20 test -f "$target" || fail "no $target was written ($(ls "$saved"))"
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
focus "$window" || fail "the main window did not get the focus"
menu alt+f
wait_ms 5000 menus_are 1 || fail "Alt+F opened nothing after Save As"
xdotool key Escape
wait_ms 5000 menus_are 0 || fail "the File menu did not close"

# Ended by the session's termination signal, which saves like a close.
end_program
grep -q "LastSaveDirLabel_Caption=$saved/" "$folder/tellamo.INI" || fail "the folder saved to is not remembered"
echo "1 passed, 0 failed"
