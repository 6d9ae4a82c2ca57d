# The whole-program tests' one helper, for sourcing (it sources pulse.sh itself). A test is a bash
# script that starts a session, drives the real program with xdotool and checks files, windows
# and the sound server; whatever it started ends with the script.
#
# The session
#   start_session [--pulse] [--pipe-sink RATE] [--bus] [--tray] [--wm]
#       A folder of its own with HOME, the XDG folders, TMPDIR and user-dirs.dirs in it
#       (tests/support/session.sh), a virtual X display with -noreset on a free number, and
#       on request: a headless PulseAudio with a null sink (--pulse); the same with a pipe sink
#       as the default sink that records what is played (--pipe-sink, see pulse.sh's
#       pipe_sink); a private session bus (--bus, DBUS_SESSION_BUS_ADDRESS); trayer holding the
#       tray (--tray); openbox managing the windows (--wm). XVFB_SCREEN=WxHxDEPTH before it sets
#       the display's size (1024x768x24). Sets WORK (a scratch folder beside HOME, not the
#       program's) and folder (the storage folder, not made yet). Everything is stopped and
#       removed at exit by stop_session.
#   track PID           a process the test started that the session ends at exit
#   end_process PID     ends a tracked process now (SIGTERM, SIGKILL after 10 s)
#   new_bus VARIABLE    a further private bus; its address goes into VARIABLE
#   start_tray, start_wm   what --tray and --wm do, for a test that needs them later
#
# Waiting on conditions (never a fixed sleep for something that can be observed)
#   wait_until SECONDS COMMAND...   runs COMMAND every 50 ms until it succeeds; false at the deadline
#   wait_ms MILLISECONDS COMMAND... the same in milliseconds
#   never_within SECONDS COMMAND... true when COMMAND does not succeed within SECONDS (for a
#                                   thing that must not happen, which only a time can show)
#   wait_for_window TITLE [SECONDS] prints the first visible window whose whole title matches
#   wait_for_exit PID SECONDS       the process's exit status; fails the test at the deadline
#   focus WINDOW                    gives WINDOW the keyboard focus and checks that it has it
#   screenshot FILE [WINDOW]        a picture of the screen, once WINDOW (else the screen) shows
#                                   more than a few colours, that is once it is painted
#   conditions to wait on: window_titled TITLE, window_gone TITLE, process_gone PID,
#   has_focus WINDOW, holds_files EXT N, larger_than FILE BYTES, tray_is_up, wm_is_up; now_ms is
#   the clock they keep. fail MESSAGE ends the test.
#
# The program (TELLAMO is its binary; APP_PID and window are its process and main window)
#   launch [ARGUMENTS...]          starts it in the background (put VAR=value before it, or
#                                  redirections after it, for its environment and output)
#   start_program [ARGUMENTS...]   launch, then wait for the main window and focus it
#   start_with_note_menu           start_program, then View > Menu > Note shows the Note menu
#   menu KEY...                    opens a menu with the first key, presses each further key once
#                                  the (sub)menu it belongs to is on the screen
#   exit_by_menu [SECONDS]         File > Exit; status 0 within SECONDS (20)
#   end_program                    SIGTERM, as at the end of a desktop session; status 0 within 20 s
#   program_ended SECONDS          the program ends by itself (a key the test pressed); status 0
#   program_windows, menus_are N   its visible windows; N menus on the screen
#
# The storage folder ("$folder") and its notes
#   note_wav, wav_holds BYTES      the newest note's WAV; it holds at least BYTES
#   count EXT, wait_for_files EXT N   note files with that extension
#   completed N, stopped N         N WAVs whose header holds their sizes; and the newest one's graph
#                                  drawn, which happens only once its recording has stopped
#   recording_grows                the newest WAV grows: the recording goes on
#   one_note_catalogue NAME DESCRIPTION   a catalogue listing $folder/NAME.wav; prints its length in ms
#   hotkey_settings                a settings file with the record and stop hotkeys on
#   record_by_hotkey N, stop_by_hotkey N   recording N started and stopped by those hotkeys
#
# Sound (pulse.sh): pipe_source RATE, speech_raw, feed_speech, pipe_sink RATE, played_sound,
# streams_are.
#
# A new test: a script here that takes the binary (and an output folder for screenshots) as
# arguments, sources this file, calls start_session with what it needs and ends with
# "1 passed, 0 failed"; register it in CMakeLists.txt with tellamo_add_e2e_test(). For example,
# what a note plays under a window manager:
#   . "$(dirname "$0")/lib.sh"; TELLAMO=$1
#   start_session --pipe-sink 11025 --wm
#   sox -n -r 11025 -b 16 -c 1 "$folder/480151.wav" synth 1 sine 440   # (mkdir -p "$folder" first)
#   one_note_catalogue 480151 "a tone" >/dev/null
#   start_with_note_menu; menu alt+n p
#   wait_ms 10000 streams_are -gt 0 && wait_ms 20000 streams_are -eq 0 || fail "no playback"
#   played_sound "$WORK/sound.raw" || fail "only silence was played"
#   exit_by_menu; echo "1 passed, 0 failed"

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# The tests' Python finds the reader of the index file (catalogue.py) beside this file.
export PYTHONPATH="$E2E_DIR${PYTHONPATH:+:$PYTHONPATH}"
. "$E2E_DIR/../support/session.sh"
. "$E2E_DIR/pulse.sh"

fail() { echo "FAIL: $*" >&2; exit 1; }

# The processes to end at exit, each as PID:START so that a number the system has since given to
# another process (another test's, on a shared machine) is never signalled.
SESSION_PROCESSES=()
SESSION_ROOT=""

# The moment a process started, from /proc (clock ticks since boot); false when it is gone. A
# daemon that forked away is reaped by whoever adopted it, in its own time: until then it is a
# zombie, which counts as gone.
start_time() {
  local stat
  read -r stat 2>/dev/null <"/proc/$1/stat" || return 1
  stat=${stat##*) }
  set -- $stat
  [ "$1" != Z ] && echo "${20}"
}

track() {
  local started
  started=$(start_time "$1") && SESSION_PROCESSES+=("$1:$started")
  return 0
}

# alive PID START: the same process is still there.
alive() { [ "$(start_time "$1" 2>/dev/null)" = "$2" ]; }

end_process() {
  local entry rest=() pid started
  for entry in "${SESSION_PROCESSES[@]}"; do
    if [ "${entry%%:*}" = "$1" ]; then
      pid=$1 started=${entry#*:}
    else
      rest+=("$entry")
    fi
  done
  SESSION_PROCESSES=("${rest[@]}")
  [ -n "${pid:-}" ] || return 0
  alive "$pid" "$started" || { wait "$pid" 2>/dev/null; return 0; }
  kill "$pid" 2>/dev/null
  wait_ms 10000 gone "$pid" "$started" || kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null # reaps a child; nothing for a daemon that forked away
  return 0
}
gone() { ! alive "$1" "$2"; }

start_session() {
  local pulse="" sink_rate="" bus="" tray="" wm=""
  while [ $# -gt 0 ]; do
    case $1 in
      --pulse) pulse=1 ;;
      --pipe-sink) pulse=1 sink_rate=$2; shift ;;
      --bus) bus=1 ;;
      --tray) tray=1 ;;
      --wm) wm=1 ;;
      *) fail "start_session: unknown option $1" ;;
    esac
    shift
  done
  SESSION_ROOT=$(mktemp -d "${TMPDIR:-/tmp}/tellamo-e2e-XXXXXX") || fail "no session folder"
  trap stop_session EXIT
  isolate_session "$SESSION_ROOT" || fail "the session's folders could not be made"
  WORK=$SESSION_ROOT/work
  mkdir -p "$WORK" "$SESSION_ROOT/x"
  folder="$HOME/Documents/My Voice Notes"
  start_xvfb "$SESSION_ROOT/x"
  local started=$?
  [ -z "${XVFB_PID:-}" ] || track "$XVFB_PID"
  [ "$started" -eq 0 ] || fail "Xvfb did not start"
  export QT_QPA_PLATFORM=xcb
  [ -z "$bus" ] || { new_bus DBUS_SESSION_BUS_ADDRESS; export DBUS_SESSION_BUS_ADDRESS; }
  [ -z "$pulse" ] || start_pulse
  [ -z "$sink_rate" ] || pipe_sink "$sink_rate"
  [ -z "$wm" ] || start_wm
  [ -z "$tray" ] || start_tray
  return 0
}

# Idempotent: a test may call it to check what it leaves behind. Each process ends in the
# reverse order of its start: the program before the sound server, the display last.
stop_session() {
  while [ ${#SESSION_PROCESSES[@]} -gt 0 ]; do
    end_process "${SESSION_PROCESSES[-1]%%:*}"
  done
  APP_PID="" XVFB_PID=""
  [ -z "$SESSION_ROOT" ] || rm -rf "$SESSION_ROOT"
  SESSION_ROOT=""
}

new_bus() {
  local address pid
  { read -r address; read -r pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
  [ -n "$address" ] && [ -n "$pid" ] || fail "no private bus"
  track "$pid"
  printf -v "$1" '%s' "$address"
}

# The tray is up before the program, as at a login: it owns the tray selection of the screen.
tray_is_up() {
  python3 - <<'PY'
import ctypes, sys
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XInternAtom.restype = ctypes.c_ulong
x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XGetSelectionOwner.restype = ctypes.c_ulong
display = x.XOpenDisplay(None)
sys.exit(0 if display and x.XGetSelectionOwner(display, x.XInternAtom(display, b"_NET_SYSTEM_TRAY_S0", 0)) else 1)
PY
}
start_tray() {
  trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
  track $!
  wait_until 30 tray_is_up || fail "trayer did not take the tray"
}

# A window manager announces itself with a check window on the root.
wm_is_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
start_wm() {
  openbox --sm-disable >/dev/null 2>&1 &
  track $!
  wait_until 30 wm_is_up || fail "openbox did not start"
}

now_ms() { local t=${EPOCHREALTIME//[!0-9]/}; echo $((10#$t / 1000)); }
wait_ms() {
  local deadline=$(($(now_ms) + $1))
  shift
  until "$@"; do
    [ "$(now_ms)" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}
wait_until() {
  local ms=$(($1 * 1000))
  shift
  wait_ms "$ms" "$@"
}
never_within() { ! wait_until "$@"; }

# Conditions to wait on, each a command of its own: the arguments of wait_until are expanded
# once, before the first try.
window_titled() { FOUND_WINDOW=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) && [ -n "$FOUND_WINDOW" ]; }
window_gone() { ! window_titled "$1"; }
process_gone() { ! kill -0 "$1" 2>/dev/null; }
has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
holds_files() { [ "$(count "$1")" -ge "$2" ]; }
larger_than() { [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -gt "$2" ]; }

wait_for_window() {
  wait_until "${2:-30}" window_titled "$1" || return 1
  echo "$FOUND_WINDOW"
}

wait_for_exit() {
  wait_until "$2" process_gone "$1" || fail "the program did not end within $2 s"
  wait "$1"
}

focus() {
  xdotool windowfocus --sync "$1" || return 1
  wait_until 10 has_focus "$1"
}

colours_of() { import -window "$1" png:- 2>/dev/null | convert - -format '%k' info: 2>/dev/null; }
painted() { [ "$(colours_of "$1" || echo 0)" -gt 20 ]; }
screenshot() {
  wait_until 20 painted "${2:-root}" || return 1
  import -window root "$1"
}

launch() {
  "$TELLAMO" "$@" &
  APP_PID=$!
  track "$APP_PID"
}
start_program() {
  launch "$@"
  window=$(wait_for_window Tellamo) || fail "no main window appeared"
  focus "$window" || fail "the main window did not get the focus"
}
start_with_note_menu() {
  start_program "$@"
  menu alt+v m n
  wait_ms 10000 menus_are 0 || fail "the View menu did not close"
}

program_windows() { xdotool search --onlyvisible --pid "$APP_PID" 2>/dev/null; }
# The number of the program's menus on the screen: its visible windows other than the main
# window, while no dialog is open. Qt does not mark every popup it shows again with a menu's
# window type, so the type cannot tell.
menus_shown() { program_windows | grep -cvx "${window:-}"; }
menus_are() { [ "$(menus_shown)" -eq "$1" ]; }
menu() {
  local depth=1 key
  xdotool key --clearmodifiers "$1"
  shift
  for key in "$@"; do
    wait_ms 10000 menus_are "$depth" || fail "menu level $depth did not open for '$key'"
    xdotool key "$key"
    depth=$((depth + 1))
  done
}
# Both end the program and require exit status 0.
program_ended() {
  wait_for_exit "$APP_PID" "$1"
  local status=$?
  APP_PID=""
  [ "$status" -eq 0 ] || fail "exit status $status"
}
exit_by_menu() {
  menu alt+f x
  program_ended "${1:-20}"
}
end_program() {
  kill -TERM "$APP_PID"
  program_ended 20
}

note_wav() {
  local wav
  wav=$(ls -t "$folder"/[0-9][0-9][0-9][0-9][0-9][0-9].wav 2>/dev/null | head -n 1)
  [ -n "$wav" ] && echo "$wav"
}
wav_holds() {
  local wav
  wav=$(note_wav)
  [ -n "$wav" ] && [ "$(stat -c %s "$wav")" -ge "$1" ]
}
count() { ls "$folder"/[0-9]*."$1" 2>/dev/null | wc -l; }
wait_for_files() { wait_until 20 holds_files "$1" "$2"; }
completed() {
  python3 - "$folder" "$1" <<'PY'
import glob, os, struct, sys
done = 0
for path in glob.glob(os.path.join(sys.argv[1], '[0-9]*.wav')):
    data = open(path, 'rb').read()
    if len(data) > 44 and struct.unpack_from('<I', data, 4)[0] == len(data) - 8 \
            and struct.unpack_from('<I', data, 40)[0] == len(data) - 44:
        done += 1
sys.exit(0 if done >= int(sys.argv[2]) else 1)
PY
}
# A recording's header follows its sound once a second, so a WAV can look complete for a moment
# while it is still recorded; its graph is drawn only once it has stopped.
stopped() {
  local wav
  wav=$(note_wav) && [ -f "${wav%.wav}.bmp" ] && completed "$1"
}
recording_grows() {
  local wav size
  wav=$(note_wav)
  [ -n "$wav" ] || return 1
  size=$(stat -c %s "$wav")
  wait_until 10 larger_than "$wav" "$size"
}
# Every note's WAV holds sound beyond its header.
sound_in_all() {
  local wav
  for wav in "$folder"/[0-9]*.wav; do larger_than "$wav" 44 || return 1; done
}

one_note_catalogue() {
  mkdir -p "$folder"
  python3 - "$folder" "$1" "$2" <<'PY'
import os, struct, sys
folder, name, description = sys.argv[1:4]
b = open(os.path.join(folder, name + '.wav'), 'rb').read()
assert b[36:40] == b'data'
rate, bytes_per_second = struct.unpack('<II', b[24:32])
size = struct.unpack('<I', b[40:44])[0]
bits = struct.unpack('<H', b[34:36])[0]
ms = size * 1000 // bytes_per_second
z = lambda t: t.encode() + b'\0'
d = struct.pack('<Bi', 1, 1)
d += struct.pack('<dd', ms / 86400000, 46000.5) + z(description) + z(name)
d += struct.pack('<iHHi', 0, rate, bits, round(len(b) / 1024))
d += struct.pack('<ii', 14, 0) + b'Notes000000\r\nRecycle Bin000013\r\n'
open(os.path.join(folder, 'Tellamo.dat'), 'wb').write(d)
print(ms)
PY
}

# A settings file with the record and stop hotkeys Ctrl+Shift+R and Ctrl+Shift+S stored and
# switched on, and no description asked for.
hotkey_settings() {
  mkdir -p "$folder"
  cat >"$folder/tellamo.INI" <<'INI'
[TTellamoMainForm]
RecordHotkeyAction_Checked=True
StopHotkeyAction_Checked=True
AskDescriptionAction_Checked=False
[TOptionsForm]
RecordHotKey_HotKey=24658
StopHotKey_HotKey=24659
INI
}
# The hotkeys are registered at the program's first idle moment, which nothing outside shows:
# the record hotkey is pressed again until recording N has started (a press before that goes to
# the focused window; one during the recording is ignored), and the recording has sound in it.
record_by_hotkey() {
  local _
  for _ in $(seq 20); do
    xdotool key ctrl+shift+r
    if wait_until 1 holds_files wav "$1"; then
      wait_until 20 sound_in_all || fail "recording $1 does not grow"
      return 0
    fi
  done
  fail "Ctrl+Shift+R did not start recording $1"
}
stop_by_hotkey() {
  xdotool key ctrl+shift+s
  wait_until 20 stopped "$1" || fail "Ctrl+Shift+S did not stop recording $1"
}
:
