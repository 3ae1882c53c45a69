#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz (clang-14: libFuzzer with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs each one for
# SECONDS seconds from its seed corpus tests/fuzz/corpus/NAME. A crash, a
# sanitizer report, a leak, a time-out or running out of memory fails the
# script; the input that did it is kept in BUILD_DIR/findings/. New inputs the
# fuzzer finds go to a temporary folder, never into the repository.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     (default: 60 seconds, every target)
# OV_FUZZ_BUILD_DIR chooses the build folder (default build-fuzz).
# OV_FUZZ_RUNS=N runs N inputs per target from a fixed seed instead of a time:
# the same tree then gives the same run on every machine, which is what the
# test suite wants (exploring for new faults is what the timed run is for).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
dir="${OV_FUZZ_BUILD_DIR:-build-fuzz}"

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
CC=clang-14 CXX=clang++-14 cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOV_SANITIZE=fuzzer \
  -DOV_BUILD_UI=OFF "${launcher[@]}" >/dev/null
cmake --build "$dir" --target fuzzers -j "$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
findings="$dir/findings"
mkdir -p "$findings"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:allocator_may_return_null=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=()
for name in "${targets[@]}"; do
  seeds="tests/fuzz/corpus/$name"
  [ -d "$seeds" ] || { echo "no seed corpus $seeds" >&2; exit 2; }
  mkdir -p "$work/$name"
  dict=()
  [ -f "tests/fuzz/$name.dict" ] && dict=(-dict="tests/fuzz/$name.dict")
  log="$findings/$name.log"
  limit=(-max_total_time="$seconds")
  [ -n "${OV_FUZZ_RUNS:-}" ] && limit=(-runs="$OV_FUZZ_RUNS" -seed="${OV_FUZZ_SEED:-1}")
  # The first folder takes what the fuzzer finds; the seeds are only read.
  if "$dir/fuzz/$name" "${limit[@]}" -timeout=30 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$findings/$name-" "${dict[@]}" "$work/$name" "$seeds" >"$log" 2>&1; then
    runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')"
    cov="$(grep -o 'cov: [0-9]*' "$log" | tail -n1 || true)"
    echo "$name: ok, $runs runs, $cov"
  else
    echo "$name: FAILED (log and input in $findings)"
    grep -E '^==.*ERROR:|runtime error:|SUMMARY:|check failed|Test unit written|^Base64:' "$log" | head -n 12 || tail -n 20 "$log"
    failed+=("$name")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
amount="${seconds} s"
[ -n "${OV_FUZZ_RUNS:-}" ] && amount="${OV_FUZZ_RUNS} inputs"
echo "=== fuzzing: every target ran ${amount} without a finding ==="
