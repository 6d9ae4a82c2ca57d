#!/usr/bin/env bash
# Usage: run-isolated.sh PROGRAM [ARGUMENTS...]
# Runs one test program with a home of its own: HOME, the XDG folders (the documents folder as
# Qt finds it, in user-dirs.dirs) and TMPDIR all lie in a folder made fresh for this run and
# removed after it, and the session bus is out of reach. Whatever the program under test writes
# to "the user's" folders (settings, autostart entries, caches) lands there, never in the home of
# whoever runs the tests.
set -u
root=$(mktemp -d "${TMPDIR:-/tmp}/tellamo-run-XXXXXX") || exit 1
trap 'rm -rf "$root"' EXIT
export HOME=$root/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
export XDG_STATE_HOME=$HOME/.local/state XDG_RUNTIME_DIR=$root/run TMPDIR=$root/tmp
export XDG_DOCUMENTS_DIR=$HOME/Documents
unset DBUS_SESSION_BUS_ADDRESS
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME" "$XDG_RUNTIME_DIR" "$TMPDIR" ||
  exit 1
chmod 700 "$root" "$XDG_RUNTIME_DIR"
# The folder may not exist yet, as on a fresh account: the program makes it.
printf 'XDG_DOCUMENTS_DIR="$HOME/Documents"\n' >"$XDG_CONFIG_HOME/user-dirs.dirs"
"$@"
