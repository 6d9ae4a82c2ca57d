#!/usr/bin/env bash
# Usage: media-controls.sh TELLAMO_BINARY
# The desktop's media controls drive the real program on a private session bus, as a media panel
# or the media keys would: playerctl lists the player and reads the current note's metadata,
# play-pause, "position 2" and next behave, setting Rate over D-Bus changes the speed the window
# keeps, PropertiesChanged announces the end of a playback, Quit ends the program as Exit does,
# and no player is left once it has; Raise brings the window out of the tray.
set -u
. "$(dirname "$0")/lib.sh"
TELLAMO=$1

start_session --pulse --bus
mkdir -p "$folder"
# Two notes of a catalogue in the index file's layout (see one_note_catalogue in lib.sh).
sox -n -r 11025 -b 16 -c 1 "$folder/480151.wav" synth 6 sine 440
sox -n -r 11025 -b 16 -c 1 "$folder/480152.wav" synth 3 sine 660
python3 - "$folder" <<'PY'
import os, struct, sys
folder = sys.argv[1]
notes = [("480151", "first tone", 46000.5), ("480152", "", 46000.75)]
z = lambda t: t.encode() + b'\0'
d = struct.pack('<Bi', 1, len(notes))
for name, description, start in notes:
    b = open(os.path.join(folder, name + '.wav'), 'rb').read()
    rate, bytes_per_second = struct.unpack('<II', b[24:32])
    size = struct.unpack('<I', b[40:44])[0]
    bits = struct.unpack('<H', b[34:36])[0]
    d += struct.pack('<dd', size * 1000 // bytes_per_second / 86400000, start)
    d += z(description) + z(name) + struct.pack('<iHHi', 0, rate, bits, round(len(b) / 1024))
d += struct.pack('<ii', 14, 0) + b'Notes000000\r\nRecycle Bin000013\r\n'
open(os.path.join(folder, 'Tellamo.dat'), 'wb').write(d)
PY

pc() { playerctl --player=tellamo "$@" 2>/dev/null; }
listed() { playerctl --list-all 2>/dev/null | grep -qx tellamo; }
status_is() { [ "$(pc status)" = "$1" ]; }
title_is() { [ "$(pc metadata xesam:title)" = "$1" ]; }
# position_near SECONDS: the position playerctl reads is within half a second of it.
position_near() {
  local p
  p=$(pc position) || return 1
  python3 -c "import sys; sys.exit(abs(float('$p') - $1) > 0.5)"
}
# The Player interface's property as dbus-send prints it ("double 1.5", "string \"Playing\"").
player_property() {
  dbus-send --session --print-reply=literal --dest=org.mpris.MediaPlayer2.tellamo \
    /org/mpris/MediaPlayer2 org.freedesktop.DBus.Properties.Get \
    string:org.mpris.MediaPlayer2.Player "string:$1" 2>/dev/null | sed 's/^ *variant *//'
}
rate_is() { [ "$(player_property Rate)" = "double $1" ]; }

# What the program announces on the bus, from before it starts.
dbus-monitor --session \
  "type='signal',sender='org.mpris.MediaPlayer2.tellamo',path='/org/mpris/MediaPlayer2'" \
  >"$WORK/signals" 2>/dev/null &
track $!
monitored() { grep -q -- "$1" "$WORK/signals"; }

start_program
wait_until 10 listed || fail "playerctl does not list the program: $(playerctl --list-all 2>&1)"

# The first note of the list is the current one.
title_is "first tone" || fail "title: $(pc metadata xesam:title)"
[ "$(pc metadata xesam:url)" = "file://$folder/480151.wav" ] ||
  fail "url: $(pc metadata xesam:url)"
[ "$(pc metadata mpris:length)" = 6000000 ] || fail "length: $(pc metadata mpris:length)"
status_is Stopped || fail "status before playing: $(pc status)"

pc play-pause
wait_until 5 status_is Playing || fail "play-pause did not play: $(pc status)"
pc play-pause
wait_until 5 status_is Paused || fail "play-pause did not pause: $(pc status)"
pc play-pause
wait_until 5 status_is Playing || fail "play-pause did not resume: $(pc status)"
pc position 2
wait_until 5 monitored "member=Seeked" || fail "no Seeked after the jump"
position_near 2.2 || fail "position after 'position 2': $(pc position)"

# The rate set over the bus is the speed of the window's toolbar (it reads back from there).
dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.tellamo /org/mpris/MediaPlayer2 \
  org.freedesktop.DBus.Properties.Set string:org.mpris.MediaPlayer2.Player string:Rate \
  variant:double:1.5 >/dev/null || fail "setting Rate failed"
wait_until 5 rate_is 1.5 || fail "Rate reads $(player_property Rate)"
wait_until 5 monitored "double 1.5" || fail "no PropertiesChanged for the rate"

# Next: the second note of the list plays; with no description its title is its start date.
pc next
wait_until 5 bash -c "[ \"\$(playerctl --player=tellamo metadata xesam:url)\" = 'file://$folder/480152.wav' ]" ||
  fail "next did not move to the second note: $(pc metadata xesam:url)"
title=$(pc metadata xesam:title)
[[ $title == *18:00* || $title == *6:00* ]] || fail "the title of a note without a description: '$title'"
wait_until 5 status_is Playing || fail "the next note does not play: $(pc status)"

# Three seconds at 1.5x: the end comes after two, and is announced.
cp "$WORK/signals" "$WORK/signals.before-end"
wait_until 15 status_is Stopped || fail "the playback did not end: $(pc status)"
wait_until 5 bash -c "diff '$WORK/signals.before-end' '$WORK/signals' | grep -q Stopped" ||
  fail "no PropertiesChanged with the status Stopped at the end of the playback"

# Quit ends the program as Exit does: the speed set over the bus is in the settings file.
dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.tellamo /org/mpris/MediaPlayer2 \
  org.mpris.MediaPlayer2.Quit >/dev/null || fail "Quit failed"
program_ended 20
tr -d '\r' <"$folder/tellamo.INI" | grep -qx 'SpeedSpinBox_Tenths=15' ||
  fail "the speed was not kept: $(grep Speed "$folder/tellamo.INI")"
listed && fail "a player is still listed after the program quit"

# Raise brings the window back also from the tray: a program closed minimized to the tray starts
# hidden there.
start_tray
sed -i 's/^MinimizeToTrayAction_Checked=False/MinimizeToTrayAction_Checked=True/; s/^ShowCmd=[0-9]*/ShowCmd=2/' \
  "$folder/tellamo.INI"
main_window() { xwininfo -root -children | awk '/"Tellamo": \("tellamo" "tellamo"\)/ { print $1; f = 1; exit } END { exit !f }'; }
map_state_is() { local w; w=$(main_window) && xwininfo -id "$w" | grep -q "Map State: $1"; }
launch
wait_until 20 map_state_is IsUnMapped || fail "the program did not start hidden in the tray"
wait_until 10 listed || fail "no player while the window hides in the tray"
dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.tellamo /org/mpris/MediaPlayer2 \
  org.mpris.MediaPlayer2.Raise >/dev/null || fail "Raise failed"
wait_until 10 map_state_is IsViewable || fail "Raise did not bring the window out of the tray"
end_program
listed && fail "a player is still listed after the program ended"

echo "1 passed, 0 failed"
