#!/usr/bin/env bash
# Usage: sleep-inhibit.sh TELLAMO_BINARY STANDIN_SCRIPT
# While the real program records, the computer may not suspend. Recordings are started and
# stopped with the record and stop hotkeys (Ctrl+Shift+R, Ctrl+Shift+S) against private D-Bus
# buses whose services are played by the stand-in script:
# - a desktop portal on the session bus: Record asks its Inhibit for suspend (flag 4), Stop
#   closes the request it returned, and so does the end of a recording by SIGTERM;
# - no portal, a login manager on the system bus: logind's Inhibit("sleep", ..., "block"), and
#   the descriptor it handed out is closed at Stop;
# - no bus at all: the recording works all the same, and one line says the hold is missing.
set -u
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/pulse.sh"
binary=$1
standin=$2

start_session
BUS_PIDS=()
stop_buses() {
  [ -n "${STANDIN_PID:-}" ] && kill "$STANDIN_PID" 2>/dev/null
  for pid in "${BUS_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  return 0
}
trap 'stop_pulse; stop_buses; stop_session' EXIT
start_pulse

folder="$HOME/Documents/My Voice Notes"
hotkey_settings

# new_bus: starts a private bus and prints its address.
new_bus() {
  local address pid
  { read -r address; read -r pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
  [ -n "$address" ] || fail "no private bus"
  BUS_PIDS+=("$pid")
  echo "$address"
}
# standin BUS LOG OPTIONS...: the stand-in services on that bus, ready when it returns.
standin() {
  local bus=$1 log=$2; shift 2
  /usr/bin/python3 "$standin" --bus "$bus" --log "$log" "$@" &
  STANDIN_PID=$!
  wait_until 20 logged "$log" ready || fail "the stand-in did not start"
}
logged() { grep -qs -- "$2" "$1"; }
# sound_in_all: every note's WAV holds sound beyond its header.
sound_in_all() {
  local wav
  for wav in "$folder"/[0-9]*.wav; do [ "$(stat -c %s "$wav")" -gt 44 ] || return 1; done
}

# start_program: the program with its hotkeys registered (a press starts recording N).
start_program() {
  "$binary" 2>"$TEST_HOME/stderr" &
  APP_PID=$!
  wait_for_window Tellamo >/dev/null || fail "no main window appeared"
}
# record N: presses the record hotkey until recording N has started (the hotkeys are
# registered at the program's first idle moment).
record() {
  for _ in $(seq 20); do
    xdotool key ctrl+shift+r
    if wait_until 1 [ "$(count wav)" -ge "$1" ]; then
      wait_until 10 sound_in_all || fail "recording $1 does not grow"
      return 0
    fi
  done
  fail "Ctrl+Shift+R did not start recording $1"
}
stop() {
  xdotool key ctrl+shift+s
  wait_for_completed "$1" || fail "Ctrl+Shift+S did not stop recording $1"
}
exit_program() {
  kill -TERM "$APP_PID"
  wait_for_exit "$APP_PID" 20 || fail "exit status"
  APP_PID=""
}

# 1. The desktop portal.
log=$TEST_HOME/portal.log
export DBUS_SESSION_BUS_ADDRESS=$(new_bus)
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$TEST_HOME/no-system-bus
standin "$DBUS_SESSION_BUS_ADDRESS" "$log" --portal
start_program
record 1
wait_until 10 logged "$log" "^inhibit flags=4 reason=Recording a voice note handle=" ||
  fail "no suspend hold asked while recording: $(cat "$log")"
handle=$(sed -n 's/^inhibit .* handle=//p' "$log" | head -n 1)
logged "$log" "^close " && fail "the hold was given back while recording"
stop 1
wait_until 10 logged "$log" "^close $handle\$" || fail "Stop did not give the hold back: $(cat "$log")"
# A recording ended by SIGTERM: completed, and its hold given back before the program ended.
record 2
wait_until 10 [ "$(grep -c '^inhibit flags=4' "$log")" -eq 2 ] || fail "no hold for the second recording"
handle=$(sed -n 's/^inhibit .* handle=//p' "$log" | sed -n 2p)
exit_program
completed 2 || fail "SIGTERM did not complete the recording"
logged "$log" "^close $handle\$" || fail "SIGTERM did not give the hold back: $(cat "$log")"
[ "$(grep -c '^inhibit' "$log")" -eq 2 ] || fail "unexpected holds: $(cat "$log")"
kill "$STANDIN_PID"; wait "$STANDIN_PID" 2>/dev/null; STANDIN_PID=""

# 1b. A portal that answers only after the program stopped waiting (3 s): the hold it then
# makes is given back at once, since nothing would give it back later.
log=$TEST_HOME/slow-portal.log
export DBUS_SESSION_BUS_ADDRESS=$(new_bus)
standin "$DBUS_SESSION_BUS_ADDRESS" "$log" --portal --inhibit-delay 4
start_program
record 3
wait_until 15 logged "$log" "^inhibit flags=4" || fail "the slow portal was not asked: $(cat "$log")"
handle=$(sed -n 's/^inhibit .* handle=//p' "$log" | head -n 1)
wait_until 10 logged "$log" "^close $handle\$" || fail "the late hold was kept: $(cat "$log")"
stop 3
exit_program
kill "$STANDIN_PID"; wait "$STANDIN_PID" 2>/dev/null; STANDIN_PID=""

# 2. No portal on the session bus: logind on the system bus.
log=$TEST_HOME/logind.log
export DBUS_SESSION_BUS_ADDRESS=$(new_bus)
export DBUS_SYSTEM_BUS_ADDRESS=$(new_bus)
standin "$DBUS_SYSTEM_BUS_ADDRESS" "$log" --logind
start_program
record 4
wait_until 10 logged "$log" "^logind-inhibit what=sleep who=Tellamo why=Recording a voice note mode=block\$" ||
  fail "logind was not asked: $(cat "$log")"
logged "$log" "^logind-released" && fail "the logind hold was given back while recording"
stop 4
wait_until 10 logged "$log" "^logind-released" || fail "Stop did not close logind's descriptor"
exit_program
kill "$STANDIN_PID"; wait "$STANDIN_PID" 2>/dev/null; STANDIN_PID=""

# 3. No bus at all: the recording works, one line says the computer may suspend.
export DBUS_SESSION_BUS_ADDRESS=unix:path=$TEST_HOME/no-session-bus
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$TEST_HOME/no-system-bus
start_program
record 5
stop 5
exit_program
[ "$(grep -c "may suspend while recording" "$TEST_HOME/stderr")" -eq 1 ] ||
  fail "expected one line about the missing hold: $(cat "$TEST_HOME/stderr")"
completed 5 || fail "not every recording was completed"
echo "1 passed, 0 failed"
