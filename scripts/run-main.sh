#!/usr/bin/env bash
# The main job: builds everything and inspects the demo arms with the TAB tool.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PILVO_BUILD_DIR:-$top/build}
bash "$top/scripts/install-deps.sh"
bash "$top/scripts/build.sh"
for arm in "$build"/demo/*.tab; do
  echo "== $(basename "$arm")"
  "$build/tools/pilvo-tab" show "$arm"
done
