#!/usr/bin/env python3
"""Scores pitch trackers on a corpus made by make_corpus.py.

    score.py SETDIR --cli PATH [--methods precise,window,yin,yinfft,praat,live,live-hop]
             [--frame 2048] [--hop 1024]

For every file of SETDIR/manifest.json (make_corpus.py's sets or make_real_set.py's), runs
  precise  tonamira-cli analyze FILE --method precise --frame F --hop H
  window   tonamira-cli analyze FILE --method window --frame F --hop H
  yinfft   aubiopitch -i FILE -p yinfft -B F -H H (also called "aubio")
  yin      aubiopitch -i FILE -p yin -B F -H H
  praat    Praat's To Pitch (ac), time step H, over the tracker's default range 27.5..4186 Hz
  live     tonamira-cli analyze FILE --method live (the live trace's own frame and hop: the
           precise tracker's frame, a hop of 5 to 10 ms, 256 sample frames at 44100 Hz)
  live-hop tonamira-cli analyze FILE --method live --frame F --hop H (the live voicing on
           the other methods' frames)
and compares each frame with the truth:
  - a frame of a pitched file is scored when it lies wholly inside one stretch of known
    pitch; its true pitch is the mean over the frame of the (linear in cents) truth;
  - every frame of an unvoiced file is scored;
  - a frame of a pitched file that lies wholly inside one of its "unvoiced" stretches (speech,
    where Praat's track has no pitch) is scored as a frame without pitch, in the group
    "unvoiced_group".
For pitched frames it counts: within 50 cents of the truth; an octave error (within 50 cents
of one, two or three octaves above or below); any other pitch; no pitch reported (unvoiced).
For unvoiced files and stretches: the frames reported unvoiced (on speech, 100 minus that is
the false alarm rate; 100 minus the pitched frames' unvoiced share is the voicing recall).

aubiopitch prints, for its n-th hop, the time n * H / rate; its analysis buffer then holds
the F samples ending at (n + 1) * H, so its frame starts at that time minus (F - H) / rate.
"""

import argparse
import concurrent.futures
import json
import math
import os
import subprocess
import wave

TOLERANCE_CENTS = 50.0


def file_rate(path):
    with wave.open(path, "rb") as w:
        return w.getframerate()


def precise_frame_length(rate):
    """The live method's default frame: the shortest of 256 .. 2048 holding two periods of
    60 Hz (PreciseFrameLength)."""
    n = 256
    while n < 2048 and n < 2.0 * rate / 60.0:
        n *= 2
    return n


def frame_length(method, frame, rate):
    return precise_frame_length(rate) if method == "live" else frame


PRAAT_SCRIPT = """form Pitch track
  sentence In
  real Step
endform
Read from file: in$
To Pitch (ac): step, 27.5, 15, "no", 0.03, 0.45, 0.01, 0.35, 0.14, 4186
n = Get number of frames
writeInfo: ""
for i to n
  t = Get time from frame number: i
  f = Get value in frame: i, "Hertz"
  appendInfoLine: fixed$ (t, 5), " ", f
endfor
"""


def run_praat(path, frame, hop, rate):
    import tempfile
    with tempfile.NamedTemporaryFile("w", suffix=".praat", delete=False) as f:
        f.write(PRAAT_SCRIPT)
        script = f.name
    try:
        out = subprocess.run(["praat", "--run", script, os.path.abspath(path),
                              str(hop / rate)], check=True, capture_output=True,
                             text=True).stdout
    finally:
        os.unlink(script)
    rows = []
    for line in out.splitlines():
        parts = line.split()
        if len(parts) != 2:
            continue
        t = float(parts[0])
        hz = None if parts[1] == "--undefined--" else float(parts[1])
        rows.append((t - frame / (2.0 * rate), hz))
    return rows


def run_method(method, cli, path, frame, hop):
    """[(frame start in seconds, hz or None), ...]"""
    rate = file_rate(path)
    if method == "praat":
        return run_praat(path, frame, hop, rate)
    if method in ("aubio", "yinfft", "yin"):
        algorithm = "yin" if method == "yin" else "yinfft"
        out = subprocess.run(["aubiopitch", "-i", path, "-p", algorithm, "-B", str(frame),
                              "-H", str(hop)], check=True, capture_output=True, text=True).stdout
        rows = []
        for line in out.splitlines():
            parts = line.split()
            if len(parts) != 2:
                continue
            t, hz = float(parts[0]), float(parts[1])
            rows.append((t - (frame - hop) / rate, hz if hz > 0 else None))
        return rows
    if method == "live":
        args = ["--method", "live"]
    else:
        args = ["--method", "live" if method == "live-hop" else method,
                "--frame", str(frame), "--hop", str(hop)]
    out = subprocess.run([cli, "analyze", path] + args, check=True, capture_output=True,
                         text=True).stdout
    rows = []
    for line in out.splitlines()[1:]:
        cols = line.split(",")
        rows.append((float(cols[0]), float(cols[2]) if cols[2] else None))
    return rows


def spans_of(segments):
    """Contiguous runs of segments: [(t0, t1, [segments...])]."""
    spans = []
    for s in sorted(segments, key=lambda s: s[0]):
        if spans and abs(s[0] - spans[-1][1]) < 1e-6:
            spans[-1][1] = s[1]
            spans[-1][2].append(s)
        else:
            spans.append([s[0], s[1], [s]])
    return spans


def truth_midi(span, t0, t1, points=32):
    total = 0.0
    for i in range(points):
        t = t0 + (i + 0.5) * (t1 - t0) / points
        for s in span[2]:
            if s[0] - 1e-9 <= t <= s[1] + 1e-9:
                frac = 0.0 if s[1] == s[0] else (t - s[0]) / (s[1] - s[0])
                total += s[2] + (s[3] - s[2]) * frac
                break
    return total / points


def score_file(entry, setdir, method, cli, frame, hop):
    path = os.path.join(setdir, entry["name"])
    rate = file_rate(path)
    length = frame_length(method, frame, rate) / rate
    rows = run_method(method, cli, path, frame, hop)
    counts = {"frames": 0, "correct": 0, "octave": 0, "other": 0, "unvoiced": 0}
    if entry["kind"] == "unvoiced":
        for _, hz in rows:
            counts["frames"] += 1
            counts["unvoiced"] += hz is None
        return [(entry["group"], entry["kind"], counts)]
    spans = spans_of(entry["segments"])
    quiet = spans_of([[t0, t1, 0, 0] for t0, t1 in entry.get("unvoiced", [])])
    silent = {"frames": 0, "correct": 0, "octave": 0, "other": 0, "unvoiced": 0}
    for start, hz in rows:
        end = start + length
        span = next((s for s in spans if s[0] <= start + 1e-9 and end <= s[1] + 1e-9), None)
        if span is None:
            if any(q[0] <= start + 1e-9 and end <= q[1] + 1e-9 for q in quiet):
                silent["frames"] += 1
                silent["unvoiced"] += hz is None
            continue
        counts["frames"] += 1
        if hz is None:
            counts["unvoiced"] += 1
            continue
        error = 100.0 * (69.0 + 12.0 * math.log2(hz / 440.0) - truth_midi(span, start, end))
        if abs(error) <= TOLERANCE_CENTS:
            counts["correct"] += 1
        elif any(abs(abs(error) - 1200.0 * k) <= TOLERANCE_CENTS for k in (1, 2, 3)):
            counts["octave"] += 1
        else:
            counts["other"] += 1
    results = [(entry["group"], entry["kind"], counts)]
    if "unvoiced" in entry:
        results.append((entry["unvoiced_group"], "unvoiced", silent))
    return results


def pct(a, b):
    return f"{100.0 * a / b:.2f}" if b else "-"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("setdir")
    ap.add_argument("--cli", default="build/src/cli/tonamira-cli")
    ap.add_argument("--methods", default="precise,window,aubio")
    ap.add_argument("--frame", type=int, default=2048)
    ap.add_argument("--hop", type=int, default=1024)
    ap.add_argument("--jobs", type=int, default=2)
    args = ap.parse_args()
    manifest = json.load(open(os.path.join(args.setdir, "manifest.json")))
    for method in args.methods.split(","):
        groups = {}
        with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
            results = list(pool.map(lambda e: score_file(e, args.setdir, method, args.cli,
                                                         args.frame, args.hop),
                                    manifest["files"]))
        for result in results:
            for group, kind, counts in result:
                g = groups.setdefault((kind, group), {k: 0 for k in counts})
                for k, v in counts.items():
                    g[k] += v
        layout = ("the live trace's frame and hop" if method == "live"
                  else f"frame {args.frame}, hop {args.hop}")
        print(f"\n### {method} ({os.path.basename(os.path.normpath(args.setdir))} set, "
              f"{layout})\n")
        print("| group | frames | within 50 c % | octave err % | other err % | unvoiced % "
              "| within 50 c where voiced % |")
        print("|---|---:|---:|---:|---:|---:|---:|")
        total = {k: 0 for k in ("frames", "correct", "octave", "other", "unvoiced")}
        for (kind, group), c in groups.items():
            if kind != "pitched":
                continue
            for k in total:
                total[k] += c[k]
            print(f"| {group} | {c['frames']} | {pct(c['correct'], c['frames'])} | "
                  f"{pct(c['octave'], c['frames'])} | {pct(c['other'], c['frames'])} | "
                  f"{pct(c['unvoiced'], c['frames'])} | "
                  f"{pct(c['correct'], c['frames'] - c['unvoiced'])} |")
        c = total
        print(f"| **all pitched** | {c['frames']} | **{pct(c['correct'], c['frames'])}** | "
              f"**{pct(c['octave'], c['frames'])}** | {pct(c['other'], c['frames'])} | "
              f"{pct(c['unvoiced'], c['frames'])} | "
              f"{pct(c['correct'], c['frames'] - c['unvoiced'])} |")
        print("\n| no pitch | frames | reported unvoiced % |")
        print("|---|---:|---:|")
        utotal = [0, 0]
        for (kind, group), c in groups.items():
            if kind != "unvoiced":
                continue
            utotal[0] += c["frames"]
            utotal[1] += c["unvoiced"]
            print(f"| {group} | {c['frames']} | {pct(c['unvoiced'], c['frames'])} |")
        print(f"| **all without pitch** | {utotal[0]} | **{pct(utotal[1], utotal[0])}** |")


if __name__ == "__main__":
    main()
