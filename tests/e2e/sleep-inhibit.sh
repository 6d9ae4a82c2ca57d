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
TELLAMO=$1
standin=$2

start_session --pulse
hotkey_settings

# standin BUS LOG OPTIONS...: the stand-in services on that bus, ready when it returns.
standin() {
  local bus=$1 log=$2; shift 2
  /usr/bin/python3 "$standin" --bus "$bus" --log "$log" "$@" &
  STANDIN_PID=$!
  track "$STANDIN_PID"
  wait_until 20 logged "$log" ready || fail "the stand-in did not start"
}
logged() { grep -qs -- "$2" "$1"; }
# logged_times LOG PATTERN N: the log holds N lines that match.
logged_times() { [ "$(grep -c -- "$2" "$1")" -eq "$3" ]; }

# start_logging: the program, its error output kept; record_by_hotkey and stop_by_hotkey drive it.
start_logging() {
  launch 2>"$WORK/stderr"
  wait_for_window Tellamo >/dev/null || fail "no main window appeared"
}

# 1. The desktop portal.
log=$WORK/portal.log
new_bus DBUS_SESSION_BUS_ADDRESS
export DBUS_SESSION_BUS_ADDRESS DBUS_SYSTEM_BUS_ADDRESS=unix:path=$WORK/no-system-bus
standin "$DBUS_SESSION_BUS_ADDRESS" "$log" --portal
start_logging
record_by_hotkey 1
wait_until 10 logged "$log" "^inhibit flags=4 reason=Recording a voice note handle=" ||
  fail "no suspend hold asked while recording: $(cat "$log")"
handle=$(sed -n 's/^inhibit .* handle=//p' "$log" | head -n 1)
logged "$log" "^close " && fail "the hold was given back while recording"
stop_by_hotkey 1
wait_until 10 logged "$log" "^close $handle\$" || fail "Stop did not give the hold back: $(cat "$log")"
# A recording ended by SIGTERM: completed, and its hold given back before the program ended.
record_by_hotkey 2
wait_until 10 logged_times "$log" '^inhibit flags=4' 2 || fail "no hold for the second recording"
handle=$(sed -n 's/^inhibit .* handle=//p' "$log" | sed -n 2p)
end_program
completed 2 || fail "SIGTERM did not complete the recording"
logged "$log" "^close $handle\$" || fail "SIGTERM did not give the hold back: $(cat "$log")"
[ "$(grep -c '^inhibit' "$log")" -eq 2 ] || fail "unexpected holds: $(cat "$log")"
end_process "$STANDIN_PID"

# 1b. A portal that answers only after the program stopped waiting (3 s): the hold it then
# makes is given back at once, since nothing would give it back later.
log=$WORK/slow-portal.log
new_bus DBUS_SESSION_BUS_ADDRESS
standin "$DBUS_SESSION_BUS_ADDRESS" "$log" --portal --inhibit-delay 4
start_logging
record_by_hotkey 3
wait_until 15 logged "$log" "^inhibit flags=4" || fail "the slow portal was not asked: $(cat "$log")"
handle=$(sed -n 's/^inhibit .* handle=//p' "$log" | head -n 1)
wait_until 10 logged "$log" "^close $handle\$" || fail "the late hold was kept: $(cat "$log")"
stop_by_hotkey 3
end_program
end_process "$STANDIN_PID"

# 2. No portal on the session bus: logind on the system bus.
log=$WORK/logind.log
new_bus DBUS_SESSION_BUS_ADDRESS
new_bus DBUS_SYSTEM_BUS_ADDRESS
standin "$DBUS_SYSTEM_BUS_ADDRESS" "$log" --logind
start_logging
record_by_hotkey 4
wait_until 10 logged "$log" "^logind-inhibit what=sleep who=Tellamo why=Recording a voice note mode=block\$" ||
  fail "logind was not asked: $(cat "$log")"
logged "$log" "^logind-released" && fail "the logind hold was given back while recording"
stop_by_hotkey 4
wait_until 10 logged "$log" "^logind-released" || fail "Stop did not close logind's descriptor"
end_program
end_process "$STANDIN_PID"

# 3. No bus at all: the recording works, one line says the computer may suspend.
export DBUS_SESSION_BUS_ADDRESS=unix:path=$WORK/no-session-bus
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$WORK/no-system-bus
start_logging
record_by_hotkey 5
stop_by_hotkey 5
end_program
[ "$(grep -c "may suspend while recording" "$WORK/stderr")" -eq 1 ] ||
  fail "expected one line about the missing hold: $(cat "$WORK/stderr")"
completed 5 || fail "not every recording was completed"
echo "1 passed, 0 failed"
