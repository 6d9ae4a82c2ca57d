#!/usr/bin/env bash
# Usage: keyboard.sh TELLAMO_BINARY OUTPUT_FOLDER
# The program by the keyboard alone, as a user who cannot use a mouse: record a note with Ctrl+R
# (its description typed into the prompt), stop it with Ctrl+., play it to its end with Return,
# Return again plays it again (the focus came back to the list), F2 renames it, a new folder by
# the tree's pop-up menu and Move to Folder from the list's move the note there, Delete puts it
# in the Recycle Bin; the dialogs open and close with Escape; Ctrl+Q ends the program.
set -u
. "$(dirname "$0")/lib.sh"
TELLAMO=$1
out=$2

start_session --pulse
speech_raw "$WORK/speech.raw" "A note made with the keyboard alone." 1 1
start_program
pipe_source 11025

# The note's record in the catalogue: its description and folder number, "DESCRIPTION|FOLDER".
note_record() {
  python3 - "$folder/Tellamo.dat" <<'PY'
import sys
from catalogue import read_notes
for note in read_notes(sys.argv[1]):
    print(f"{note.description}|{note.folder}")
PY
}
record_is() { [ "$(note_record 2>/dev/null)" = "$1" ]; }
record_matches() { note_record 2>/dev/null | grep -qx "$1"; }

xdotool key ctrl+r
wait_for_window "Enter Description" >/dev/null || fail "Ctrl+R did not ask for a description"
xdotool type --delay 20 "typed note"
xdotool key Return
feed_speech "$WORK/speech.raw"
wait_ms 20000 wav_holds $((44 + 11025 * 2 * 2)) || fail "the recording does not grow"
wait_until 10 has_focus "$window" || fail "the main window did not get the focus back"
xdotool key ctrl+period
wait_ms 10000 stopped 1 || fail "Ctrl+. did not stop the recording"
record_is "typed note|0" || fail "the note's record: $(note_record)"

# The tree had the focus at the start; Tab goes on to the list, on the new note.
xdotool key Tab
xdotool key Return
wait_ms 10000 streams_are -gt 0 || fail "Return did not play the note"
wait_ms 20000 streams_are -eq 0 || fail "the playback did not end"
xdotool key Return
wait_ms 10000 streams_are -gt 0 || fail "Return after the playback's end did not play again"
xdotool key ctrl+period
wait_ms 10000 streams_are -eq 0 || fail "Ctrl+. did not stop the playback"

xdotool key F2
wait_for_window "Edit Description" >/dev/null || fail "F2 did not open the description"
xdotool key ctrl+a
xdotool type --delay 20 "renamed note"
xdotool key Return
wait_until 10 record_is "renamed note|0" || fail "F2 did not rename: $(note_record)"

# Each dialog opens by its keys and closes with Escape, and the focus comes back.
wait_until 10 has_focus "$window" || fail "the focus did not come back after the rename"
for keys in "alt+t o:Options" "alt+h a:About" "ctrl+shift+s:Save As"; do
  title=${keys#*:}
  # shellcheck disable=SC2086
  xdotool key --clearmodifiers ${keys%%:*}
  dialog=$(wait_for_window "$title" 15) || fail "\"$title\" did not open"
  # A key pressed before the new window has the focus would go to the main window.
  wait_until 10 has_focus "$dialog" || fail "\"$title\" did not get the focus"
  xdotool key Escape
  wait_until 10 window_gone "$title" || fail "Escape did not close \"$title\""
  wait_until 10 has_focus "$window" || fail "the focus did not come back after \"$title\""
done

# A folder from the tree's pop-up menu (Add), named as it is made, then the note moved there.
xdotool key shift+Tab Menu
wait_ms 10000 menus_are 1 || fail "the Menu key did not open the tree's pop-up menu"
xdotool key a
# The new folder is saved with its first name, and its name is being edited.
wait_until 10 grep -qa "Folder" "$folder/Tellamo.dat" || fail "Add made no folder"
xdotool type --delay 20 "Work"
xdotool key Return
wait_until 10 grep -qa Work "$folder/Tellamo.dat" || fail "the new folder was not saved"
# The new folder is selected; the note is back in Notes.
xdotool key Up Tab Menu
wait_ms 10000 menus_are 1 || fail "the Menu key did not open the list's pop-up menu"
xdotool key m
wait_for_window "Move to Folder" >/dev/null || fail "no Move to Folder dialog"
xdotool key Down Return
wait_until 10 record_matches "renamed note|[1-9][0-9]*" || fail "the note was not moved: $(note_record)"
moved=$(note_record)

# Into the folder, where the note is, and Delete: to the Recycle Bin, the sound file kept.
xdotool key shift+Tab Down Tab Delete
moved_on() { [ "$(note_record 2>/dev/null)" != "$moved" ]; }
wait_until 10 moved_on || fail "Delete did not move the note to the Recycle Bin"
record_matches "renamed note|[1-9][0-9]*" || fail "the note left the catalogue: $(note_record)"
[ "$(count wav)" -eq 1 ] || fail "the sound file went with a delete to the Recycle Bin"

screenshot "$out/e2e-keyboard.png" "$window" || fail "the window is not painted"
xdotool key ctrl+q
program_ended 20
echo "1 passed, 0 failed"
