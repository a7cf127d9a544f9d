#!/usr/bin/env bash
# Builds the core's fuzzers with clang (libFuzzer, ASan, UBSan) and runs each
# one for a bounded number of inputs, starting from the committed corpus.
# Fails on any crash, sanitizer finding or mismatch.
#
#   FUZZ_RUNS         inputs per fuzzer, for all of them (defaults: fixed3
#                     200000, parse 500000, reading 200000)
#   FUZZ_TIME         seconds per fuzzer instead of a number of inputs
#   FUZZ_BUILD_DIR    build folder (default build-fuzz)
#
# New inputs the fuzzers find go to a scratch folder, so the committed corpus
# only changes by hand; a failing input is kept in <build>/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

build="${FUZZ_BUILD_DIR:-build-fuzz}"
werror=OFF
[ -n "${CI:-}" ] && werror=ON

echo "== building fuzzers in $build"
log=$(mktemp)
work=$(mktemp -d)
trap 'rm -rf "$work" "$log"' EXIT
if ! { cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
         -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPOTENCOR_WERROR="$werror" &&
       cmake --build "$build" -j2; } >"$log" 2>&1; then
  cat "$log"
  exit 1
fi
mkdir -p "$build/artifacts"

export UBSAN_OPTIONS="print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

failed=0
run_fuzzer() {
  local name="$1" runs="$2"
  local limit=(-runs="${FUZZ_RUNS:-$runs}")
  [ -n "${FUZZ_TIME:-}" ] && limit=(-max_total_time="$FUZZ_TIME")
  mkdir -p "$work/$name"
  local start=$SECONDS
  if "$build/${name}_fuzzer" "${limit[@]}" -print_final_stats=0 \
       -artifact_prefix="$build/artifacts/$name-" \
       "$work/$name" "fuzz/corpus/$name" >"$work/$name.log" 2>&1; then
    local done_line
    done_line=$(grep -E '^Done [0-9]+ runs' "$work/$name.log" | tail -n 1)
    echo "== $name: ${done_line:-no summary} (wall $((SECONDS - start)) s)"
  else
    tail -n 60 "$work/$name.log"
    echo "== $name: FAILED after $((SECONDS - start)) s; the input is in $build/artifacts/:"
    echo "   $build/${name}_fuzzer $build/artifacts/$name-<file> reproduces it"
    failed=1
  fi
}

run_fuzzer fixed3 200000
run_fuzzer parse 500000
run_fuzzer reading 200000
exit $failed
