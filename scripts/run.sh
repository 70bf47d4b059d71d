#!/usr/bin/env bash
# Sets up the machine, builds the program and starts it.
#   scripts/run.sh          opens the window (tonamira)
#   scripts/run.sh --cli    analyses a short demo note with tonamira-cli and prints the CSV
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}

bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs" --target tonamira tonamira-cli

# A short demo note: A4 (440 Hz) with two overtones, 16-bit mono at 44100 Hz.
mkdir -p demo
if [ ! -f demo/a440.wav ]; then
  sox -n -r 44100 -b 16 -c 1 demo/a440.wav synth 1.5 sine 440 sine 880 sine 1320 \
    remix 1-3 gain -n -6 2>/dev/null
fi

if [ "${1:-}" = "--cli" ]; then
  exec build/src/cli/tonamira-cli analyze demo/a440.wav
fi
exec build/src/main/tonamira
