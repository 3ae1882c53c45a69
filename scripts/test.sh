#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite:
#   1. the normal build, every test, and no function over 80 lines;
#   2. the Debian package of the normal build, checked as a user gets it;
#   3. AddressSanitizer + UndefinedBehaviorSanitizer, every test, and a short
#      run of scripts/mutated_joins.sh;
#   4. ThreadSanitizer, the engine and network tests;
#   5. the fuzz targets, a short run each from a fixed seed (scripts/fuzz.sh).
# OV_TEST_PASSES chooses passes (default "normal package asan tsan fuzz");
# OV_FUZZ_RUNS the inputs per fuzz target (default 20000).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

passes="${OV_TEST_PASSES:-normal package asan tsan fuzz}"
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1

run_ctest() {
  local dir="$1"; shift
  ctest --test-dir "$dir" -j "$jobs" --timeout 900 "$@"
}

for pass in $passes; do
  echo "=== test pass: $pass ==="
  case "$pass" in
    normal)
      scripts/function_lengths.sh --max 80 src tools
      scripts/build.sh build -DOV_WERROR=ON
      run_ctest build
      ;;
    package)
      deb=$(scripts/package.sh build | tail -n1)
      scripts/package_check.sh "$deb"
      ;;
    asan)
      scripts/build.sh build-asan -DOV_WERROR=ON -DOV_SANITIZE=address
      ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1" \
      LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
      UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
        run_ctest build-asan -LE slow
        # A short run of mutated joins from a fixed seed: no crash, hang,
        # sanitizer report or file left behind.
        nice scripts/mutated_joins.sh build-asan 12 40 1
      ;;
    tsan)
      scripts/build.sh build-tsan -DOV_WERROR=ON -DOV_SANITIZE=thread -DOV_BUILD_UI=OFF
      TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp" \
        run_ctest build-tsan -L tsan -LE slow
      ;;
    fuzz)
      OV_FUZZ_RUNS="${OV_FUZZ_RUNS:-20000}" scripts/fuzz.sh
      ;;
    *)
      echo "unknown pass: $pass" >&2; exit 2 ;;
  esac
done
echo "=== all test passes green ==="
