#!/bin/sh
# PilvoWizard as a user starts it on a desktop, against pilvo-sim on a serial line: it opens on
# the stored TAB file and port, connects, resets the arm (the simulator's demonstration passes
# its reference marks) and shows the live coordinates, yellow on black. The screen of the
# connected window is kept as a test artifact.
# Arguments: PilvoWizard, pilvo-sim, pilvo-tab, screen-shot, the TAB file, the PNG to keep, the
# folder of the USB access library.
set -eu
wizard=$1 sim=$2 tab_tool=$3 shot=$4 png=$6
export LD_LIBRARY_PATH=$7
work=$(mktemp -d)
tab=$work/arm.tab # in the current version, so that Connect offers no upgrade
port=$(mktemp -u /tmp/XXXXXX) # the driver keeps 11 characters
pids=
cleanup() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "$1" >&2
  cat "$work/wizard.log" "$work/sim.log" >&2 2>/dev/null || true
  exit 1
}

# The TAB file and port of an earlier run, COM3 mapped to the simulator's line.
"$tab_tool" upgrade "$5" -o "$tab" >/dev/null || fail "the TAB file could not be upgraded"
export PILVO_CONFIG_DIR="$work/config"
mkdir -p "$PILVO_CONFIG_DIR/registry"
printf '[TAB]\nNome=%s\n[Porta seriale]\nNome=COM3\n' "$tab" >"$PILVO_CONFIG_DIR/registry/pilvo3d.ini"
printf '[SerialPorts]\nCOM3=%s\n' "$port" >"$PILVO_CONFIG_DIR/registry/pilvowizard.ini"

"$sim" --tab "$tab" --serial --serial-link "$port" --unreferenced --demo >"$work/sim.log" 2>&1 &
pids=$!
tries=0
until [ -e "$port" ]; do
  tries=$((tries + 1))
  [ "$tries" -le 100 ] || fail "pilvo-sim did not start"
  sleep 0.05
done

"$wizard" --connect >"$work/wizard.log" 2>&1 &
pids="$pids $!"

# The coordinates show once the reset has passed every mark; the demonstration takes a while.
tries=0
while :; do
  tries=$((tries + 1))
  [ "$tries" -le 120 ] || fail "PilvoWizard shows no live coordinates"
  sleep 0.5
  yellow=$("$shot" "$png" ffff00) || fail "the screen could not be grabbed"
  # The disconnected window's dashes make about 200 yellow pixels, three coordinates ten times
  # as many.
  [ "$yellow" -lt 1000 ] || break
done
