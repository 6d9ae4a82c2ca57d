#!/usr/bin/env bash
# Builds the TrueSpeech decoder fuzzer with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# in the build directory given as the first argument, then fuzzes for about 30 seconds (or the
# number of seconds given as the second argument). Exits non-zero when the build fails or the
# fuzzer finds a crash; the crashing input is left in the build directory.
set -euo pipefail
if [[ $# -lt 1 || $1 == -h || $1 == --help ]]; then
  echo "Usage: $0 BUILD_DIR [SECONDS]" >&2
  exit 2
fi
mkdir -p "$1"
build_dir=$(cd "$1" && pwd)
seconds=${2:-30}
source_dir=$(cd "$(dirname "$0")/../../.." && pwd)

cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTELLAMO_FUZZ=ON \
  -DTELLAMO_BUILD_APP=OFF -DTELLAMO_SANITIZE="address;undefined" >/dev/null
cmake --build "$build_dir" --target truespeech_decoder_fuzzer -j "${JOBS:-1}"

corpus="$build_dir/truespeech-fuzz-corpus"
mkdir -p "$corpus"
# Seeds: an all-zero frame and an all-ones frame, three frames each.
head -c 96 /dev/zero >"$corpus/zeros"
head -c 96 /dev/zero | tr '\0' '\377' >"$corpus/ones"
cd "$build_dir"
./tests/codec/fuzz/truespeech_decoder_fuzzer -max_total_time="$seconds" -max_len=2048 \
  -print_final_stats=1 "$corpus"
