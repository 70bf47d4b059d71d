#!/usr/bin/env python3
"""Cuts the excerpts of the real-recording dev set that the tracker's regression test reads:

    make_real_excerpts.py CORPUS_DIR OUT_DIR

CORPUS_DIR/realdev comes from make_real_set.py. Writes, 16-bit mono 44100 Hz FLAC:
  OUT_DIR/real-low.flac     the lowest notes: piano C1 (32.7 Hz), electric bass E1 (41.2 Hz),
                            contrabass F#1 (46.2 Hz), 1.5 s of each from its start;
  OUT_DIR/real-high.flac    the highest: piano C8 (4186 Hz), A7 (3520 Hz), F#7 (2960 Hz), each
                            to the end of its scored stretch, and flute C7 (2093 Hz), 1.5 s;
  OUT_DIR/real-speech.flac  two lines of recorded speech, one of each speaker;
and OUT_DIR/real-truth.csv (file,kind,start_s,end_s,midi_start,midi_end): a note's scored
stretch ("note"), Praat's voiced pieces ("voiced", the pitch going linearly between two
Praat frames) and its unvoiced pieces ("unvoiced", no pitch), in the excerpt's time.
"""

import json
import os
import subprocess
import sys
import tempfile

LOW = [("piano-C1.wav", 1.5), ("bass-E1.wav", 1.5), ("contrabass-Fs1.wav", 1.5)]
HIGH = [("piano-C8.wav", None), ("piano-A7.wav", None), ("piano-Fs7.wav", None),
        ("flute-C7.wav", 1.5)]
SPEECH = ["nl-let-m-divna.wav", "nl-bat-v-klid.wav"]
GAP_S = 0.2  # silence between the pieces


def cut(setdir, pieces, out, rows, name):
    """Joins the pieces (file, length or None for the scored stretch's end) with gaps."""
    manifest = {e["name"]: e for e in json.load(open(os.path.join(setdir, "manifest.json")))
                ["files"]}
    with tempfile.TemporaryDirectory() as tmp:
        parts, t = [], 0.0
        for i, (wav, length) in enumerate(pieces):
            entry = manifest[wav]
            if length:
                end = length
            elif "unvoiced" in entry:  # speech: the whole line, with the pauses around it
                end = float(subprocess.run(["soxi", "-D", os.path.join(setdir, wav)],
                                           check=True, capture_output=True, text=True).stdout)
            else:
                end = entry["segments"][-1][1] + 0.05
            part = os.path.join(tmp, f"{i}.wav")
            subprocess.run(["sox", os.path.join(setdir, wav), part, "trim", "0", f"{end:.3f}",
                            "pad", "0", str(GAP_S)], check=True)
            for s in entry["segments"]:
                if s[0] < end:
                    kind = "voiced" if "unvoiced" in entry else "note"
                    rows.append((name, kind, t + s[0], t + min(s[1], end), s[2], s[3]))
            for u in entry.get("unvoiced", []):
                if u[0] < end:
                    rows.append((name, "unvoiced", t + u[0], t + min(u[1], end), 0, 0))
            parts.append(part)
            t += end + GAP_S
        subprocess.run(["sox"] + parts + ["-b", "16", out], check=True)


def main():
    corpus, outdir = sys.argv[1], sys.argv[2]
    setdir = os.path.join(corpus, "realdev")
    rows = []
    cut(setdir, LOW, os.path.join(outdir, "real-low.flac"), rows, "real-low.flac")
    cut(setdir, HIGH, os.path.join(outdir, "real-high.flac"), rows, "real-high.flac")
    cut(setdir, [(s, None) for s in SPEECH], os.path.join(outdir, "real-speech.flac"), rows,
        "real-speech.flac")
    with open(os.path.join(outdir, "real-truth.csv"), "w") as f:
        f.write("file,kind,start_s,end_s,midi_start,midi_end\n")
        for r in rows:
            f.write(f"{r[0]},{r[1]},{r[2]:.5f},{r[3]:.5f},{r[4]:.4f},{r[5]:.4f}\n")


if __name__ == "__main__":
    main()
