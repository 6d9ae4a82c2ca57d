#!/usr/bin/env bash
# Usage: record-play.sh TELLAMO_BINARY OUTPUT_FOLDER
# Records a few seconds of known speech (espeak-ng through a PulseAudio pipe source) into a note
# with the real program, stops, plays it back, and checks the WAV file, its graph and the catalogue.
# Screenshots of the window while recording and after stopping are left in OUTPUT_FOLDER.
set -u
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/pulse.sh"
binary=$1
out=$2

start_session
trap 'stop_pulse; stop_session' EXIT
start_pulse

work=$TEST_HOME/work
mkdir -p "$work"
espeak-ng -v en-us -s 150 -w "$work/speech.wav" \
  "This is a voice note recorded from start to end by the test. It holds known speech, so the test can find it again in the file." ||
  fail "espeak-ng failed"
# Leading silence lets the capture start before the speech; the sound is 11025 Hz 16-bit mono,
# the recording format of a first run.
sox "$work/speech.wav" -r 11025 -c 1 -b 16 -e signed-integer -t raw "$work/speech.raw" pad 1 2 ||
  fail "sox failed"

"$binary" &
APP_PID=$!
window=$(wait_for_window Tellamo) || fail "no main window appeared"
xdotool windowfocus --sync "$window"
# Show the Note menu (View > Menu > Note), then Note > Record.
xdotool key --clearmodifiers alt+v; sleep 0.3; xdotool key m; sleep 0.3; xdotool key n; sleep 0.3
pipe_source 11025
xdotool key --clearmodifiers alt+n; sleep 0.3; xdotool key Return   # Record is the first enabled entry
wait_for_window "Enter Description.*" >/dev/null || fail "no description dialog"
xdotool type --delay 20 "spoken test note"
xdotool key Return
feed_speech "$work/speech.raw"
sleep 3
import -window root "$out/e2e-recording.png"
sleep 2
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers alt+n; sleep 0.3; xdotool key s
sleep 1
import -window root "$out/e2e-stopped.png"

folder="$HOME/Documents/My Voice Notes"
wav=$(ls "$folder"/[0-9][0-9][0-9][0-9][0-9][0-9].wav 2>/dev/null | head -n 1)
[ -n "$wav" ] || fail "no WAV file was recorded"
bytes=$(stat -c %s "$wav")
[ "$bytes" -gt $((44 + 11025 * 2 * 3)) ] || fail "the recording is too short ($bytes bytes)"
[ -f "${wav%.wav}.bmp" ] || fail "no graph file next to the recording"
[ "$(stat -c %s "${wav%.wav}.bmp")" -eq 76918 ] || fail "the graph file has the wrong size"
# The recording holds the input samples: a stretch from its middle occurs verbatim in the input.
python3 - "$wav" "$work/speech.raw" <<'PY' || fail "the recorded samples are not the input's"
import sys
rec = open(sys.argv[1], 'rb').read()[44:]
src = open(sys.argv[2], 'rb').read()
mid = len(rec) // 2 & ~1
probe = rec[mid:mid + 4000]
if len(probe) < 4000 or probe.count(b'\0') == len(probe) or src.find(probe) < 0:
    sys.exit(1)
PY

# Note > Play: a stream reaches the sound server while the note plays.
xdotool key --clearmodifiers alt+n; sleep 0.3; xdotool key p
playing=no
for _ in $(seq 30); do
  if pactl list short sink-inputs | grep -q .; then playing=yes; break; fi
  sleep 0.1
done
[ "$playing" = yes ] || fail "nothing was played"

xdotool key --clearmodifiers alt+f; sleep 0.3; xdotool key x
wait_for_exit "$APP_PID" 20
status=$?
APP_PID=""
[ "$status" -eq 0 ] || fail "exit status $status"
grep -q "spoken test note" "$folder/Tellamo.dat" || fail "the note's description is not in the catalogue"
echo "1 passed, 0 failed"
