#!/usr/bin/env bash
# Usage: kill-recover.sh TELLAMO_BINARY OUTPUT_FOLDER [SEED]
# Records paced speech (espeak-ng through a PulseAudio pipe source) with the real program, kills
# it with SIGKILL at a random moment between 3 and 9 s into the recording, and starts it again:
# the note must come back with its sound (duration and size in the catalogue, header sizes that
# agree with the file, a WAV FFmpeg reads without a warning), losing at most the last 1.5 s of
# what was fed, and the program must say which recordings it recovered.
set -u
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/pulse.sh"
binary=$1
out=$2
seed=${3:-$(date +%s%N | cut -c10-18)}
seed=$((10#$seed)) # RANDOM= evaluates arithmetic, where a leading 0 would mean octal
RANDOM=$seed
kill_ms=$(( 3000 + RANDOM % 6001 ))
echo "seed $seed: SIGKILL ${kill_ms} ms into the recording"

start_session
trap 'stop_pulse; stop_session' EXIT
start_pulse

work=$TEST_HOME/work
mkdir -p "$work"
speech_raw "$work/speech.raw" \
  "This voice note is cut off by a kill signal while it is being recorded. The program must bring it back at the next start, with all of its sound but the last second or so. One, two, three, four, five, six, seven, eight, nine, ten." 0.5 2

# The feeder writes the number of bytes it has passed on after every step, so that the test knows
# how much was fed at the moment of the kill.
feed_counted() {
  python3 - "$1" "$SPEECH_FIFO" "$SPEECH_RATE" "$work/fed" <<'PY' &
import os, sys, time
data = open(sys.argv[1], 'rb').read() + bytes(int(sys.argv[3]) * 2 * 30)
step = int(sys.argv[3]) * 2 // 20  # 50 ms
start = time.monotonic()
with open(sys.argv[2], 'wb', buffering=0) as fifo:
    for i in range(0, len(data), step):
        fifo.write(data[i:i + step])
        with open(sys.argv[4] + '.tmp', 'w') as f:
            f.write(str(min(i + step, len(data))))
        os.replace(sys.argv[4] + '.tmp', sys.argv[4])
        delay = start + (i // step + 1) * 0.05 - time.monotonic()
        if delay > 0:
            time.sleep(delay)
PY
  FEED_PID=$!
}

start_with_note_menu "$binary"
pipe_source 11025
menu alt+n Return   # Record
wait_for_window "Enter Description.*" >/dev/null || fail "no description dialog"
# The speech flows from before the recording begins, so that what was fed at the kill is known
# whatever the start-up lag of the sound server.
feed_counted "$work/speech.raw"
xdotool type --delay 20 "cut off note"
xdotool key Return
folder="$HOME/Documents/My Voice Notes"
# The recording has begun once its file exists.
for _ in $(seq 100); do
  ls "$folder"/[0-9][0-9][0-9][0-9][0-9][0-9].wav >/dev/null 2>&1 && break
  sleep 0.05
done
sleep "$(printf '%d.%03d' $((kill_ms / 1000)) $((kill_ms % 1000)))"
kill -9 "$APP_PID"
fed=$(cat "$work/fed")
wait "$APP_PID" 2>/dev/null
APP_PID=""
kill "$FEED_PID" 2>/dev/null; wait "$FEED_PID" 2>/dev/null; FEED_PID=""
wav=$(ls "$folder"/[0-9][0-9][0-9][0-9][0-9][0-9].wav 2>/dev/null | head -n 1)
[ -n "$wav" ] || fail "no WAV file was recorded"
echo "fed $fed bytes; the file holds $(stat -c %s "$wav") bytes at the kill"

"$binary" &
APP_PID=$!
wait_for_window Tellamo >/dev/null || fail "no main window at the second start"
notice=$(wait_for_window "Recordings recovered") || fail "no message about the recovered recording"
import -window root "$out/e2e-recovered.png"
xdotool windowfocus --sync "$notice"; xdotool key Return
window=$(wait_for_window Tellamo)
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers alt+f; sleep 0.3; xdotool key x
wait_for_exit "$APP_PID" 20
status=$?
APP_PID=""
[ "$status" -eq 0 ] || fail "exit status $status"

python3 - "$folder/Tellamo.dat" "$wav" "$work/speech.raw" "$fed" <<'PY' || fail "the recovered note is not whole"
import struct, sys
index, wav, src_path, fed = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
d = open(index, 'rb').read()
pos = 1
count, = struct.unpack_from('<i', d, pos); pos += 4
notes = []
for _ in range(count):
    days, start = struct.unpack_from('<dd', d, pos); pos += 16
    end = d.index(b'\0', pos); desc = d[pos:end]; pos = end + 1
    end = d.index(b'\0', pos); name = d[pos:end].decode(); pos = end + 1
    folder, rate, bits, kb = struct.unpack_from('<iHHi', d, pos); pos += 12
    notes.append((name, desc, round(days * 86400000), kb))
name = wav.rsplit('/', 1)[1][:-4]
note = [n for n in notes if n[0] == name]
assert note, 'the note is not listed'
_, desc, duration_ms, kb = note[0]
rec = open(wav, 'rb').read()
riff, = struct.unpack_from('<I', rec, 4)
data, = struct.unpack_from('<I', rec, 40)
print(f'listed: {desc.decode()!r}, {duration_ms} ms, {kb} KB; file {len(rec)} bytes, header {riff}+8, {data}+44')
assert riff + 8 == len(rec) and data + 44 == len(rec), 'header sizes disagree with the file'
assert duration_ms == round(data / 2 * 1000 / 11025), 'the listed duration is not the file\'s'
assert kb == round(len(rec) / 1024), 'the listed size is not the file\'s'
src = open(src_path, 'rb').read()
body = rec[44:]
assert len(body) > 11025 * 2, 'less than a second of sound'
# Where the recording's end lies in what was fed: the last 0.4 s window of it that occurs exactly
# once in the input (a pause of pure silence would match anywhere).
kept_to = None
for k in range(40):
    end = len(body) - k * 2205
    window = body[end - 8820:end]
    if len(window) == 8820 and src.count(window) == 1:
        kept_to = src.find(window) + len(window) + k * 2205
        break
assert kept_to is not None, 'the end of the recording is not the input'

lost = (min(fed, len(src)) - kept_to) / 2 / 11025
print(f'kept the input up to {kept_to / 2 / 11025:.2f} s of {fed / 2 / 11025:.2f} s fed: {lost:.2f} s lost')
assert lost <= 1.5, f'{lost:.2f} s lost'
PY
# FFmpeg guesses the channel layout of every plain 16-byte PCM format chunk, damaged or not; that
# note says nothing about the file's state and is the only one allowed.
warnings=$(ffmpeg -v warning -nostdin -i "$wav" -f null - 2>&1 | grep -v "Guessed Channel Layout")
[ -z "$warnings" ] || fail "FFmpeg warns about the recovered file: $warnings"
echo "1 passed, 0 failed"
