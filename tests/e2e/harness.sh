#!/usr/bin/env bash
# Usage: harness.sh TELLAMO_BINARY ISOLATION_TEST_BINARY
# The whole-program tests' session with every option at once: its folders pass the checks every
# unit test's private folders pass; its bus answers; trayer holds the tray and openbox frames the
# program's window, which ends through its menu as without a window manager; a note the program
# plays reaches the pipe sink, every sample once and in order; and stopping the session ends every process it
# started and removes its folder.
set -u
. "$(dirname "$0")/lib.sh"
TELLAMO=$1
isolation=$2

start_session --pipe-sink 11025 --bus --tray --wm

# The session bus is private here on purpose; the folders are checked as in any unit test.
env -u DBUS_SESSION_BUS_ADDRESS "$isolation" --gtest_color=no >"$WORK/isolation.txt" 2>&1 ||
  fail "the session's folders are not private: $(cat "$WORK/isolation.txt")"
dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
  org.freedesktop.DBus.GetId >/dev/null || fail "the private bus does not answer"
tray_is_up || fail "the tray went away"

# A note whose every sample is sound (never 0), so that its first and last stand out from the
# pipe sink's silence: 1.5 s of 16-bit mono at 11025 Hz.
mkdir -p "$folder"
python3 - "$folder/480152.wav" "$WORK/note.raw" <<'PY'
import math, struct, sys
frames = 16538
samples = [4000 + int(3000 * math.sin(2 * math.pi * 440 * i / 11025)) for i in range(frames)]
data = struct.pack('<%dh' % frames, *samples)
header = b'RIFF' + struct.pack('<I', 36 + len(data)) + b'WAVEfmt ' + \
    struct.pack('<IHHIIHH', 16, 1, 1, 11025, 22050, 2, 16) + b'data' + struct.pack('<I', len(data))
open(sys.argv[1], 'wb').write(header + data)
open(sys.argv[2], 'wb').write(data)
PY
one_note_catalogue 480152 "pipe sink note" >/dev/null || fail "the catalogue could not be written"

start_with_note_menu
frame=$(xwininfo -id "$window" -tree | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p')
root=$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')
[ -n "$frame" ] && [ "$frame" != "$root" ] || fail "openbox did not frame the main window"

menu alt+n p
wait_ms 10000 streams_are -gt 0 || fail "nothing was played"
wait_ms 20000 streams_are -eq 0 || fail "the playback did not end"
played_sound "$WORK/played-note.raw" || fail "the pipe sink received only silence"
# Every sample of the note, once and in order; silence within it (a buffer the program was late
# with on a loaded machine) is counted, not judged.
python3 - "$WORK/played-note.raw" "$WORK/note.raw" <<'PY' || fail "the pipe sink did not receive the note's samples"
import array, sys
played = array.array('h', open(sys.argv[1], 'rb').read())
note = open(sys.argv[2], 'rb').read()
sound = array.array('h', [s for s in played if s])
gaps = sum(1 for i in range(1, len(played)) if played[i] == 0 and played[i - 1] != 0)
print(f'played {len(sound)} of the note\'s {len(note) // 2} samples, with {gaps} gaps of silence')
sys.exit(0 if sound.tobytes() == note else 1)
PY
wait_ms 10000 menus_are 0 || fail "the Note menu stayed open"
exit_by_menu

# What the session leaves behind: nothing.
started=("${SESSION_PROCESSES[@]}")
root=$SESSION_ROOT
stop_session
for entry in "${started[@]}"; do
  gone "${entry%%:*}" "${entry#*:}" || fail "process ${entry%%:*} outlived the session: $(ps -o args= -p "${entry%%:*}")"
done
[ ! -e "$root" ] || fail "the session's folder is left: $root"
# Whatever was not tracked would still answer.
xdpyinfo >/dev/null 2>&1 && fail "the display outlived the session"
pactl info >/dev/null 2>&1 && fail "the sound server outlived the session"
dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
  org.freedesktop.DBus.GetId >/dev/null 2>&1 && fail "the bus outlived the session"
# The display, the bus, the sound server, its sink's reader, openbox, trayer and the program.
[ ${#started[@]} -ge 7 ] || fail "the session tracked ${#started[@]} processes: ${started[*]}"
echo "1 passed, 0 failed"
