#!/usr/bin/env python3
"""Cuts the small excerpts of the dev corpus that the tracker's regression test reads:

    make_test_excerpts.py CORPUS_DIR OUT_DIR

Writes OUT_DIR/notes.flac (single notes of several instruments, a vibrato tone and a voice,
joined) and OUT_DIR/noise.flac (silence, white, pink, brown and breath noise, joined), both
16-bit mono 44100 Hz, and OUT_DIR/truth.csv with the stretches of known pitch in notes.flac
(stretch,kind,start_s,end_s,midi_start,midi_end: a stretch is cut into pieces along which
the pitch goes linearly; kind is "plucked" for the bass note, "steady" otherwise). The corpus comes from make_corpus.py; the excerpts are committed under
tests/data/tracker so the test needs neither fluidsynth nor espeak-ng.
"""

import json
import os
import subprocess
import sys
import tempfile

# (file, start of the excerpt, length): each note excerpt runs from 0.1 s before its note-on
# to its note-off, so its first frames straddle the onset as in a real recording.
# The plucked bass is kept apart in the truth ("plucked"): its first frames after the pluck
# have no steady period, and its floor is lower (see the regression test).
NOTES = [
    ("timgm-acoustic-bass.wav", 40),   # E2, a plucked attack: the hardest onset of the corpus
    ("timgm-piano.wav", 40),           # E2
    ("timgm-oboe.wav", 74),            # D5, a weak fundamental
    ("timgm-nylon-guitar.wav", 64),    # E4
    ("timgm-violin.wav", 72),          # C5
    ("timgm-bassoon.wav", 43),         # G2
    ("timgm-trumpet.wav", 70),         # A#4
    ("timgm-flute.wav", 84),           # C6
]
OTHER = [("vibrato-61.wav", 0.0, 1.2), ("espeak-f262.wav", 0.0, 1.2)]
NOISE = [("silence.wav", 0.0, 0.3), ("white20.wav", 1.0, 0.4), ("pink20.wav", 1.0, 0.4),
         ("brown15.wav", 1.0, 0.4), ("breath12.wav", 1.0, 0.4), ("breath30.wav", 3.0, 0.4)]
LEAD_S = 0.1


def main():
    corpus, out = sys.argv[1], sys.argv[2]
    dev = os.path.join(corpus, "dev")
    manifest = {f["name"]: f for f in json.load(open(os.path.join(dev, "manifest.json")))["files"]}
    os.makedirs(out, exist_ok=True)
    truth = []
    with tempfile.TemporaryDirectory() as tmp:
        parts = []
        at = 0.0
        for name, midi in NOTES:
            seg = next(s for s in manifest[name]["segments"] if s[2] == midi)
            start, length = seg[0] - LEAD_S, seg[1] - seg[0] + LEAD_S
            part = os.path.join(tmp, f"n{len(parts)}.wav")
            subprocess.run(["sox", "-R", os.path.join(dev, name), part, "trim", f"{start:.4f}",
                            f"{length:.4f}"], check=True)
            kind = "plucked" if "bass" in name and "bassoon" not in name else "steady"
            truth.append((len(parts), kind, at + LEAD_S, at + length, midi, midi))
            parts.append(part)
            at += length
        for name, start, length in OTHER:
            part = os.path.join(tmp, f"n{len(parts)}.wav")
            # The voice is made at 22050 Hz; the joined file is 44100 Hz throughout.
            subprocess.run(["sox", "-R", os.path.join(dev, name), part, "trim", str(start), str(length),
                            "rate", "-v", "44100"], check=True)
            for s in manifest[name]["segments"]:
                a, b = max(s[0], start), min(s[1], start + length)
                if b > a:
                    f = lambda t, s=s: s[2] + (s[3] - s[2]) * (t - s[0]) / (s[1] - s[0])
                    truth.append((len(parts), "steady", at + a - start, at + b - start, f(a), f(b)))
            parts.append(part)
            at += length
        subprocess.run(["sox", "-R", *parts, "-b", "16", os.path.join(out, "notes.flac")], check=True)
        noise_parts = []
        for name, start, length in NOISE:
            part = os.path.join(tmp, f"z{len(noise_parts)}.wav")
            subprocess.run(["sox", "-R", os.path.join(dev, name), part, "trim", str(start), str(length)],
                           check=True)
            noise_parts.append(part)
        subprocess.run(["sox", "-R", *noise_parts, "-b", "16", os.path.join(out, "noise.flac")],
                       check=True)
    with open(os.path.join(out, "truth.csv"), "w") as f:
        f.write("stretch,kind,start_s,end_s,midi_start,midi_end\n")
        for stretch, kind, a, b, m0, m1 in truth:
            f.write(f"{stretch},{kind},{a:.5f},{b:.5f},{m0:.4f},{m1:.4f}\n")


if __name__ == "__main__":
    main()
