#!/usr/bin/env bash
# Usage: transcribe.sh TELLAMO_BINARY TELLAMO_TRANSCRIBE TELLAMO_FIND
# Real read speech (pocketsphinx-testdata) recorded at 16,000 Hz through a headless PulseAudio
# pipe source with the real program and stopped: the note's transcript appears beside it, whole,
# with the words the recogniser hears in that file, and the program's search index and
# tellamo-find find the note by a spoken word. In the window, as a user types: the filter
# (Ctrl+F) on a spoken word's prefix shows the note only with "Search spoken words" on, and a
# word neither spoken nor described shows no row; a click on a word of the transcript pane
# plays the note from just before that word. The window is read over AT-SPI (atspi-walk.py),
# the playback seen in the sound server and its place read through the desktop's media controls
# on a private bus. Then a note without a transcript, the program killed with SIGKILL while it
# transcribes it, and a new start: the work goes on, and nothing is half-written; SIGTERM during
# a transcription ends the program as usual (the time it takes is printed).
set -u
. "$(dirname "$0")/lib.sh"
TELLAMO=$1
TRANSCRIBE=$2
FIND=$3
data=/usr/share/pocketsphinx/test/data/librivox
[ -d "$data" ] || fail "pocketsphinx-testdata is not installed"
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] && /usr/bin/python3 -c 'import pyatspi' 2>/dev/null ||
  fail "at-spi2-core or python3-pyatspi is not installed"
walk() { /usr/bin/python3 "$E2E_DIR/atspi-walk.py" "$@"; }

start_session --pulse --bus
"$launcher" --launch-immediately >"$WORK/at-spi.log" 2>&1 &
track $!
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

# "... had then leisure to consider how much there might be prudently in his power ..."
sox "$data/sense_and_sensibility_01_austen_64kb-0870.wav" -r 16000 -c 1 -b 16 -e signed-integer \
  -t raw "$WORK/speech.raw" pad 1 1 || fail "sox failed"
expected=$("$TRANSCRIBE" --text "$data/sense_and_sensibility_01_austen_64kb-0870.wav") ||
  fail "tellamo-transcribe failed"
case " $expected " in *" leisure "*) ;; *) fail "the recogniser does not hear \"leisure\": $expected" ;; esac

mkdir -p "$folder"
cat >"$folder/tellamo.INI" <<'INI'
[TTellamoMainForm]
AskDescriptionAction_Checked=False
[TOptionsForm]
SampleRateCurrencyEdit_Value=16000
INI

# A complete transcript: the signature, the note of the sound it was made from, every cue
# whole (a timing line, then words), and the file ends with a line break.
whole_vtt() {
  python3 - "$1" <<'PY'
import re, sys
t = open(sys.argv[1], encoding='utf-8').read()
ok = t.startswith('WEBVTT\n') and 'NOTE tellamo-source bytes=' in t and t.endswith('\n')
blocks = [b for b in t.split('\n\n')[2:] if b.strip()]
ok = ok and all(re.match(r'\d\d:\d\d:\d\d\.\d{3} --> \d\d:\d\d:\d\d\.\d{3}\n\S', b) for b in blocks)
sys.exit(0 if ok and blocks else 1)
PY
}
# The words of a transcript, without their timestamp tags.
vtt_words() {
  python3 - "$1" <<'PY'
import re, sys
t = open(sys.argv[1], encoding='utf-8').read()
words = []
for block in t.split('\n\n')[2:]:
    lines = block.strip().split('\n')
    if len(lines) > 1 and '-->' in lines[0]:
        words += re.sub(r'<[^>]*>', '', ' '.join(lines[1:])).split()
print(' '.join(words))
PY
}

# Each word of a transcript as "INDEX START_MS WORD": a cue's first word starts with the cue, each
# further one at the timestamp tag before it.
vtt_word_times() {
  python3 - "$1" <<'PY'
import re, sys
t = open(sys.argv[1], encoding='utf-8').read()
ms = lambda h, m, s, f: ((int(h) * 60 + int(m)) * 60 + int(s)) * 1000 + int(f)
index = 0
for block in t.split('\n\n')[2:]:
    lines = block.strip().split('\n')
    timing = re.match(r'(\d\d):(\d\d):(\d\d)\.(\d{3}) -->', lines[0])
    if len(lines) < 2 or not timing:
        continue
    start = ms(*timing.groups())
    for part in re.split(r'(<\d\d:\d\d:\d\d\.\d{3}>)', ' '.join(lines[1:])):
        tag = re.fullmatch(r'<(\d\d):(\d\d):(\d\d)\.(\d{3})>', part)
        if tag:
            start = ms(*tag.groups())
            continue
        for word in part.split():
            print(index, start, word)
            index += 1
PY
}
# The player's place in ms, as the desktop's media controls read it ("variant int64 US").
player_position_ms() {
  local reply
  reply=$(dbus-send --session --print-reply=literal --dest=org.mpris.MediaPlayer2.tellamo \
    /org/mpris/MediaPlayer2 org.freedesktop.DBus.Properties.Get \
    string:org.mpris.MediaPlayer2.Player string:Position 2>/dev/null) || return 1
  reply=${reply##* }
  [[ $reply =~ ^[0-9]+$ ]] && echo $((reply / 1000))
}

start_with_note_menu
pipe_source 16000
menu alt+n Return # Record
feed_speech "$WORK/speech.raw"
wait_ms 20000 wav_holds $((44 + 16000 * 2 * 9)) || fail "the recording does not hold the speech"
focus "$window" || fail "the main window did not get the focus"
menu alt+n s
wait_ms 10000 completed 1 || fail "the WAV file was not completed"
wav=$(note_wav)
vtt=${wav%.wav}.vtt
# The worker runs at the lowest priority: on a busy machine it waits for idle time.
started=$(now_ms)
wait_until 600 test -f "$vtt" || fail "no transcript beside the recording"
echo "the transcript appeared $(( $(now_ms) - started )) ms after Stop"
whole_vtt "$vtt" || fail "the transcript is not whole WebVTT"
heard=$(vtt_words "$vtt")
case " $heard " in *" leisure "*) ;; *) fail "\"leisure\" is not in the transcript: $heard" ;; esac
echo "heard: $heard"

# What the filter's "Search spoken words" reads: the program's index in its cache folder.
index=$(find "$HOME" -name transcripts.sqlite 2>/dev/null | head -n 1)
[ -n "$index" ] || fail "no search index in the cache folder"
name=$(basename "${wav%.wav}")
wait_until 30 python3 - "$index" "$name" <<'PY' || fail "the index does not find the note by \"leis\""
import sqlite3, sys
db = sqlite3.connect('file:%s?mode=ro' % sys.argv[1], uri=True)
rows = db.execute("SELECT n.name FROM note_text JOIN note n ON n.id = note_text.rowid "
                  "WHERE note_text MATCH 'leis*'").fetchall()
sys.exit(0 if (sys.argv[2],) in rows else 1)
PY

# The filter as a user reaches it. The note has no description, so "leis" finds it only among
# the spoken words.
focus "$window" || fail "the main window did not get the focus"
xdotool key ctrl+f
xdotool type --delay 50 leis
walk list leis 0 >/dev/null || fail "the filter on descriptions alone shows the note by \"leis\""
menu alt+v s # View > Search spoken words
wait_ms 10000 menus_are 0 || fail "the View menu did not close"
row=$(walk list leis 1) || fail "\"Search spoken words\" does not show the note by \"leis\""
echo "\"leis\" among the spoken words shows: $row"

# A click on a word of the note on view, some seconds into it, so that a playback from the
# note's start is told apart.
read -r index word_ms word < <(vtt_word_times "$vtt" | awk '$2 >= 4000 && length($3) >= 4 { print; exit }')
[ -n "${word:-}" ] || fail "no word of four letters or more 4 s into the note: $(vtt_word_times "$vtt")"
point=$(walk word "$index") || fail "the transcript pane does not show word $index"
read -r x y shown <<<"$point"
[ "$shown" = "$word" ] || fail "the pane shows \"$shown\" as word $index, the transcript \"$word\""
streams_are -eq 0 || fail "a playback before the click"
clicked=$(now_ms)
xdotool mousemove "$x" "$y" click 1
wait_ms 10000 streams_are -gt 0 || fail "a click on \"$word\" started no playback"
position=$(player_position_ms) || fail "the media controls do not tell the player's place"
elapsed=$(($(now_ms) - clicked))
# Playback starts a little before the word; since the click it can have gone on by at most the
# time that passed.
from=$((word_ms > 300 ? word_ms - 300 : 0))
echo "a click on \"$word\" (at $word_ms ms): playing at $position ms, $elapsed ms after the click"
[ "$position" -ge $((from - 250)) ] && [ "$position" -le $((from + elapsed + 250)) ] ||
  fail "the playback is at $position ms, not just before \"$word\" at $word_ms ms"
xdotool key ctrl+period
wait_ms 10000 streams_are -eq 0 || fail "Stop did not end the playback"
case " $heard " in *" zebra"*) fail "the recogniser heard \"zebra\": $heard" ;; esac
xdotool key ctrl+f # selects the filter's text: the typing replaces it
xdotool type --delay 50 zebra
walk list zebra 0 >/dev/null || fail "a word neither spoken nor described shows a row"
end_program
found=$("$FIND" leisure consider) || fail "tellamo-find found nothing"
case "$found" in "$wav"*) ;; *) fail "tellamo-find printed: $found" ;; esac

# A note of some 28 s without a transcript: the program is killed while it transcribes it.
sox "$data"/sense_and_sensibility_01_austen_64kb-0{870,880,890,920,930}.wav -r 16000 -b 16 \
  "$folder/777001.wav" || fail "sox failed"
one_note_catalogue 777001 "read aloud" >/dev/null
long_vtt=$folder/777001.vtt
worker_cpu() {
  # CPU seconds of the program's threads at the lowest priority (the transcript worker).
  ps -L -o cls=,time= -p "$APP_PID" 2>/dev/null |
    awk '$1 == "IDL" { split($2, t, ":"); s += t[1] * 3600 + t[2] * 60 + t[3] } END { print s + 0 }'
}
busy_transcribing() { [ "$(worker_cpu)" -ge 1 ] && [ ! -e "$long_vtt" ]; }
start_program
wait_until 300 busy_transcribing || fail "the worker did not start on the note"
kill -9 "$APP_PID"
wait "$APP_PID" 2>/dev/null
APP_PID=""
if [ -e "$long_vtt" ]; then
  whole_vtt "$long_vtt" || fail "a half-written transcript after the kill"
fi

start_program
started=$(now_ms)
wait_until 900 test -f "$long_vtt" || fail "the transcription did not go on after the restart"
echo "after the restart the transcript appeared $(( $(now_ms) - started )) ms later"
whole_vtt "$long_vtt" || fail "the transcript after the restart is not whole"
# The tool prints a line per phrase; the words are the same.
tool_words=$("$TRANSCRIBE" --text "$folder/777001.wav" | tr -s ' \n' '  ')
[ "$(vtt_words "$long_vtt")" = "${tool_words% }" ] ||
  fail "the transcript differs from tellamo-transcribe's: $(vtt_words "$long_vtt") / $tool_words"
end_program

# SIGTERM while a note is being transcribed: the program ends as at any other time (its
# catalogue saved first); the worker stops at the next pause between two phrases.
sox "$folder/777001.wav" "$folder/777002.wav" reverse || fail "sox failed"
one_note_catalogue 777002 "backwards" >/dev/null
long_vtt=$folder/777002.vtt
start_program
wait_until 300 busy_transcribing || fail "the worker did not start on the second note"
ended=$(now_ms)
end_program
echo "SIGTERM during a transcription to the program's end: $(( $(now_ms) - ended )) ms"
[ ! -e "$long_vtt" ] || whole_vtt "$long_vtt" || fail "a half-written transcript after SIGTERM"
echo "1 passed, 0 failed"
