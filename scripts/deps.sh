#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, run and benchmark.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-dev            # libFuzzer and sanitizer runtimes
  qt6-base-dev qt6-multimedia-dev libqt6multimedia6 qt6-qpa-plugins
  libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-ipafont-gothic             # metric substitutes for the Japanese UI fonts
  sox                              # demo and test sounds
  aubio-tools                      # peer pitch tracker used for speed comparison
  pulseaudio pulseaudio-utils      # private null-sink sound server for the device tests
  pavucontrol                      # the volume control the two volume buttons start
  gstreamer1.0-plugins-base
  xvfb xauth x11-utils xdotool imagemagick
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
