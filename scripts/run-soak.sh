#!/usr/bin/env bash
# The full fault soak: 200 000 readings through libpilvo.so on each link, serial then USB,
# against virtual arms that fail at random, in a Release build (build-release/, or
# $PILVO_BUILD_DIR). Arguments go to pilvo-soak (e.g. --seed 5 --fault-rate 0.01). The table
# goes to standard output; the driver's operator messages to a log beside the build. Exits
# non-zero on any violation. Takes about five minutes.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PILVO_BUILD_DIR:-$top/build-release}
bash "$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j"$(nproc)" --target pilvo-soak

log=$build/soak-driver.log
echo "driver messages: $log"
LD_LIBRARY_PATH=$build/sim/usb "$build/tests/pilvo-soak" --readings 200000 "$@" 2>"$log"
