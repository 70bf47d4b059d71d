#!/usr/bin/env python3
"""Scores pitch trackers on a corpus made by make_corpus.py.

    score.py SETDIR --cli PATH [--methods precise,window,aubio,live,live-hop] [--frame 2048]
             [--hop 1024]

For every file of SETDIR/manifest.json, runs
  precise  tonamira-cli analyze FILE --method precise --frame F --hop H
  window   tonamira-cli analyze FILE --method window --frame F --hop H
  aubio    aubiopitch -i FILE -p yinfft -B F -H H
  live     tonamira-cli analyze FILE --method live (the live trace's own frame and hop: the
           precise tracker's frame, a hop of 5 to 10 ms, 256 sample frames at 44100 Hz)
  live-hop tonamira-cli analyze FILE --method live --frame F --hop H (the live voicing on
           the other methods' frames)
and compares each frame with the truth:
  - a frame of a pitched file is scored when it lies wholly inside one stretch of known
    pitch; its true pitch is the mean over the frame of the (linear in cents) truth;
  - every frame of an unvoiced file is scored.
For pitched frames it counts: within 50 cents of the truth; an octave error (within 50 cents
of one, two or three octaves above or below); any other pitch; no pitch reported (unvoiced).
For unvoiced files: the frames reported unvoiced.

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


def run_method(method, cli, path, frame, hop):
    """[(frame start in seconds, hz or None), ...]"""
    rate = file_rate(path)
    if method == "aubio":
        out = subprocess.run(["aubiopitch", "-i", path, "-p", "yinfft", "-B", str(frame),
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
        return entry["group"], entry["kind"], counts
    spans = spans_of(entry["segments"])
    for start, hz in rows:
        end = start + length
        span = next((s for s in spans if s[0] <= start + 1e-9 and end <= s[1] + 1e-9), None)
        if span is None:
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
    return entry["group"], entry["kind"], counts


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
        for group, kind, counts in results:
            g = groups.setdefault((kind, group), {k: 0 for k in counts})
            for k, v in counts.items():
                g[k] += v
        layout = ("the live trace's frame and hop" if method == "live"
                  else f"frame {args.frame}, hop {args.hop}")
        print(f"\n### {method} ({os.path.basename(os.path.normpath(args.setdir))} set, "
              f"{layout})\n")
        print("| group | frames | within 50 c % | octave err % | other err % | unvoiced % |")
        print("|---|---:|---:|---:|---:|---:|")
        total = {k: 0 for k in ("frames", "correct", "octave", "other", "unvoiced")}
        for (kind, group), c in groups.items():
            if kind != "pitched":
                continue
            for k in total:
                total[k] += c[k]
            print(f"| {group} | {c['frames']} | {pct(c['correct'], c['frames'])} | "
                  f"{pct(c['octave'], c['frames'])} | {pct(c['other'], c['frames'])} | "
                  f"{pct(c['unvoiced'], c['frames'])} |")
        c = total
        print(f"| **all pitched** | {c['frames']} | **{pct(c['correct'], c['frames'])}** | "
              f"**{pct(c['octave'], c['frames'])}** | {pct(c['other'], c['frames'])} | "
              f"{pct(c['unvoiced'], c['frames'])} |")
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
