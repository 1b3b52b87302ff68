#!/bin/sh
# pilvo-session against pilvo-sim --demo, as the README runs them: the session resets the arm
# (on serial the demonstration passes the reference marks the reset waits for), follows the
# probe, takes the demonstration's points and closes the port; the simulator stops cleanly.
# Arguments: pilvo-sim, pilvo-session, the TAB file, serial or usb, the folder of the
# simulator flavour of the USB access library, the points to wait for (0: only follow).
set -eu
sim=$1 session=$2 tab=$3 link=$4 usb_library=$5 points=$6
work=$(mktemp -d)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
export PILVO_CONFIG_DIR="$work/config" LD_LIBRARY_PATH="$usb_library"

if [ "$link" = serial ]; then
  port=$(mktemp -u /tmp/XXXXXX) # the driver keeps 11 characters
  ready=$port
  "$sim" --tab "$tab" --serial --serial-link "$port" --unreferenced --demo >"$work/sim.log" 2>&1 &
else
  port=COM1
  export PILVO_SIM_USB_SOCKET="$work/usb.sock"
  ready=$PILVO_SIM_USB_SOCKET
  "$sim" --tab "$tab" --usb-socket "$PILVO_SIM_USB_SOCKET" --demo >"$work/sim.log" 2>&1 &
fi
sim_pid=$!

fail() {
  echo "$1" >&2
  cat "$work/session.log" "$work/sim.log" >&2 2>/dev/null || true
  exit 1
}

# The simulator makes its port or socket once it serves.
tries=0
until [ -e "$ready" ]; do
  tries=$((tries + 1))
  [ "$tries" -le 100 ] || fail "pilvo-sim did not start"
  sleep 0.05
done

if [ "$points" -gt 0 ]; then limits="--points $points --seconds 60"; else limits="--seconds 2"; fi
# shellcheck disable=SC2086  # the limits are two options
"$session" --port "$port" --tab "$tab" $limits >"$work/session.log" 2>&1 ||
  fail "pilvo-session failed"
grep -q '^ResetEncoder: 0 ' "$work/session.log" || fail "no reset"
grep -q '^probe ' "$work/session.log" || fail "no position"
if [ "$points" -gt 0 ]; then
  grep -q "^point $points " "$work/session.log" || fail "fewer than $points points"
fi
grep -q '^ChiudePorta: 0$' "$work/session.log" || fail "the port was not closed"

kill -TERM "$sim_pid"
wait "$sim_pid" || fail "pilvo-sim did not end cleanly"
sim_pid=
