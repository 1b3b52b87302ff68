#!/bin/sh
# The driver as a measuring application gets it: the project installed into a fresh prefix, and
# a C program built against it twice, found through pkg-config and through find_package(Pilvo).
# The driver must find the USB access library installed beside it.
# Arguments: cmake, the build folder, the consumer's sources, the C compiler, extra C flags.
set -eu
cmake=$1 build=$2 sources=$3 cc=$4 flags=${5:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
export PILVO_CONFIG_DIR="$work/config"

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log"

# Runs a consumer, which must succeed without a word about the USB access library.
check() {
  "$1" 2>"$work/errors" || { cat "$work/errors" >&2; exit 1; }
  if grep -q mpusbapi "$work/errors"; then
    cat "$work/errors" >&2
    exit 1
  fi
}

pc=$(find "$prefix" -name pilvo.pc)
export PKG_CONFIG_PATH="${pc%/*}"
libdir=$(pkg-config --variable=libdir pilvo)
if [ -n "$flags" ]; then
  # The sanitizer's dlopen wrapper is the caller the loader sees, and the driver's own run path
  # is not searched for the USB access library: the library folder is named instead.
  export LD_LIBRARY_PATH="$libdir"
fi
# shellcheck disable=SC2046,SC2086  # the flags are lists of words
"$cc" $flags -std=c99 -Wall -Wextra -Wpedantic -Werror "$sources/consumer.c" \
  $(pkg-config --cflags --libs pilvo) -o "$work/by-pkg-config"
LD_LIBRARY_PATH=$libdir check "$work/by-pkg-config"

"$cmake" -S "$sources" -B "$work/consumer" -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$flags" \
  -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log"
"$cmake" --build "$work/consumer" >"$work/build.log"
check "$work/consumer/consumer"
