#!/usr/bin/env bash
# The whole tracker evaluation: makes the corpus (if it is not there: the generated sets and
# the real-recording sets), scores the precise method, its live form (the trace's frame, hop
# and look-ahead), the window's method, aubiopitch's yin and yinfft and Praat on the dev and
# held-out sets of both, and times them.
# Tables go to CORPUS_DIR/report.md.
#
#   scripts/corpus/run.sh [CORPUS_DIR] [TONAMIRA_CLI]
set -euo pipefail
cd "$(dirname "$0")/../.."
corpus=${1:-corpus-data}
cli=${2:-build/src/cli/tonamira-cli}
for set in dev heldout; do
  [ -f "$corpus/$set/manifest.json" ] || python3 scripts/corpus/make_corpus.py "$corpus" --set "$set"
done
for set in realdev realheldout; do
  [ -f "$corpus/$set/manifest.json" ] || python3 scripts/corpus/make_real_set.py "$corpus" --set "$set"
done
{
  for set in dev heldout realdev realheldout; do
    python3 scripts/corpus/score.py "$corpus/$set" --cli "$cli" \
      --methods precise,live,window,yin,yinfft,praat
  done
} | tee "$corpus/report.md"
bash scripts/corpus/speed.sh "$corpus" "$cli"
