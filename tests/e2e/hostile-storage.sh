#!/usr/bin/env bash
# Usage: hostile-storage.sh TELLAMO_BINARY
# The storage folder may be shared, synced or restored from an archive, so what stands in it is
# input from anyone: a translation kept there, links planted at the names the program writes, a
# FIFO or a device as the translation, a WAV cut short among many. None of it makes the program
# write outside the folder, hang or lose a note; a home whose name is not UTF-8 is refused
# rather than given a second storage folder. Each case starts with a fresh folder.
set -u
. "$(dirname "$0")/lib.sh"
TELLAMO=$1

start_session
fresh_folder() {
  rm -rf "$folder" "$HOME/.ssh" "$WORK/outside"
  mkdir -p "$folder" "$WORK/outside" "$HOME/.ssh"
}

# A translation in the storage folder, named by the settings file, that turns the read-me into a
# path to the user's authorised SSH keys and its first line into a key.
fresh_folder
cat >"$folder/planted.ini" <<'INI'
[Messages]
ReadMe.txt=../../.ssh/authorized_keys
This folder was created by the=ssh-ed25519 AAAAplanted attacker
INI
printf '[TTellamoMainForm]\r\nLangFile=%s\r\n' "$folder/planted.ini" >"$folder/tellamo.INI"
start_program
end_program
[ ! -e "$HOME/.ssh/authorized_keys" ] || fail "the translation made the program write $HOME/.ssh/authorized_keys"
[ -f "$folder/ReadMe.txt" ] || fail "no read-me under its own name: $(ls "$folder")"

# A damaged catalogue is kept aside as Tellamo-damaged-<stamp>.dat: dangling links planted at the
# names of the next seconds, pointing outside the folder, are replaced, never written through.
kept_aside() {
  local file
  for file in "$folder"/Tellamo-damaged-*.dat; do
    [ -f "$file" ] && [ ! -L "$file" ] && return 0
  done
  return 1
}
fresh_folder
printf 'not a catalogue at all' >"$folder/Tellamo.dat"
for second in $(seq 0 20); do
  ln -s "$WORK/outside/autostart-$second" \
    "$folder/Tellamo-damaged-$(date -d "+$second seconds" +%Y%m%d-%H%M%S).dat"
done
launch
wait_until 20 kept_aside || fail "the damaged catalogue was not kept aside"
end_program
[ -z "$(ls -A "$WORK/outside")" ] || fail "the damaged catalogue was written outside: $(ls "$WORK/outside")"
grep -qs 'not a catalogue at all' "$folder"/Tellamo-damaged-*.dat ||
  fail "no kept file holds the damaged catalogue"

# A translation named by the settings file that is a FIFO nobody writes to, or a device that
# never ends: the window comes up as if there were none, the memory stays small, and SIGTERM
# ends the program.
resident_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$APP_PID/status"; }
for lang_file in "$folder/fifo.ini" /dev/zero; do
  fresh_folder
  mkfifo "$folder/fifo.ini"
  printf '[TTellamoMainForm]\r\nLangFile=%s\r\n' "$lang_file" >"$folder/tellamo.INI"
  launch
  window=$(wait_for_window Tellamo 30) || fail "no main window with $lang_file as the translation"
  [ "$(resident_kb)" -lt 300000 ] || fail "$(resident_kb) kB resident with $lang_file as the translation"
  end_program
done

# A home folder whose name is not UTF-8, with notes in it: the start is refused with a message
# naming the folder; no look-alike folder (with U+FFFD for the bytes) is made, and the notes stay.
bad_home=$WORK/h$'\xff\xfe'ome
mkdir -p "$bad_home/.config" "$bad_home/Documents/My Voice Notes"
printf 'XDG_DOCUMENTS_DIR="$HOME/Documents"\n' >"$bad_home/.config/user-dirs.dirs"
printf 'RIFF' >"$bad_home/Documents/My Voice Notes/123456.wav"
HOME=$bad_home XDG_CONFIG_HOME=$bad_home/.config XDG_DOCUMENTS_DIR=$bad_home/Documents launch 2>"$WORK/bad-home.err"
box=$(wait_for_window Error 30) || fail "no message about the home folder"
focus "$box" || fail "cannot focus the message"
xdotool key Return
wait_for_exit "$APP_PID" 20
[ $? -ne 0 ] || fail "a refused start ended with status 0"
[ -z "$(find "$WORK" -name $'*\xef\xbf\xbd*')" ] || fail "a look-alike folder was made: $(find "$WORK" -name $'*\xef\xbf\xbd*')"
[ "$(ls "$bad_home/Documents/My Voice Notes")" = 123456.wav ] || fail "the real storage folder changed: $(ls "$bad_home/Documents/My Voice Notes")"

# Restore Notes over 300 note WAVs with one cut to 20 bytes among them and the program's own
# e-mail copy of one: every readable one comes back, and the one closing message is a notice.
fresh_folder
sox -n -r 11025 -b 16 -c 1 "$WORK/tone.wav" synth 0.2 sine 440
for i in $(seq 100 399); do cp "$WORK/tone.wav" "$folder/100$i.wav"; done
head -c 20 "$WORK/tone.wav" >"$folder/100250.wav"
cp "$WORK/tone.wav" "$folder/100111p.wav"
# (With no catalogue beside them, the start itself offers the restore: taken with Alt+Y. The
# offer is modal, so the main window is not focused until it has gone.)
launch
question=$(wait_for_window Confirmation 30) || fail "no offer to restore the recordings"
focus "$question" || fail "cannot focus the offer"
xdotool key alt+y
notice=$(wait_for_window "Restore Notes" 60) || fail "no closing notice of Restore Notes"
focus "$notice" || fail "cannot focus the notice"
xdotool key Return
wait_until 10 window_gone "Restore Notes" || fail "the notice did not close"
window=$(wait_for_window Tellamo) || fail "no main window appeared"
focus "$window" || fail "the main window did not get the focus back"
exit_by_menu
restored=0
for i in $(seq 100 399); do grep -q "100$i" "$folder/Tellamo.dat" && restored=$((restored + 1)); done
[ "$restored" -eq 299 ] || fail "$restored of 299 readable notes restored"
grep -q 100250 "$folder/Tellamo.dat" && fail "the cut file became a note"
[ -f "$folder/100250.wav" ] || fail "the cut file was removed"

# Send By E-Mail with a link to a private file planted at the note's TrueSpeech copy: a copy is
# made anew and attached, the private file stays as it was. A cancelled question and Ogg Opus
# leave no TrueSpeech copy. xdg-email is a stand-in that logs its arguments.
fresh_folder
mkdir -p "$WORK/bin"
cat >"$WORK/bin/xdg-email" <<SH
#!/bin/sh
printf '%s\n' "\$*" >>"$WORK/mail.log"
SH
chmod +x "$WORK/bin/xdg-email"
sox -n -r 11025 -b 16 -c 1 "$folder/480151.wav" synth 1 sine 440
one_note_catalogue 480151 "a tone" >/dev/null
printf 'private key' >"$WORK/outside/id_ed25519"
ln -s "$WORK/outside/id_ed25519" "$folder/480151p.wav"
mails() { [ -f "$WORK/mail.log" ] && [ "$(wc -l <"$WORK/mail.log")" -ge "$1" ]; }
# send KEYS: File > Send By E-Mail, the format question answered with KEYS.
send() {
  focus "$window" || fail "the main window did not get the focus"
  menu alt+f m
  question=$(wait_for_window "Send By E-Mail") || fail "no format question"
  focus "$question" || fail "the format question did not get the focus"
  xdotool key "$@"
  wait_until 10 window_gone "Send By E-Mail" || fail "the format question stayed"
}
PATH=$WORK/bin:$PATH start_program
send Return # TrueSpeech, chosen at start
wait_until 20 mails 1 || fail "no mail after TrueSpeech"
grep -qx -- "--subject a tone --attach $folder/480151p.wav" "$WORK/mail.log" ||
  fail "unexpected mail: $(cat "$WORK/mail.log")"
[ -f "$folder/480151p.wav" ] && [ ! -L "$folder/480151p.wav" ] || fail "the copy is still the link"
[ "$(cat "$WORK/outside/id_ed25519")" = "private key" ] || fail "the private file was changed"
ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$folder/480151p.wav" | grep -qx truespeech ||
  fail "the copy is not TrueSpeech"
rm "$folder/480151p.wav"
send Escape
send Down Return # Ogg Opus
wait_until 20 mails 2 || fail "no mail after Ogg Opus"
tail -n 1 "$WORK/mail.log" | grep -qx -- "--subject a tone --attach $folder/480151o.opus" ||
  fail "unexpected mail: $(tail -n 1 "$WORK/mail.log")"
[ ! -e "$folder/480151p.wav" ] || fail "a TrueSpeech copy nobody chose was made"
focus "$window" || fail "the main window did not get the focus"
exit_by_menu

echo "1 passed, 0 failed"
