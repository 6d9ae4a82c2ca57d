# A private PulseAudio server for whole-program tests (sourced after lib.sh's start_session):
# a null sink to play into and, on request, a pipe source that delivers known sound at the real
# rate. ALSA's default device reaches it through the pulse plugin.

start_pulse() {
  export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
  pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit -n \
    --load="module-native-protocol-unix auth-anonymous=1" \
    --load="module-null-sink sink_name=nullsink rate=44100 channels=2" \
    --load="module-null-source source_name=nullsrc" >/dev/null 2>&1 &
  PA_PID=$!
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && return 0; sleep 0.1; done
  fail "PulseAudio did not start"
}

# speech_source FILE.raw RATE: makes the default source a pipe fed with the file's s16le mono
# samples at RATE.
speech_source() {
  local fifo=$XDG_RUNTIME_DIR/speech.fifo
  pactl load-module module-pipe-source source_name=speech file="$fifo" format=s16le rate="$2" channels=1 >/dev/null ||
    fail "no pipe source"
  pactl set-default-source speech
  cat "$1" >"$fifo" &
  FEED_PID=$!
}

stop_pulse() {
  [ -n "${FEED_PID:-}" ] && kill "$FEED_PID" 2>/dev/null
  [ -n "${PA_PID:-}" ] && kill "$PA_PID" 2>/dev/null
  wait 2>/dev/null
  return 0
}
