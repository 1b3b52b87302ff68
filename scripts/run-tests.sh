#!/usr/bin/env bash
# Builds everything and runs the whole test suite, then once more under a decimal-comma locale
# (the tests' main applies LC_ALL as a Qt host does); then runs it again built with
# AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer, and gives every fuzz target a
# few seconds. Any failure or sanitizer report fails the run.
#   PILVO_SANITIZER_PASS=0  skips the sanitizer pass
#   PILVO_FUZZ_SECONDS=N    seconds per fuzz target (0 skips fuzzing; default 5)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PILVO_BUILD_DIR:-$top/build}
bash "$top/scripts/install-deps.sh"
bash "$top/scripts/check-layers.sh"
bash "$top/scripts/build.sh"
(cd "$build" && ctest --output-on-failure --timeout 600 -j"$(nproc)")

# Without the locale the tests would quietly run in C: scripts/install-deps.sh makes it.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "run-tests: the locale de_DE.UTF-8 is not installed" >&2
  exit 1
fi
(cd "$build" && LC_ALL=de_DE.UTF-8 ctest --output-on-failure --timeout 600 -j"$(nproc)")

if [ "${PILVO_SANITIZER_PASS:-1}" != 0 ]; then
  sanitized=${PILVO_SANITIZER_BUILD_DIR:-$top/build-asan}
  PILVO_BUILD_DIR="$sanitized" bash "$top/scripts/build.sh" \
    -DPILVO_SANITIZE=address,undefined -DPILVO_BUILD_BENCH=OFF
  (cd "$sanitized" &&
    ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1 \
    LSAN_OPTIONS=suppressions="$top/tests/lsan.supp":print_suppressions=0 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --output-on-failure --timeout 900 -j"$(nproc)")
fi

if [ "${PILVO_FUZZ_SECONDS:-5}" != 0 ] && [ -f "$top/scripts/run-fuzz.sh" ]; then
  bash "$top/scripts/run-fuzz.sh" "${PILVO_FUZZ_SECONDS:-5}"
fi
