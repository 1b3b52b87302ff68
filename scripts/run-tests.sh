#!/usr/bin/env bash
# Builds everything and runs the whole test suite.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PILVO_BUILD_DIR:-$top/build}
bash "$top/scripts/install-deps.sh"
bash "$top/scripts/build.sh"
cd "$build"
ctest --output-on-failure --timeout 600 -j"$(nproc)"
