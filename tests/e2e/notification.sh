#!/usr/bin/env bash
# Usage: notification.sh TELLAMO_BINARY
# With "Start/Stop notification" on, Record and Stop each play the embedded sound through the
# sound server that playback uses: a pipe sink as the default sink receives its samples.
set -u
. "$(dirname "$0")/lib.sh"
TELLAMO=$1
data=$(dirname "$0")/../../data/sounds/systemwav.wav

# The sound is 8-bit mono at 22050 Hz: at that rate the server only widens its samples.
start_session --pipe-sink 22050
mkdir -p "$folder"
cat >"$folder/tellamo.INI" <<'INI'
[TTellamoMainForm]
SoundNotificationAction_Checked=True
AskDescriptionAction_Checked=False
INI

# The sound's samples as the sink receives them; its silent samples (128) cannot be told from the
# sink's own silence, so only the others are compared.
python3 - "$data" "$WORK/expected.raw" <<'PY' || fail "the embedded sound could not be read"
import array, struct, sys
b = open(sys.argv[1], 'rb').read()
pos = 12
while pos + 8 <= len(b):
    tag, size = b[pos:pos + 4], struct.unpack('<I', b[pos + 4:pos + 8])[0]
    if tag == b'data':
        samples = b[pos + 8:pos + 8 + size]
        break
    pos += 8 + size + (size & 1)
else:
    sys.exit(1)
open(sys.argv[2], 'wb').write(array.array('h', [(s - 128) << 8 for s in samples if s != 128]).tobytes())
PY

# count_sounds: how many whole copies of the sound the sink received, in order.
count_sounds() {
  python3 - "$PLAYED_RAW" "$WORK/expected.raw" <<'PY'
import array, sys
data = open(sys.argv[1], 'rb').read()
played = array.array('h', data[:len(data) & ~1])
expected = open(sys.argv[2], 'rb').read()
sound = array.array('h', [s for s in played if s]).tobytes()
print(sound.count(expected))
PY
}
heard() { [ "$(count_sounds)" -ge "$1" ]; }

start_with_note_menu
menu alt+n Return   # Record is the first enabled entry
wait_ms 20000 wav_holds 2000 || fail "the recording did not start"
wait_ms 10000 heard 1 || fail "Record played no notification (heard $(count_sounds) copies)"
focus "$window" || fail "the main window did not get the focus"
menu alt+n s
wait_ms 10000 completed 1 || fail "the recording did not stop"
wait_ms 10000 heard 2 || fail "Stop played no notification (heard $(count_sounds) copies)"

exit_by_menu
echo "1 passed, 0 failed"
