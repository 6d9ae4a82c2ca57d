#!/usr/bin/env bash
# Usage: play-file-plugin.sh TELLAMO_BINARY
# Plays a note with the real program through ALSA's file plugin, with no sound server: the
# default PCM writes what it is given into a raw file. The plugin is not paced, so the note's
# end is checked by what reaches the file and by the device's close: the whole note's samples,
# exactly, within its length and a second of pressing Play; then Play works again.
set -u
. "$(dirname "$0")/lib.sh"
TELLAMO=$1

start_session
mkdir -p "$folder"
out=$WORK/out.raw

# Debian's ALSA configuration sets the default PCM after ~/.asoundrc when a sound server is
# installed; a hook of our own comes later still. The file is written afresh at every open.
cat >"$WORK/file-plugin.conf" <<CONF
pcm.!default { type file slave.pcm "null" file "$out" format "raw" }
CONF
printf '@hooks [ { func load files [ "%s" ] errors false } ]\n' "$WORK/file-plugin.conf" >"$HOME/.asoundrc"

# A catalogue with one note: 3.3 s of 8-bit 8000 Hz sound, not a whole number of buffers.
sox -n -r 8000 -c 1 -b 8 -e unsigned-integer "$folder/480151.wav" synth 3.3017 sine 300-900 ||
  fail "sox failed"
python3 - "$folder/480151.wav" "$WORK/note.raw" <<'PY' || fail "the note is not 8-bit mono at 8000 Hz"
import struct, sys
b = open(sys.argv[1], 'rb').read()
assert b[36:40] == b'data' and struct.unpack('<HIIHH', b[22:36]) == (1, 8000, 8000, 1, 8)
open(sys.argv[2], 'wb').write(b[44:44 + struct.unpack('<I', b[40:44])[0]])
PY
note_ms=$(one_note_catalogue 480151 "file plugin note") || fail "the catalogue could not be written"
note_bytes=$(stat -c %s "$WORK/note.raw")

# The program has the output file open while the device is.
device_open() { ls -l "/proc/$APP_PID/fd" 2>/dev/null | grep -qF "$out"; }
out_holds() { [ "$(stat -c %s "$out" 2>/dev/null || echo 0)" -eq "$1" ]; }
played_to_end() { out_holds "$1" && ! device_open; }

start_with_note_menu
# Note > Play twice, each time from the start.
for round in 1 2; do
  menu alt+n
  wait_ms 10000 menus_are 1 || fail "the Note menu did not open"
  play_started=$(now_ms)
  xdotool key p
  wait_ms $((note_ms + 1000)) played_to_end "$note_bytes" ||
    fail "play $round: the output holds $(stat -c %s "$out" 2>/dev/null || echo 0) of $note_bytes bytes; the device is $(device_open && echo open || echo closed)"
  echo "play $round of $note_ms ms ended $(( $(now_ms) - play_started )) ms after Play was pressed"
  wait_ms 5000 menus_are 0 || fail "the Note menu stayed open"
  cmp "$out" "$WORK/note.raw" || fail "play $round: the output is not the note's samples"
  mv "$out" "$WORK/out-$round.raw"
done

exit_by_menu
echo "1 passed, 0 failed"
