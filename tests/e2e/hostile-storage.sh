#!/usr/bin/env bash
# Usage: hostile-storage.sh TELLAMO_BINARY
# The storage folder may be shared, synced or restored from an archive, so what stands in it is
# input from anyone: a translation kept there, links planted at the names the program writes.
# None of it makes the program write outside the folder. Each case starts with a fresh folder.
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

echo "1 passed, 0 failed"
