#!/usr/bin/env bash
# Sets up the machine, builds everything and passes every test:
#   1. the release build and its tests,
#   2. a 60-second fuzz run of the WAV reader (clang, libFuzzer, ASan + UBSan),
#   3. the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer.
# The release and sanitizer test runs get a private PulseAudio server for the device tests.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${JOBS:-2}

bash scripts/deps.sh

export QT_QPA_PLATFORM=offscreen

# The device tests play and record through a private sound server (scripts/pulse-private.sh):
# each test run gets one of its own, in its environment only, stopped when the run ends and
# on every exit.
pulse_dir=""
work_corpus=""
stop_sound_server() {
  if [ -n "$pulse_dir" ]; then
    bash scripts/pulse-private.sh stop "$pulse_dir" || true
    rmdir "$pulse_dir" 2>/dev/null || true
    pulse_dir=""
  fi
}
cleanup() {
  stop_sound_server
  if [ -n "$work_corpus" ]; then rm -rf "$work_corpus"; fi
}
trap cleanup EXIT
with_sound_server() {
  pulse_dir=$(mktemp -d /tmp/tonamira-pulse.XXXXXX)
  local settings rc=0
  settings=$(bash scripts/pulse-private.sh start "$pulse_dir")
  (eval "$settings" && "$@") || rc=$?
  stop_sound_server
  return "$rc"
}

echo "== release build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs"
with_sound_server ctest --test-dir build --output-on-failure -j"$jobs"

echo "== fuzzing the WAV reader for ${FUZZ_SECONDS:-60} s"
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTONAMIRA_BUILD_FUZZ=ON -DTONAMIRA_BUILD_GUI=OFF -DTONAMIRA_BUILD_TESTS=OFF \
  -DTONAMIRA_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$jobs" --target tonamira-fuzz-wav
work_corpus=$(mktemp -d)
cp "$root"/fuzz/corpus/* "$work_corpus"/ 2>/dev/null || true
build-fuzz/fuzz/tonamira-fuzz-wav -max_total_time="${FUZZ_SECONDS:-60}" -malloc_limit_mb=256 \
  -rss_limit_mb=2048 -print_final_stats=1 "$work_corpus" 2>&1 | tail -n 12

echo "== sanitizer build (ASan + UBSan) and tests"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTONAMIRA_SANITIZE=ON \
  -DTONAMIRA_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
with_sound_server env ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -j"$jobs"
