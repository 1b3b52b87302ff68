#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz (or $PILVO_FUZZ_BUILD_DIR) and runs
# each for the given seconds (default 5; e.g. 300 for a long run) over a copy of its seed corpus
# in fuzz/corpus, so the repository is left as it is. Fails on any crash or broken invariant;
# the input that did it is kept under <build>/fuzz-findings/<target>/.
# Usage: scripts/run-fuzz.sh [seconds-per-target]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-5}
build=${PILVO_FUZZ_BUILD_DIR:-$top/build-fuzz}
targets=(tab_file_fuzz report_file_fuzz tab_json_fuzz usb_counts_fuzz serial_counts_fuzz
         board_replies_fuzz settings_values_fuzz frame_profile_fuzz)

# Everything is instrumented, not only the harnesses: coverage guides the fuzzer through the
# parsers, and the sanitizers catch their faults.
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPILVO_BUILD_FUZZ=ON -DPILVO_BUILD_TESTS=OFF -DPILVO_BUILD_BENCH=OFF \
  -DPILVO_SANITIZE=address,undefined \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

# Numbers must read the same under a decimal-comma locale, as in a Qt host: make one when
# none is installed.
installed=$(locale -a 2>/dev/null || true)
if ! grep -qiE '^(de_DE|fr_FR|it_IT)\.utf-?8$' <<<"$installed" &&
  [ -e /usr/share/i18n/locales/de_DE ] && command -v localedef >/dev/null; then
  mkdir -p "$build/locale"
  [ -d "$build/locale/de_DE.UTF-8" ] ||
    localedef -i de_DE -f UTF-8 "$build/locale/de_DE.UTF-8" >/dev/null 2>&1 || true
  export LOCPATH="$build/locale"
fi

# The settings targets write their store files many times a second: keep everything in memory,
# and in one folder that goes at the end whatever happens.
base=${TMPDIR:-/tmp}
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  base=/dev/shm
fi
work=$(mktemp -d -p "$base" pilvo-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work
failed=()
summary=()
for target in "${targets[@]}"; do
  mkdir -p "$work/$target"
  cp -r "$top/fuzz/corpus/${target%_fuzz}" "$work/$target/corpus"
  log="$work/$target/log"
  echo "== $target: $seconds s"
  status=0
  "$build/fuzz/$target" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$work/$target/" "$work/$target/corpus" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ "$status" -ne 0 ]; then
    findings="$build/fuzz-findings/$target"
    mkdir -p "$findings"
    find "$work/$target" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' \
      -o -name 'timeout-*' -o -name 'oom-*' \) -exec cp {} "$findings/" \;
    tail -n 40 "$log"
    echo "$target failed (exit $status); inputs kept in $findings"
    failed+=("$target")
  fi
  summary+=("$(printf '%-22s %12s executions  %s' "$target" "${runs:-?}" \
    "$([ "$status" -eq 0 ] && echo ok || echo FAILED)")")
done

echo "== executions in $seconds s per target"
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "failed: ${failed[*]}"
  exit 1
fi
