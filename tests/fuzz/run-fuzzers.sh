#!/usr/bin/env bash
# Builds every libFuzzer target with clang, AddressSanitizer and UndefinedBehaviorSanitizer in
# BUILD_DIR, writes the seed corpora, then fuzzes each target in turn for SECONDS (or until it
# has made RUNS executions, when RUNS is given) and prints each one's executions, coverage and
# features. Exits non-zero when the build fails or a target finds a crash; the crashing input
# is left in BUILD_DIR/fuzz-artifacts/TARGET/ (add it to tests/fuzz/corpus/TARGET/ once mended).
# An input that runs longer than FUZZ_TIMEOUT seconds (60; a busy machine needs slack) counts
# as a hang.
#   run-fuzzers.sh BUILD_DIR SECONDS [RUNS] [TARGET...]
set -euo pipefail
if [[ $# -lt 2 || $1 == -h || $1 == --help ]]; then
  echo "Usage: $0 BUILD_DIR SECONDS [RUNS] [TARGET...]" >&2
  exit 2
fi
mkdir -p "$1"
build_dir=$(cd "$1" && pwd)
seconds=$2
runs=${3:--1}
shift 2
[[ $# -gt 0 ]] && shift
source_dir=$(cd "$(dirname "$0")/../.." && pwd)

# TARGET and its longest input: the graph files are 76,918 bytes, the converter gets small notes.
declare -A max_len=(
  [truespeech_decoder_fuzzer]=2048 [index_file_fuzzer]=4096 [wav_header_fuzzer]=512
  [graph_wav_fuzzer]=8192 [graph_bitmap_fuzzer]=80000 [ini_file_fuzzer]=4096
  [converter_fuzzer]=4096 [webvtt_fuzzer]=8192
)
order=(truespeech_decoder_fuzzer index_file_fuzzer wav_header_fuzzer graph_wav_fuzzer
       graph_bitmap_fuzzer ini_file_fuzzer converter_fuzzer webvtt_fuzzer)
targets=("$@")
[[ ${#targets[@]} -eq 0 ]] && targets=("${order[@]}")

cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTELLAMO_FUZZ=ON \
  -DTELLAMO_BUILD_APP=OFF -DTELLAMO_SANITIZE="address;undefined" >/dev/null
cmake --build "$build_dir" --target "${targets[@]}" fuzz_seeds -j "${JOBS:-1}"

"$build_dir/tests/fuzz/fuzz_seeds" "$build_dir/fuzz-seeds"
# The decoder's seeds: an all-zero frame and an all-ones frame, three frames each.
mkdir -p "$build_dir/fuzz-seeds/truespeech_decoder_fuzzer"
head -c 96 /dev/zero >"$build_dir/fuzz-seeds/truespeech_decoder_fuzzer/zeros"
head -c 96 /dev/zero | tr '\0' '\377' >"$build_dir/fuzz-seeds/truespeech_decoder_fuzzer/ones"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=()
summary=()
for t in "${targets[@]}"; do
  binary=$(find "$build_dir/tests" -name "$t" -type f -perm -u+x | head -n1)
  corpus="$build_dir/fuzz-corpus/$t"      # grows: libFuzzer adds what finds new coverage
  artifacts="$build_dir/fuzz-artifacts/$t/"
  mkdir -p "$corpus" "$artifacts"
  dirs=("$corpus" "$build_dir/fuzz-seeds/$t")
  # Inputs that once crashed a target, kept so that they are tried first at every run.
  [[ -d "$source_dir/tests/fuzz/corpus/$t" ]] && dirs+=("$source_dir/tests/fuzz/corpus/$t")
  log="$build_dir/fuzz-$t.log"
  echo "== $t: ${seconds}s" >&2
  status=0
  (cd "$build_dir" && "$binary" -max_total_time="$seconds" -runs="$runs" \
     -max_len="${max_len[$t]}" -timeout="${FUZZ_TIMEOUT:-60}" -rss_limit_mb=2048 -print_final_stats=1 \
     -artifact_prefix="$artifacts" "${dirs[@]}") >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -n1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  result=clean
  if [[ $status -ne 0 ]]; then
    result="CRASH (see $log and $artifacts)"
    failed+=("$t")
    tail -n 40 "$log" >&2
  fi
  summary+=("$(printf '%-28s executions %-10s coverage %-6s features %-6s %s' \
    "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$result")")
done
printf '%s\n' "${summary[@]}"
[[ ${#failed[@]} -eq 0 ]]
