#!/usr/bin/env bash
# Usage: full-disk-recover.sh TELLAMO_BINARY OUTPUT_FOLDER
# The storage folder on a file system with no room left for the catalogue's save (a tmpfs whose
# last free inodes go to the recording's file and its marker): Record shows the save error and
# records all the same; the program is killed with SIGKILL, room is made, and the next start
# brings the recording back as its note (its description kept) with the "Recordings recovered"
# message, and removes the marker. Needs root for the mount; skipped (77) without it.
set -u
. "$(dirname "$0")/lib.sh"
TELLAMO=$1
out=$2

start_session --pulse
mkdir -p "$folder"
mount -t tmpfs -o size=64m,nr_inodes=64 tmpfs "$folder" 2>/dev/null || {
  echo "cannot mount a tmpfs here: skipped"
  exit 77
}
trap 'umount -l "$folder" 2>/dev/null; stop_session' EXIT

speech_raw "$WORK/speech.raw" \
  "This note is recorded while the catalogue cannot be saved, and the program is killed before it can try again." 0.5 2

# A first start makes the folder's files; then everything but two inodes is taken.
start_program
exit_by_menu
free_inodes() { df --output=iavail "$folder" | tail -n 1 | tr -d ' '; }
n=0
while [ "$(free_inodes)" -gt 2 ]; do
  : > "$folder/filler-$n"
  n=$((n + 1))
done
echo "$n filler files; $(free_inodes) inodes left"

start_with_note_menu
pipe_source 11025
menu alt+n Return   # Record
wait_for_window "Enter Description.*" >/dev/null || fail "no description dialog"
feed_speech "$WORK/speech.raw" "$WORK/fed"
xdotool type --delay 20 "kept through a full disk"
xdotool key Return
box=$(wait_for_window "Error") || fail "the failed catalogue save was not shown"
screenshot "$out/e2e-full-disk-save-error.png" "$box"
focus "$box" || fail "the error box did not get the focus"
xdotool key Return
wait_ms 20000 note_wav >/dev/null || fail "the recording did not begin"
wav=$(note_wav)
wait_until 20 larger_than "$wav" 44100 || fail "the recording does not grow"
[ -f "$folder/Tellamo.recording" ] || fail "no marker names the recording"
kill -9 "$APP_PID"
wait "$APP_PID" 2>/dev/null
APP_PID=""
end_process "$FEED_PID"
name=$(basename "$wav" .wav)
if grep -q "$name" "$folder/Tellamo.dat" 2>/dev/null; then
  fail "the catalogue was saved after all: nothing to test"
fi

rm -f "$folder"/filler-*
launch
notice=$(wait_for_window "Recordings recovered") || fail "no message about the recovered recording"
screenshot "$out/e2e-full-disk-recovered.png" "$notice"
focus "$notice" || fail "the message did not get the focus"
xdotool key Return
window=$(wait_for_window Tellamo) || fail "no main window after the message"
focus "$window" || fail "the main window did not get the focus"
exit_by_menu
[ ! -e "$folder/Tellamo.recording" ] || fail "the marker is still there"

python3 - "$folder/Tellamo.dat" "$wav" <<'PY' || fail "the recording did not come back as its note"
import struct, sys
from catalogue import read_notes
wav = sys.argv[2]
notes = {n.name: (n.description, n.duration_ms, n.rate, n.bits) for n in read_notes(sys.argv[1])}
name = wav.rsplit('/', 1)[1][:-4]
assert name in notes, f'{name} is not listed: {notes}'
desc, ms, rate, bits = notes[name]
rec = open(wav, 'rb').read()
data, = struct.unpack_from('<I', rec, 40)
print(f'listed: {desc!r}, {ms} ms, {rate} Hz {bits} bits; file {len(rec)} bytes')
assert desc == 'kept through a full disk', desc
assert (rate, bits) == (11025, 16)
assert data + 44 == len(rec) and ms == round(data / 2 * 1000 / 11025) and ms >= 1000
PY
echo "1 passed, 0 failed"
