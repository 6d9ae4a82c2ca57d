#!/usr/bin/env bash
# Usage: play-file-plugin.sh TELLAMO_BINARY
# Plays a note with the real program through ALSA's file plugin, with no sound server: the
# default PCM writes what it is given into a raw file. The plugin is not paced, so the note's
# end is checked by what reaches the file and by the device's close: the whole note's samples,
# exactly, within its length and a second of pressing Play; then Play works again.
set -u
. "$(dirname "$0")/lib.sh"
binary=$1

start_session
work=$TEST_HOME/work
folder="$HOME/Documents/My Voice Notes"
mkdir -p "$work" "$folder"
out=$work/out.raw

# Debian's ALSA configuration sets the default PCM after ~/.asoundrc when a sound server is
# installed; a hook of our own comes later still. The file is written afresh at every open.
cat >"$work/file-plugin.conf" <<CONF
pcm.!default { type file slave.pcm "null" file "$out" format "raw" }
CONF
printf '@hooks [ { func load files [ "%s" ] errors false } ]\n' "$work/file-plugin.conf" >"$HOME/.asoundrc"

# A catalogue with one note: 3.3 s of 8-bit 8000 Hz sound, not a whole number of buffers.
sox -n -r 8000 -c 1 -b 8 -e unsigned-integer "$folder/480151.wav" synth 3.3017 sine 300-900 ||
  fail "sox failed"
note_ms=$(python3 - "$folder" "$work/note.raw" <<'PY'
import os, struct, sys
folder, raw = sys.argv[1:3]
wav = os.path.join(folder, '480151.wav')
b = open(wav, 'rb').read()
assert b[36:40] == b'data' and struct.unpack('<HIIHH', b[22:36]) == (1, 8000, 8000, 1, 8)
frames = struct.unpack('<I', b[40:44])[0]
ms = frames * 1000 // 8000
z = lambda t: t.encode() + b'\0'
d = struct.pack('<Bi', 1, 1)
d += struct.pack('<dd', ms / 86400000, 46000.5) + z('file plugin note') + z('480151')
d += struct.pack('<iHHi', 0, 8000, 8, round(len(b) / 1024))
d += struct.pack('<ii', 14, 0) + b'Notes000000\r\nRecycle Bin000013\r\n'
open(os.path.join(folder, 'Tellamo.dat'), 'wb').write(d)
open(raw, 'wb').write(b[44:44 + frames])
print(ms)
PY
) || fail "the catalogue could not be written"
note_bytes=$(stat -c %s "$work/note.raw")

# The program has the output file open while the device is.
device_open() { ls -l "/proc/$APP_PID/fd" 2>/dev/null | grep -qF "$out"; }
out_holds() { [ "$(stat -c %s "$out" 2>/dev/null || echo 0)" -eq "$1" ]; }
played_to_end() { out_holds "$1" && ! device_open; }

start_with_note_menu "$binary"
# Note > Play twice, each time from the start.
for round in 1 2; do
  menu alt+n
  wait_ms 10000 menus_are 1 || fail "the Note menu did not open"
  play_started=$(date +%s%3N)
  xdotool key p
  wait_ms $((note_ms + 1000)) played_to_end "$note_bytes" ||
    fail "play $round: the output holds $(stat -c %s "$out" 2>/dev/null || echo 0) of $note_bytes bytes; the device is $(device_open && echo open || echo closed)"
  echo "play $round of $note_ms ms ended $(( $(date +%s%3N) - play_started )) ms after Play was pressed"
  wait_ms 5000 menus_are 0 || fail "the Note menu stayed open"
  cmp "$out" "$work/note.raw" || fail "play $round: the output is not the note's samples"
  mv "$out" "$work/out-$round.raw"
done

exit_by_menu
echo "1 passed, 0 failed"
