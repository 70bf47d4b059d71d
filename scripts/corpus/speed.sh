#!/usr/bin/env bash
# Times the precise tracker against aubiopitch's yinfft on the same 10-minute file, with the
# same frame (2048) and hop (1024), side by side in one hyperfine run (the window's method
# is timed too, for reference, and the live trace's form with its own hop of 256, four times
# the frames). The file is the dev corpus's instrument recordings joined and looped to
# 600 s, 16-bit mono 44100 Hz.
#
#   scripts/corpus/speed.sh [CORPUS_DIR] [TONAMIRA_CLI]
set -euo pipefail
cd "$(dirname "$0")/../.."
corpus=${1:-corpus-data}
cli=${2:-build/src/cli/tonamira-cli}
[ -f "$corpus/dev/manifest.json" ] || python3 scripts/corpus/make_corpus.py "$corpus" --set dev

ten="$corpus/ten-minutes.wav"
if [ ! -f "$ten" ]; then
  mapfile -t parts < <(ls "$corpus"/dev/timgm-*.wav)
  sox "${parts[@]}" -r 44100 -c 1 -b 16 "$corpus/joined.wav"
  sox "$corpus/joined.wav" "$ten" repeat 2 trim 0 600
  rm "$corpus/joined.wav"
fi

hyperfine -N --warmup 1 --runs "${RUNS:-10}" --export-markdown "$corpus/speed.md" \
  "$cli analyze $ten --method precise --frame 2048 --hop 1024" \
  "aubiopitch -i $ten -p yinfft -B 2048 -H 1024" \
  "$cli analyze $ten --method window --frame 2048 --hop 1024" \
  "$cli analyze $ten --method live"
cat "$corpus/speed.md"
