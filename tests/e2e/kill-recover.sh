#!/usr/bin/env bash
# Usage: kill-recover.sh TELLAMO_BINARY OUTPUT_FOLDER [SEED]
# Records paced speech (espeak-ng through a PulseAudio pipe source) with the real program, kills
# it with SIGKILL at a random moment between 3 and 9 s into the recording, and starts it again:
# the note must come back with its sound (duration and size in the catalogue, header sizes that
# agree with the file, a WAV FFmpeg reads without a warning), losing at most the last 1.5 s of
# what was fed, and the program must say which recordings it recovered.
set -u
. "$(dirname "$0")/lib.sh"
TELLAMO=$1
out=$2
seed=${3:-$(date +%s%N | cut -c10-18)}
seed=$((10#$seed)) # RANDOM= evaluates arithmetic, where a leading 0 would mean octal
RANDOM=$seed
kill_ms=$(( 3000 + RANDOM % 6001 ))
echo "seed $seed: SIGKILL ${kill_ms} ms into the recording"

start_session --pulse

speech_raw "$WORK/speech.raw" \
  "This voice note is cut off by a kill signal while it is being recorded. The program must bring it back at the next start, with all of its sound but the last second or so. One, two, three, four, five, six, seven, eight, nine, ten." 0.5 2

start_with_note_menu
pipe_source 11025
menu alt+n Return   # Record
wait_for_window "Enter Description.*" >/dev/null || fail "no description dialog"
# The speech flows from before the recording begins, so that what was fed at the kill is known
# whatever the start-up lag of the sound server; the feeder keeps count of it.
feed_speech "$WORK/speech.raw" "$WORK/fed"
xdotool type --delay 20 "cut off note"
xdotool key Return
# The recording has begun once its file exists; the kill comes at a chosen time into it.
wait_ms 20000 note_wav >/dev/null || fail "the recording did not begin"
sleep "$(printf '%d.%03d' $((kill_ms / 1000)) $((kill_ms % 1000)))"
kill -9 "$APP_PID"
fed=$(cat "$WORK/fed")
wait "$APP_PID" 2>/dev/null
APP_PID=""
end_process "$FEED_PID"
wav=$(note_wav)
[ -n "$wav" ] || fail "no WAV file was recorded"
echo "fed $fed bytes; the file holds $(stat -c %s "$wav") bytes at the kill"

launch
wait_for_window Tellamo >/dev/null || fail "no main window at the second start"
notice=$(wait_for_window "Recordings recovered") || fail "no message about the recovered recording"
screenshot "$out/e2e-recovered.png" "$notice"
focus "$notice" || fail "the message did not get the focus"
xdotool key Return
window=$(wait_for_window Tellamo) || fail "no main window after the message"
focus "$window" || fail "the main window did not get the focus"
exit_by_menu

python3 - "$folder/Tellamo.dat" "$wav" "$WORK/speech.raw" "$fed" <<'PY' || fail "the recovered note is not whole"
import struct, sys
from catalogue import read_notes
index, wav, src_path, fed = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
notes = [(n.name, n.description, n.duration_ms, n.kb) for n in read_notes(index)]
name = wav.rsplit('/', 1)[1][:-4]
note = [n for n in notes if n[0] == name]
assert note, 'the note is not listed'
_, desc, duration_ms, kb = note[0]
rec = open(wav, 'rb').read()
riff, = struct.unpack_from('<I', rec, 4)
data, = struct.unpack_from('<I', rec, 40)
print(f'listed: {desc!r}, {duration_ms} ms, {kb} KB; file {len(rec)} bytes, header {riff}+8, {data}+44')
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
