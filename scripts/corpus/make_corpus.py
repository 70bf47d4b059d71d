#!/usr/bin/env python3
"""Generates the pitch-tracking corpus: sounds whose true pitch is known from how they were
made, and sounds that have no pitch at all.

    make_corpus.py OUTDIR [--set dev|heldout|all]

Two sets, made by the same recipes from different sources:
  dev      fluidsynth with the TimGM6mb soundfont, sox vibrato tones, espeak-ng English
           voices, sox noises. The tracker's constants were chosen on this set.
  heldout  fluidsynth with the MuseScore General soundfont, other sox tones and vibratos,
           espeak-ng voices of other languages, other noises. Kept aside for an
           independent check.

Each set directory gets NAME.wav and a manifest.json:
  {"files": [{"name": ..., "group": ..., "kind": "pitched" | "unvoiced",
              "segments": [[t0, t1, midi0, midi1], ...]}]}
A pitched file's segments are the stretches where a single pitch sounds, the pitch going
linearly in (fractional) MIDI numbers from midi0 at t0 to midi1 at t1; everything outside
them is not scored. An unvoiced file has no pitch anywhere.

The output is deterministic: fixed note lists, sox in repeatable mode (-R), fixed texts.
"""

import argparse
import array
import json
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import wave

RATE = 44100
TIMGM = "/usr/share/sounds/sf2/TimGM6mb.sf2"
MUSESCORE = "/usr/share/sounds/sf3/MuseScore_General_Lite.sf3"


def espeak_data_dir():
    """espeak-ng names its data directory in its version line ("Data at: ...")."""
    out = subprocess.run(["espeak-ng", "--version"], capture_output=True, text=True).stdout
    return out.split("Data at:")[1].strip()

# General MIDI program, name, lowest and highest MIDI note played (E2 = 40 .. C6 = 84),
# kept inside each instrument's real range.
INSTRUMENTS = [
    (0, "Piano", 40, 84),
    (24, "Nylon guitar", 40, 76),
    (40, "Violin", 55, 84),
    (42, "Cello", 40, 69),
    (32, "Acoustic bass", 40, 60),
    (56, "Trumpet", 54, 82),
    (57, "Trombone", 40, 72),
    (71, "Clarinet", 50, 84),
    (73, "Flute", 60, 84),
    (68, "Oboe", 58, 84),
    (70, "Bassoon", 40, 72),
    (65, "Alto sax", 49, 80),
    (20, "Reed organ", 40, 84),
    (53, "Voice oohs", 48, 79),
]

NOTE_ON_S = 0.80   # each note sounds this long
NOTE_GAP_S = 0.30  # silence (and release) before the next note


def run(cmd, **kw):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)


def hz_to_midi(hz):
    return 69.0 + 12.0 * math.log2(hz / 440.0)


# ---------------------------------------------------------------------------------------
# Standard MIDI files


def varlen(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.append(0x80 | (n & 0x7F))
        n >>= 7
    return bytes(reversed(out))


def write_midi(path, program, notes):
    """notes: (start_s, end_s, midi, velocity). Type 0, 960 ticks per second."""
    division = 480  # ticks per quarter at 120 bpm (500000 us): 960 ticks per second
    events = []
    for start, end, note, vel in notes:
        events.append((round(start * 960), 1, bytes([0x90, note, vel])))
        events.append((round(end * 960), 0, bytes([0x80, note, 0])))
    events.sort(key=lambda e: (e[0], e[1]))
    track = bytearray()
    track += varlen(0) + bytes([0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20])  # tempo 500000
    track += varlen(0) + bytes([0xC0, program])
    now = 0
    for tick, _, data in events:
        track += varlen(tick - now) + data
        now = tick
    track += varlen(960) + bytes([0xFF, 0x2F, 0x00])
    with open(path, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, division))
        f.write(b"MTrk" + struct.pack(">I", len(track)) + track)


def fluidsynth_file(outdir, soundfont, program, name, low, high, tag):
    notes = []
    t = 0.25
    for i, m in enumerate(range(low, high + 1)):
        notes.append((t, t + NOTE_ON_S, m, 100 if i % 2 == 0 else 70))
        t += NOTE_ON_S + NOTE_GAP_S
    fname = f"{tag}-{name.lower().replace(' ', '-')}"
    with tempfile.TemporaryDirectory() as tmp:
        mid = os.path.join(tmp, "notes.mid")
        write_midi(mid, program, notes)
        raw = os.path.join(tmp, "raw.wav")
        run(["fluidsynth", "-ni", "-q", "-R", "0", "-C", "0", "-g", "0.6", "-r", str(RATE),
             "-O", "s16", "-F", raw, soundfont, mid])
        # Mono 16-bit: the soundfonts render in stereo with identical or panned channels.
        run(["sox", "-R", raw, "-b", "16", "-c", "1", os.path.join(outdir, fname + ".wav"),
             "remix", "-", "norm", "-3"])
    return {"name": fname + ".wav", "group": name, "kind": "pitched",
            "segments": [[s, e, m, m] for s, e, m, _ in notes]}


# ---------------------------------------------------------------------------------------
# sox tones with a sung vibrato


def vibrato_file(outdir, name, group, midi, wave_type, depth_cents, rate_hz, length_s,
                 formants):
    """A tone of one MIDI note whose pitch swings +-depth_cents at rate_hz (triangle, made by
    sox's bend effect), through vocal-tract-like formant peaks, with soft start and end."""
    hz = 440.0 * 2.0 ** ((midi - 69) / 12.0)
    quarter = 0.25 / rate_hz
    bends = [f"0,{depth_cents},{quarter:.5f}"]
    t = quarter
    sign = -1
    while t + 2 * quarter < length_s:
        bends.append(f"0,{sign * 2 * depth_cents},{2 * quarter:.5f}")
        t += 2 * quarter
        sign = -sign
    # shape of the bend: cents at the corners, linear in between
    corners = [(0.0, 0.0)]
    c = 0.0
    t = 0.0
    for i, b in enumerate(bends):
        _, cents, dur = b.split(",")
        t += float(dur)
        c += float(cents)
        corners.append((t, c))
    eq = []
    for f, gain in formants:
        eq += ["equalizer", str(f), "2q", str(gain)]
    path = os.path.join(outdir, name + ".wav")
    run(["sox", "-R", "-n", "-r", str(RATE), "-b", "16", path,
         "synth", f"{length_s}", wave_type, f"{hz:.6f}",
         "lowpass", "4000", *eq, "gain", "-n", "-12",
         "bend", "-f", "80", *bends,
         "fade", "q", "0.05", str(length_s), "0.1", "gain", "-n", "-3"])
    # Segments between corners, the sound's own start and end trimmed by the fades.
    segments = []
    for (t0, c0), (t1, c1) in zip(corners, corners[1:]):
        segments.append([t0, t1, midi + c0 / 100.0, midi + c1 / 100.0])
    if corners[-1][0] < length_s:
        segments.append([corners[-1][0], length_s, midi + corners[-1][1] / 100.0,
                         midi + corners[-1][1] / 100.0])
    trimmed = []
    for s in segments:
        a, b = max(s[0], 0.05), min(s[1], length_s - 0.1)
        if b <= a:
            continue
        def at(t, s=s):
            return s[2] + (s[3] - s[2]) * (t - s[0]) / (s[1] - s[0])
        trimmed.append([a, b, at(a), at(b)])
    return {"name": name + ".wav", "group": group, "kind": "pitched", "segments": trimmed}


# ---------------------------------------------------------------------------------------
# espeak-ng voices on a monotone


def read_mono16(path):
    with wave.open(path, "rb") as w:
        rate = w.getframerate()
        data = array.array("h", w.readframes(w.getnframes()))
        ch = w.getnchannels()
    if sys.byteorder != "little":
        data.byteswap()
    if ch > 1:
        data = array.array("h", data[::ch])
    return rate, data


def voiced_spans(path, below_peak_db=25.0, block_s=0.01, bridge_s=0.05):
    """Stretches of the file whose 10 ms RMS lies within below_peak_db of the loudest block;
    gaps shorter than bridge_s are bridged."""
    rate, x = read_mono16(path)
    n = max(1, int(block_s * rate))
    rms = []
    for i in range(0, len(x) - n + 1, n):
        s = 0
        for v in x[i:i + n]:
            s += v * v
        rms.append(math.sqrt(s / n))
    peak = max(rms) if rms else 0.0
    if peak <= 0.0:
        return []
    floor = peak * 10 ** (-below_peak_db / 20.0)
    spans = []
    for i, r in enumerate(rms):
        if r >= floor:
            t0, t1 = i * block_s, (i + 1) * block_s
            if spans and t0 - spans[-1][1] <= bridge_s:
                spans[-1][1] = t1
            else:
                spans.append([t0, t1])
    return spans


def espeak_file(outdir, data_dir, name, group, voice, variant_formants, pitch_hz, text):
    """espeak-ng speaking text at a constant pitch: a voice variant whose pitch base and range
    are equal has no intonation, no flutter and no roughness; espeak-ng takes a variant's
    base pitch p as p - 9 Hz."""
    variant = f"tn{name.replace('-', '')}"
    base = int(round(pitch_hz + 9))
    with open(os.path.join(data_dir, "espeak-ng-data", "voices", "!v", variant), "w") as f:
        f.write(f"name {variant}\n{variant_formants}\npitch {base} {base}\nflutter 0\nroughness 0\n")
    true_hz = base - 9
    path = os.path.join(outdir, name + ".wav")
    raw = path + ".raw.wav"
    run(["espeak-ng", f"--path={data_dir}", "-v", f"{voice}+{variant}", "-s", "120",
         "-w", raw, text])
    run(["sox", "-R", raw, "-b", "16", path, "norm", "-3"])
    os.remove(raw)
    m = hz_to_midi(true_hz)
    segments = [[a, b, m, m] for a, b in voiced_spans(path)]
    return {"name": name + ".wav", "group": group, "kind": "pitched", "segments": segments}


# ---------------------------------------------------------------------------------------
# sounds without a pitch


def noise_file(outdir, name, group, synth, effects, length_s=10.0, rate=RATE):
    path = os.path.join(outdir, name + ".wav")
    run(["sox", "-R", "-n", "-r", str(rate), "-b", "16", path, "synth", str(length_s),
         *synth, *effects])
    return {"name": name + ".wav", "group": group, "kind": "unvoiced", "segments": []}


def silence_file(outdir, name, length_s=10.0):
    path = os.path.join(outdir, name + ".wav")
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"\0\0" * int(length_s * RATE))
    return {"name": name + ".wav", "group": "silence", "kind": "unvoiced", "segments": []}


BREATH_DEV = ["highpass", "300", "lowpass", "5000", "equalizer", "700", "3q", "10",
              "equalizer", "1200", "3q", "8", "equalizer", "2600", "4q", "6",
              "tremolo", "0.4", "80"]
BREATH_HELDOUT = ["highpass", "200", "lowpass", "3500", "equalizer", "500", "4q", "12",
                  "equalizer", "1700", "5q", "9", "tremolo", "0.25", "90"]

MALE = "gender male"
FEMALE = "gender female\nformant 0 105 100 100\nformant 1 120 100 100\nformant 2 115 100 100"


def make_dev(outdir):
    files = []
    for program, name, low, high in INSTRUMENTS:
        files.append(fluidsynth_file(outdir, TIMGM, program, name, low, high, "timgm"))
    formants_a = [(700, 10), (1100, 8), (2600, 4)]
    formants_o = [(450, 10), (800, 8), (2800, 3)]
    for i, midi in enumerate(range(40, 85, 3)):
        files.append(vibrato_file(outdir, f"vibrato-{midi}", "sox vibrato", midi, "sawtooth",
                                  40 if i % 2 else 25, 5.5, 2.5,
                                  formants_a if i % 2 else formants_o))
    data_dir = tempfile.mkdtemp()
    try:
        shutil.copytree(espeak_data_dir(), os.path.join(data_dir, "espeak-ng-data"))
        texts = ["all alone I roam along a lonely lane",
                 "my mellow llama will remain in Rome",
                 "we are all in a warm yellow room",
                 "no one in our lane knew my name"]
        for i, hz in enumerate([82, 98, 110, 131, 147, 175, 196]):
            files.append(espeak_file(outdir, data_dir, f"espeak-m{hz}", "espeak-ng voice", "en",
                                     MALE, hz, texts[i % len(texts)]))
        for i, hz in enumerate([220, 262, 330, 392, 440, 523]):
            files.append(espeak_file(outdir, data_dir, f"espeak-f{hz}", "espeak-ng voice",
                                     "en", FEMALE, hz, texts[(i + 1) % len(texts)]))
    finally:
        shutil.rmtree(data_dir)
    files.append(silence_file(outdir, "silence"))
    for level in (-50, -20, -6):
        files.append(noise_file(outdir, f"white{-level}", "white noise", ["whitenoise"],
                                ["gain", "-n", str(level)]))
        files.append(noise_file(outdir, f"pink{-level}", "pink noise", ["pinknoise"],
                                ["gain", "-n", str(level)]))
    for level in (-30, -12):
        files.append(noise_file(outdir, f"breath{-level}", "breath noise", ["whitenoise"],
                                BREATH_DEV + ["gain", "-n", str(level)]))
    # Added after the held-out check found brown noise (rumble) voiced too often; the dev set
    # had no noise that dark.
    for level in (-40, -15):
        files.append(noise_file(outdir, f"brown{-level}", "brown noise", ["brownnoise"],
                                ["gain", "-n", str(level)], length_s=8.0))
    return files


def make_heldout(outdir):
    files = []
    for program, name, low, high in INSTRUMENTS:
        files.append(fluidsynth_file(outdir, MUSESCORE, program, name, low, high, "musescore"))
    formants_e = [(500, 9), (1800, 8), (2500, 5)]
    formants_u = [(320, 10), (900, 6), (2300, 3)]
    for i, midi in enumerate(range(41, 85, 4)):
        files.append(vibrato_file(outdir, f"vibrato-sq-{midi}", "sox vibrato",
                                  midi, "square" if i % 2 else "triangle",
                                  45 if i % 2 else 30, 6.2, 2.0,
                                  formants_e if i % 2 else formants_u))
    data_dir = tempfile.mkdtemp()
    try:
        shutil.copytree(espeak_data_dir(), os.path.join(data_dir, "espeak-ng-data"))
        texts = [("it", "la luna nera era in mano a Lino"),
                 ("es", "mi amor, la luna llena no miente"),
                 ("de", "wir waren allein im Wald am Meer")]
        for i, hz in enumerate([87, 123, 165, 208, 277, 370, 494]):
            lang, text = texts[i % len(texts)]
            files.append(espeak_file(outdir, data_dir, f"espeak-{lang}{hz}", "espeak-ng voice",
                                     lang, MALE if hz < 200 else FEMALE, hz, text))
    finally:
        shutil.rmtree(data_dir)
    for level in (-40, -10):
        files.append(noise_file(outdir, f"brown{-level}", "brown noise", ["brownnoise"],
                                ["gain", "-n", str(level)], rate=48000))
        files.append(noise_file(outdir, f"white48k{-level}", "white noise", ["whitenoise"],
                                ["gain", "-n", str(level)], rate=48000))
        files.append(noise_file(outdir, f"pink48k{-level}", "pink noise", ["pinknoise"],
                                ["gain", "-n", str(level)], rate=48000))
        files.append(noise_file(outdir, f"breath-h{-level}", "breath noise", ["pinknoise"],
                                BREATH_HELDOUT + ["gain", "-n", str(level)], rate=48000))
    return files


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("outdir")
    ap.add_argument("--set", choices=["dev", "heldout", "all"], default="all")
    args = ap.parse_args()
    for name, maker in (("dev", make_dev), ("heldout", make_heldout)):
        if args.set not in (name, "all"):
            continue
        outdir = os.path.join(args.outdir, name)
        os.makedirs(outdir, exist_ok=True)
        files = maker(outdir)
        with open(os.path.join(outdir, "manifest.json"), "w") as f:
            json.dump({"files": files}, f, indent=1)
        print(f"{outdir}: {len(files)} files")


if __name__ == "__main__":
    main()
