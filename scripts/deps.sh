#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, run and benchmark.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-dev            # libFuzzer and sanitizer runtimes
  qt6-base-dev qt6-qpa-plugins
  qt6-svg-dev                      # SVG output of the pitch plot
  libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-ipafont-gothic             # metric substitutes for the Japanese UI fonts
  sox                              # demo and test sounds
  ffmpeg                           # test sounds in M4A/AAC, MP3 and Opus (the decoder's tests)
  libsndfile1-dev                  # FLAC, Ogg, Opus, MP3, AIFF, float and 24-bit WAV
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev  # M4A/AAC and the rest
  qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools  # the English translation (lrelease)
  praat                            # speech pitch reference for the tracker corpus
  aubio-tools                      # peer pitch tracker used for speed comparison
  hyperfine                        # side-by-side timing in scripts/corpus/speed.sh
  fluidsynth timgm6mb-soundfont musescore-general-soundfont-small  # tracker corpus:
  espeak-ng python3                #   instruments, voices (scripts/corpus/make_corpus.py)
  sndfile-programs                 # real-recording sets (make_real_set.py; npm from Node.js)
  libpulse-dev                     # the sound devices: the sound server's asynchronous client API
  pulseaudio pulseaudio-utils      # private null-sink sound server for the device tests
  pavucontrol                      # the volume control the two volume buttons start
  xvfb xauth x11-utils xdotool imagemagick
  desktop-file-utils               # checks the installed menu entry
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
