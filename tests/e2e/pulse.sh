# A private PulseAudio server for whole-program tests (sourced by lib.sh, started by
# start_session --pulse): a null sink to play into and, on request, a pipe source that delivers
# known sound at the real rate and a pipe sink that records what is played. ALSA's default
# device reaches it through the pulse plugin.
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
  track "$PA_PID"
  wait_until 30 pactl info >/dev/null 2>&1 || fail "PulseAudio did not start"
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

# feed_speech FILE.raw [FED]: writes the file's samples into the pipe source at the real rate (the
# pipe source itself passes on whatever it is given at once), then 30 s of silence. With FED, the
# number of bytes passed on so far is kept in that file after every step, so that a test knows
# how much was fed at a given moment.
feed_speech() {
  python3 - "$1" "$SPEECH_FIFO" "$SPEECH_RATE" "${2:-}" <<'PY' &
import os, sys, time
data = open(sys.argv[1], 'rb').read() + bytes(int(sys.argv[3]) * 2 * 30)
step = int(sys.argv[3]) * 2 // 20  # 50 ms
counter = sys.argv[4]
start = time.monotonic()
with open(sys.argv[2], 'wb', buffering=0) as fifo:
    for i in range(0, len(data), step):
        fifo.write(data[i:i + step])
        if counter:
            with open(counter + '.tmp', 'w') as f:
                f.write(str(min(i + step, len(data))))
            os.replace(counter + '.tmp', counter)
        delay = start + (i // step + 1) * 0.05 - time.monotonic()
        if delay > 0:
            time.sleep(delay)
PY
  FEED_PID=$!
  track "$FEED_PID"
}

# pipe_sink RATE: makes the default sink a pipe of s16le mono samples at RATE whose every sample
# is appended to $PLAYED_RAW. The pipe sink itself writes as fast as it is read while a stream
# plays (a gigabyte a second here, silence between the stream's buffers) and nothing while it is
# idle; so the reader takes the samples at the real rate through a small pipe, which makes the
# sink keep time as a sound card does. A playback's samples are then in order and whole (see
# played_sound); a gap of silence in them is a buffer the program was late with.
pipe_sink() {
  PLAYED_RAW=$WORK/played.raw
  local fifo=$XDG_RUNTIME_DIR/played.fifo
  pactl load-module module-pipe-sink sink_name=capsink file="$fifo" format=s16le rate="$1" channels=1 >/dev/null ||
    fail "no pipe sink"
  pactl set-default-sink capsink
  python3 - "$fifo" "$PLAYED_RAW" "$1" <<'PY' &
import fcntl, os, sys, time
fifo = os.open(sys.argv[1], os.O_RDONLY)
fcntl.fcntl(fifo, 1031, 4096)  # F_SETPIPE_SZ: the sink runs at most a page ahead of the clock
per_second = int(sys.argv[3]) * 2
step = per_second // 50
start, taken = time.monotonic(), 0
with open(sys.argv[2], 'wb', buffering=0) as out:
    while True:
        chunk = os.read(fifo, step)
        if not chunk:
            break
        out.write(chunk)
        taken += len(chunk)
        delay = start + taken / per_second - time.monotonic()
        if delay < -0.1:
            # The sink was idle: the clock starts again with the next stream.
            start, taken = time.monotonic(), 0
        elif delay > 0:
            time.sleep(delay)
PY
  track $!
}

# played_sound FILE.raw: what the pipe sink received from its first sample that is not silence to
# its last, or fails when all was silence.
played_sound() {
  python3 - "$PLAYED_RAW" "$1" <<'PY'
import array, sys
data = open(sys.argv[1], 'rb').read()
samples = array.array('h', data[:len(data) & ~1])
sound = [i for i, s in enumerate(samples) if s]
if not sound:
    sys.exit(1)
open(sys.argv[2], 'wb').write(samples[sound[0]:sound[-1] + 1].tobytes())
PY
}

# streams_are OP N: the number of streams playing into the server compares with N by OP (-eq, -gt).
streams() { pactl list short sink-inputs | grep -c .; }
streams_are() { [ "$(streams)" "$1" "$2" ]; }
:
