#!/usr/bin/env bash
# Usage: record-play.sh TELLAMO_BINARY OUTPUT_FOLDER
# Records a few seconds of known speech (espeak-ng through a PulseAudio pipe source) into a note
# with the real program, stops, plays it back, and checks the WAV file, its graph and the catalogue.
# Screenshots of the window while recording and after stopping are left in OUTPUT_FOLDER.
set -u
. "$(dirname "$0")/lib.sh"
TELLAMO=$1
out=$2

start_session --pulse

# Leading silence lets the capture start before the speech.
speech_raw "$WORK/speech.raw" \
  "This is a voice note recorded from start to end by the test. It holds known speech, so the test can find it again in the file." 1 2

start_with_note_menu
pipe_source 11025
menu alt+n Return   # Record is the first enabled entry
wait_for_window "Enter Description.*" >/dev/null || fail "no description dialog"
xdotool type --delay 20 "spoken test note"
xdotool key Return
feed_speech "$WORK/speech.raw"
# Five seconds of sound (with its leading second of silence) before Stop.
wait_ms 20000 wav_holds $((44 + 11025 * 2 * 3)) || fail "the recording does not grow"
screenshot "$out/e2e-recording.png"
wait_ms 20000 wav_holds $((44 + 11025 * 2 * 5)) || fail "the recording stopped growing"
focus "$window" || fail "the main window did not get the focus"
menu alt+n s
wav=$(note_wav)
[ -n "$wav" ] || fail "no WAV file was recorded"
wait_ms 10000 completed 1 || fail "the WAV file was not completed"
wait_ms 10000 test -f "${wav%.wav}.bmp" || fail "no graph file next to the recording"
screenshot "$out/e2e-stopped.png"

bytes=$(stat -c %s "$wav")
[ "$bytes" -gt $((44 + 11025 * 2 * 3)) ] || fail "the recording is too short ($bytes bytes)"
[ "$(stat -c %s "${wav%.wav}.bmp")" -eq 76918 ] || fail "the graph file has the wrong size"
# The header's sizes; the recording holds the input samples (a stretch from its middle occurs
# verbatim in the input); the catalogue's record of the note: its file, description, format,
# size in KB (halves to even) and duration (the samples at 11025 Hz, to the millisecond).
note_ms=$(python3 - "$wav" "$WORK/speech.raw" "$folder/Tellamo.dat" <<'PY'
import os, struct, sys
from catalogue import read_notes
wav, raw, dat = sys.argv[1:4]
size = os.path.getsize(wav)
b = open(wav, 'rb').read()
def fail(m):
    print('FAIL: ' + m, file=sys.stderr)
    sys.exit(1)
if struct.unpack('<I', b[4:8])[0] != size - 8: fail('the RIFF size is not the file size - 8')
if struct.unpack('<I', b[40:44])[0] != size - 44: fail('the data size is not the file size - 44')
if struct.unpack('<HIIHH', b[22:36]) != (1, 11025, 22050, 2, 16):
    fail('the format fields are not those of 16-bit mono at 11025 Hz')
rec, src = b[44:], open(raw, 'rb').read()
mid = len(rec) // 2 & ~1
probe = rec[mid:mid + 4000]
if len(probe) < 4000 or probe.count(b'\0') == len(probe) or src.find(probe) < 0:
    fail("the recorded samples are not the input's")
found = [n for n in read_notes(dat) if n.description == 'spoken test note']
if not found: fail('the note is not in the catalogue')
name, folder, rate, bits, kb, ms = (found[-1].name, found[-1].folder, found[-1].rate,
                                    found[-1].bits, found[-1].kb, found[-1].duration_ms)
if name + '.wav' != os.path.basename(wav): fail('the record names ' + name)
if (folder, rate, bits) != (0, 11025, 16): fail('folder, rate, bits: %r' % ((folder, rate, bits),))
if kb != round(size / 1024): fail('%d KB for %d bytes' % (kb, size))
if abs(ms - (size - 44) / 2 * 1000 / 11025) > 1: fail('%d ms for %d data bytes' % (ms, size - 44))
print(ms)
PY
) || fail "the recorded note is not as it should be"

# Note > Play: a stream reaches the sound server, and the note plays to its end by itself: the
# stream closes and Play is enabled again without Stop, within the note's length and a second of
# pressing Play (the time from the key to the stream's close is printed: 0.2-0.4 s more than the
# length over five runs on this 2-core machine at a load of 5-7).
menu alt+n
wait_ms 10000 menus_are 1 || fail "the Note menu did not open"
play_started=$(now_ms)
xdotool key p
wait_ms 5000 streams_are -gt 0 || fail "nothing was played"
wait_ms $((note_ms + 1000 - ($(now_ms) - play_started))) streams_are -eq 0 ||
  fail "the playback did not end by itself within the note's length ($note_ms ms) and a second"
echo "the playback of $note_ms ms ended $(( $(now_ms) - play_started )) ms after Play was pressed"
menu alt+n p
wait_ms 5000 streams_are -gt 0 || fail "Play was not enabled again after the end"
wait_ms $((note_ms + 2000)) streams_are -eq 0 || fail "the second playback did not end"

exit_by_menu
echo "1 passed, 0 failed"
