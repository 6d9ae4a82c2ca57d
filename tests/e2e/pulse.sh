# A private PulseAudio server for whole-program tests (sourced after lib.sh's start_session):
# a null sink to play into and, on request, a pipe source that delivers known sound at the real
# rate. ALSA's default device reaches it through the pulse plugin.
#
# The null sink runs without rewinds. With them, an idle null sink keeps up to two seconds of
# silence queued ahead of the clock and takes back only a small part of it when a stream starts,
# so every playback (paplay's too) began about a second late; without them it keeps some 50 ms
# ahead, as a sound card's sink does, and a playback's start and end are what the program makes
# of them.

start_pulse() {
  export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
  pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit -n \
    --load="module-native-protocol-unix auth-anonymous=1" \
    --load="module-null-sink sink_name=nullsink rate=44100 channels=2 norewinds=1" \
    --load="module-null-source source_name=nullsrc" >/dev/null 2>&1 &
  PA_PID=$!
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && return 0; sleep 0.1; done
  fail "PulseAudio did not start"
}

# pipe_source RATE: makes the default source a pipe of s16le mono samples at RATE.
pipe_source() {
  SPEECH_FIFO=$XDG_RUNTIME_DIR/speech.fifo
  SPEECH_RATE=$1
  pactl load-module module-pipe-source source_name=speech file="$SPEECH_FIFO" format=s16le rate="$1" channels=1 >/dev/null ||
    fail "no pipe source"
  pactl set-default-source speech
}

# speech_raw FILE.raw TEXT BEFORE AFTER: TEXT spoken by espeak-ng as raw s16le mono at 11025 Hz
# (the recording format of a first run), with BEFORE and AFTER seconds of silence around it.
speech_raw() {
  espeak-ng -v en-us -s 150 -w "${1%.raw}.wav" "$2" || fail "espeak-ng failed"
  sox "${1%.raw}.wav" -r 11025 -c 1 -b 16 -e signed-integer -t raw "$1" pad "$3" "$4" ||
    fail "sox failed"
}

# feed_speech FILE.raw: writes the file's samples into the pipe at the real rate (the pipe
# source itself passes on whatever it is given at once), then silence.
feed_speech() {
  python3 - "$1" "$SPEECH_FIFO" "$SPEECH_RATE" <<'PY' &
import sys, time
data = open(sys.argv[1], 'rb').read() + bytes(int(sys.argv[3]) * 2 * 30)
step = int(sys.argv[3]) * 2 // 20  # 50 ms
start = time.monotonic()
with open(sys.argv[2], 'wb', buffering=0) as fifo:
    for i in range(0, len(data), step):
        fifo.write(data[i:i + step])
        delay = start + (i // step + 1) * 0.05 - time.monotonic()
        if delay > 0:
            time.sleep(delay)
PY
  FEED_PID=$!
}

stop_pulse() {
  local pids=()
  [ -n "${FEED_PID:-}" ] && kill "$FEED_PID" 2>/dev/null && pids+=("$FEED_PID")
  [ -n "${PA_PID:-}" ] && kill "$PA_PID" 2>/dev/null && pids+=("$PA_PID")
  [ ${#pids[@]} -gt 0 ] && wait "${pids[@]}" 2>/dev/null
  return 0
}
