#!/usr/bin/env bash
# Builds the TrueSpeech decoder fuzzer in the build directory given as the first argument and
# fuzzes it for about 30 seconds (or the number of seconds given as the second argument); see
# tests/fuzz/run-fuzzers.sh, which runs every fuzz target the same way.
set -euo pipefail
if [[ $# -lt 1 || $1 == -h || $1 == --help ]]; then
  echo "Usage: $0 BUILD_DIR [SECONDS]" >&2
  exit 2
fi
exec "$(dirname "$0")/../../fuzz/run-fuzzers.sh" "$1" "${2:-30}" -1 truespeech_decoder_fuzzer
