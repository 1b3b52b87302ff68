#!/usr/bin/env bash
# The main job: builds everything, then runs a measuring session through libpilvo.so against
# the virtual arm moving by itself: first a serial arm with reference marks on a
# pseudo-terminal, then a USB arm through the simulator flavour of the USB access library.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PILVO_BUILD_DIR:-$top/build}
bash "$top/scripts/install-deps.sh"
bash "$top/scripts/build.sh"

work=$(mktemp -d)
sim_pid=
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill -TERM "$sim_pid"
    wait "$sim_pid"
    sim_pid=
  fi
}
cleanup() {
  if [ -n "$sim_pid" ]; then kill -TERM "$sim_pid" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
# The demonstration keeps its settings apart from the user's.
export PILVO_CONFIG_DIR="$work/config"

# pilvo-sim makes its port or socket once it serves.
wait_for() {
  for _ in $(seq 100); do
    [ -e "$1" ] && return 0
    sleep 0.05
  done
  echo "pilvo-sim did not start:" >&2
  cat "$work/sim.log" >&2
  exit 1
}

# Serial: the arm starts unreferenced, so the driver's reset waits for the reference marks that
# the demonstration passes. The port name must fit the driver's 11 characters.
arm=$build/demo/serial6_dh_marks.tab
port=$(mktemp -u /tmp/pvXXXX)
echo "== serial arm $(basename "$arm") on $port"
"$build/sim/pilvo-sim" --tab "$arm" --serial --serial-link "$port" --unreferenced --demo \
  >"$work/sim.log" 2>&1 &
sim_pid=$!
wait_for "$port"
LD_LIBRARY_PATH=$build/platform/mpusbapi \
  "$build/tools/pilvo-session" --port "$port" --tab "$arm" --seconds 10 --points 4
stop_sim

# USB: the simulator flavour of libmpusbapi.so reaches pilvo-sim's socket.
arm=$build/demo/usb6_quaternion.tab
export PILVO_SIM_USB_SOCKET=$work/usb.sock
echo "== USB arm $(basename "$arm")"
"$build/sim/pilvo-sim" --tab "$arm" --usb-socket "$PILVO_SIM_USB_SOCKET" --demo \
  >"$work/sim.log" 2>&1 &
sim_pid=$!
wait_for "$PILVO_SIM_USB_SOCKET"
LD_LIBRARY_PATH=$build/sim/usb "$build/tools/pilvo-session" --tab "$arm" --seconds 10 --points 4
stop_sim

# With a display, PilvoWizard then opens on a demo arm within the program (the USB arm's file)
# until its window is closed.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "== PilvoWizard on a demo arm made from $(basename "$arm"): close its window to end"
  mkdir -p "$PILVO_CONFIG_DIR/registry"
  printf '[TAB]\nNome=%s\n' "$arm" >"$PILVO_CONFIG_DIR/registry/pilvo3d.ini"
  LD_LIBRARY_PATH=$build/platform/mpusbapi "$build/wizard/PilvoWizard" --demo
fi
