#!/usr/bin/env bash
# Sets up the machine, builds everything (warnings are errors) and passes every test:
#   1. the release build and its tests,
#   2. 60-second fuzz runs of the WAV reader and of the frame road (clang, libFuzzer,
#      ASan + UBSan),
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
scratch=""
stop_sound_server() {
  if [ -n "$pulse_dir" ]; then
    bash scripts/pulse-private.sh stop "$pulse_dir" || true
    rmdir "$pulse_dir" 2>/dev/null || true
    pulse_dir=""
  fi
}
cleanup() {
  stop_sound_server
  if [ -n "$scratch" ]; then rm -rf "$scratch"; fi
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
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTONAMIRA_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
with_sound_server ctest --test-dir build --output-on-failure -j"$jobs"

echo "== the analysis tests again, built without the x86 vector paths (as on arm64 and the rest)"
cmake -S . -B build-portable -G Ninja -DCMAKE_BUILD_TYPE=Release -DTONAMIRA_PORTABLE=ON \
  -DTONAMIRA_BUILD_GUI=OFF -DTONAMIRA_BUILD_BENCH=OFF -DTONAMIRA_WERROR=ON >/dev/null
cmake --build build-portable -j"$jobs" --target tonamira-tests-analysis
build-portable/tests/analysis/tonamira-tests-analysis --gtest_brief=1

echo "== fuzzing for ${FUZZ_SECONDS:-60} s each, side by side: the WAV reader and the frame road"
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTONAMIRA_BUILD_FUZZ=ON -DTONAMIRA_BUILD_GUI=OFF -DTONAMIRA_BUILD_TESTS=OFF \
  -DTONAMIRA_BUILD_BENCH=OFF -DTONAMIRA_WERROR=ON >/dev/null
cmake --build build-fuzz -j"$jobs" --target tonamira-fuzz-wav tonamira-fuzz-frame-road
scratch=$(mktemp -d)
# Runs one harness over a copy of its seed corpus. A passing run shows its final statistics;
# a failing one shows everything it printed (the crash, its stack and the reproducer).
fuzz() {
  local harness=$1 seeds=$2
  local work="$scratch/$harness" log="$scratch/$harness.log"
  mkdir -p "$work"
  cp "$root/$seeds"/* "$work"/
  if ! "build-fuzz/fuzz/$harness" -max_total_time="${FUZZ_SECONDS:-60}" -malloc_limit_mb=256 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$scratch/$harness-" "$work" >"$log" 2>&1; then
    cat "$log"
    for crash in "$scratch/$harness"-{crash,leak,timeout,oom}-*; do
      if [ -e "$crash" ]; then
        echo "reproducer: $crash ($(stat -c %s "$crash") bytes)"
        od -A x -t x1z "$crash" | head -40
      fi
    done
    echo "fuzzing $harness FAILED" >&2
    exit 1
  fi
  tail -n 6 "$log"
}
# The two harnesses run at once, one a core; each reports when both have finished.
fuzz tonamira-fuzz-wav fuzz/corpus >"$scratch/wav.out" 2>&1 &
wav_pid=$!
fuzz tonamira-fuzz-frame-road fuzz/corpus-frames >"$scratch/frames.out" 2>&1 &
frames_pid=$!
fuzz_rc=0
wait "$wav_pid" || fuzz_rc=1
wait "$frames_pid" || fuzz_rc=1
cat "$scratch/wav.out" "$scratch/frames.out"
if [ "$fuzz_rc" -ne 0 ]; then exit 1; fi

echo "== sanitizer build (ASan + UBSan) and tests"
# -O1 and line tables only (-g1): what the sanitizers' reports need (every frame of a stack
# with its file and line), at half the compile time of -O2 with full debug information.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTONAMIRA_SANITIZE=ON \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  -DTONAMIRA_BUILD_BENCH=OFF -DTONAMIRA_WERROR=ON >/dev/null
cmake --build build-asan -j"$jobs"
with_sound_server env ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -j"$jobs"
