# Shared by the whole-program tests: a private HOME and a virtual X display, both removed at exit.

fail() { echo "FAIL: $*" >&2; exit 1; }

start_session() {
  TEST_HOME=$(mktemp -d)
  export HOME=$TEST_HOME XDG_RUNTIME_DIR=$TEST_HOME/run XDG_CONFIG_HOME=$TEST_HOME/.config
  export XDG_CACHE_HOME=$TEST_HOME/.cache XDG_DATA_HOME=$TEST_HOME/.local/share XDG_STATE_HOME=$TEST_HOME/.local/state
  unset DBUS_SESSION_BUS_ADDRESS
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  unset QT_QPA_PLATFORM
  local fifo=$TEST_HOME/display
  mkfifo "$fifo"
  # -noreset: a server that resets when its last client leaves (a program killed on purpose,
  # a tool that ran) can refuse the next connection while it does.
  Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp -noreset 5>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  local number
  read -r -t 20 number <"$fifo" || fail "Xvfb did not start"
  export DISPLAY=:$number
  trap stop_session EXIT
}

stop_session() {
  [ -n "${APP_PID:-}" ] && kill "$APP_PID" 2>/dev/null
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$TEST_HOME"
}

# wait_until SECONDS COMMAND [ARGUMENTS...]: runs the command every tenth of a second until it
# succeeds; fails when it has not within SECONDS.
wait_until() {
  local deadline=$(( $(date +%s) + $1 ))
  shift
  until "$@"; do
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# wait_for_window NAME: prints the id of the first visible window with that exact title.
wait_for_window() {
  local id=""
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# wait_for_exit PID SECONDS: the process's exit status, or fails.
wait_for_exit() {
  for _ in $(seq $(( $2 * 10 ))); do
    kill -0 "$1" 2>/dev/null || { wait "$1"; return $?; }
    sleep 0.1
  done
  fail "the program did not end within $2 s"
}

# wait_ms MILLISECONDS COMMAND...: runs COMMAND every 50 ms until it succeeds; false when it
# has not by the deadline.
wait_ms() {
  local deadline=$(( $(date +%s%3N) + $1 )); shift
  until "$@"; do
    [ "$(date +%s%3N)" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}
# The number of the program's menus on the screen (APP_PID is the program, window its main
# window): its visible windows other than the main window, while no dialog is open. Qt does not
# mark every popup it shows again with a menu's window type, so the type cannot tell.
menus_shown() {
  xdotool search --onlyvisible --pid "$APP_PID" 2>/dev/null | grep -cvx "$window"
}
menus_are() { [ "$(menus_shown)" -eq "$1" ]; }
# menu KEY...: opens a menu with the first key and presses each further key once the menu
# (or submenu) it belongs to is on the screen.
menu() {
  local depth=1 key
  xdotool key --clearmodifiers "$1"; shift
  for key in "$@"; do
    wait_ms 10000 menus_are "$depth" || fail "menu level $depth did not open for '$key'"
    xdotool key "$key"
    depth=$((depth + 1))
  done
}
# exit_by_menu: File > Exit; the program must end within 20 s with status 0.
exit_by_menu() {
  menu alt+f x
  wait_for_exit "$APP_PID" 20
  local status=$?
  APP_PID=""
  [ "$status" -eq 0 ] || fail "exit status $status"
}
# start_with_note_menu BINARY: starts the program (APP_PID), waits for its main window (window),
# and shows the Note menu in the menu bar (View > Menu > Note).
start_with_note_menu() {
  "$1" &
  APP_PID=$!
  window=$(wait_for_window Tellamo) || fail "no main window appeared"
  xdotool windowfocus --sync "$window"
  menu alt+v m n
  wait_ms 10000 menus_are 0 || fail "the View menu did not close"
}
# The note files of the storage folder "$folder" (set by the test).
# hotkey_settings: a settings file with the record and stop hotkeys Ctrl+Shift+R and
# Ctrl+Shift+S stored and switched on, and no description asked for.
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
# count EXT: how many note files with that extension the storage folder holds.
count() { ls "$folder"/[0-9]*."$1" 2>/dev/null | wc -l; }
# wait_for_files EXT COUNT: until the folder holds COUNT note files with that extension.
wait_for_files() {
  for _ in $(seq 100); do
    [ "$(count "$1")" -ge "$2" ] && return 0
    sleep 0.1
  done
  return 1
}
# completed N: N WAV files whose header holds their sizes, which happens when a recording stops.
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
wait_for_completed() {
  for _ in $(seq 100); do completed "$1" && return 0; sleep 0.1; done
  return 1
}
