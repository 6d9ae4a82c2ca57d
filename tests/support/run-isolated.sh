#!/usr/bin/env bash
# Usage: run-isolated.sh PROGRAM [ARGUMENTS...]
# Runs one test program with a home of its own (session.sh's isolate_session) in a folder made
# fresh for this run and removed after it.
set -u
. "$(dirname "$0")/session.sh"
root=$(mktemp -d "${TMPDIR:-/tmp}/tellamo-run-XXXXXX") || exit 1
trap 'rm -rf "$root"' EXIT
isolate_session "$root" || exit 1
"$@"
