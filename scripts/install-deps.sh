#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds and tests with. Run as root.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  liblapack-dev libeigen3-dev libsimpleini-dev nlohmann-json3-dev libcli11-dev
  libusb-1.0-0-dev umockdev libumockdev-dev
  clang libclang-rt-dev  # the fuzz targets, scripts/run-fuzz.sh
  locales                # a decimal-comma locale for the tests of number texts
  python3 python3-pytest python3-numpy python3-pip  # the Python package and its tests
  # The windows: Qt 6 with OpenGL and SVG, GLU for the 3-D arm view; an X server, a tray host
  # and a pointer driver for the tests of windows that need a display
  qt6-base-dev libqt6opengl6-dev qt6-svg-dev libgl-dev libglu1-mesa-dev libegl-dev
  libgl1-mesa-dri xvfb xauth xdotool trayer
  poppler-utils  # pdfinfo, pdftotext and pdftoppm read back the calibration report's PDF
)

# The benchmarks' yardsticks, never linked by the product.
if [ "${1:-}" = "--with-comparisons" ]; then
  packages+=(liborocos-kdl-dev libceres-dev)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=300 update -q
  apt-get -o DPkg::Lock::Timeout=300 install -y -q --no-install-recommends "${missing[@]}"
fi

# Numbers stored as text must read the same under a host locale with a decimal comma.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
fi
