#!/usr/bin/env bash
# Builds the benchmarks in Release and prints one table of their medians: the reading per demo
# arm, the count read against the bare pseudo-terminal, the probe calibration, the forward
# kinematics against Orocos KDL, allocations per reading. Extra arguments go to pilvo_bench
# (e.g. --benchmark_filter=Reading).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PILVO_BENCH_DIR:-$top/build-bench}
bash "$top/scripts/install-deps.sh" --with-comparisons
PILVO_BUILD_DIR="$build" PILVO_BUILD_TYPE=Release bash "$top/scripts/build.sh" \
  -DPILVO_BUILD_TESTS=OFF
results="$build/bench-results.json"
"$build/bench/pilvo_bench" --benchmark_repetitions="${PILVO_BENCH_REPETITIONS:-5}" \
  --benchmark_report_aggregates_only=true --benchmark_out="$results" \
  --benchmark_out_format=json "$@" >/dev/null
"$build/bench/pilvo_bench_table" "$results"
