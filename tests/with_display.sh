#!/bin/sh
# Runs a test of the windows under an X server of its own. The OpenGL driver and D-Bus leave
# allocations behind at exit that are not ours, and LeakSanitizer cannot name the driver it
# finds them in once it is unloaded: leak checking is off for these tests alone.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export ASAN_OPTIONS
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$@"
