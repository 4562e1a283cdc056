#!/usr/bin/env python3
"""Time, peak memory and coefficient error of caustica-batch on whole camera
frames: 1024 x 1024, 4096 x 2800 and 6000 x 4000 with donuts of 60 to 300 px,
both methods. Run it with two builds to compare them:

    bench/frames_table.py --batch OLD/caustica-batch --batch NEW/caustica-batch

Each frame is simulated once (a 250 mm f/5 with 30 % obstruction, sky with a
gradient, photon and read noise, hot pixels, cosmic rays, seeing) by the
last tool given (the one that knows camera frames).
"""
import argparse
import json
import os
import subprocess
import tempfile

TRUE = {5: 60.0, 8: 30.0, 11: 40.0}  # nm, RMS-normalised annular terms
CASES = [  # frame, donut diameter (px), defocus (mm), image side, where
    ((1024, 1024), 60, 1.5, 128, (600, 300)),
    ((4096, 2800), 160, 4.0, 256, (2900, 700)),
    ((6000, 4000), 300, 7.5, 448, (1200, 2900)),
]


def simulate(batch, folder, frame, defocus, side, at):
    base = os.path.join(folder, "f%dx%d" % frame)
    args = [batch, "simulate", "--diameter", "250", "--focal", "1250", "--obstruction", "0.3",
            "--annular", "--normalised", "--defocus", str(defocus), "--width", str(side), "--height",
            str(side), "--frame-width", str(frame[0]), "--frame-height", str(frame[1]),
            "--frame-column", str(at[0]), "--frame-row", str(at[1]), "--sky", "180", "--gradient-x",
            "0.01", "--photon-noise", "--read-noise", "8", "--level", "2e7", "--seeing", "1.5",
            "--hot-pixels", "300", "--cosmic-rays", "50", "--intra", base + "_intra.fits", "--extra",
            base + "_extra.fits"]
    for k, v in TRUE.items():
        args += ["--zernike", "%d=%g" % (k, v)]
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
    return base


def run(batch, base, defocus, method, out, timeout):
    args = ["/usr/bin/time", "-v", batch, "reconstruct", "--quiet", "--json", "--method", method,
            "--intra", base + "_intra.fits", "--extra", base + "_extra.fits", "--diameter", "250",
            "--focal", "1250", "--defocus", str(defocus), "--output", out]
    try:
        p = subprocess.run(args, capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return "> %d s" % timeout, "-", "-"
    seconds = rss = None
    for line in p.stderr.splitlines():
        line = line.strip()
        if line.startswith("Elapsed (wall clock) time"):
            t = line.split(": ", 1)[1].split(":")
            seconds = sum(float(x) * 60 ** i for i, x in enumerate(reversed(t)))
        if line.startswith("Maximum resident set size"):
            rss = int(line.split(": ")[1]) / 1024.0
    if p.returncode != 0:
        why = [l for l in p.stderr.splitlines() if l.startswith("caustica-batch")]
        return "%.1f s" % seconds, "%.0f MB" % rss, "refused: " + (why[0][16:] if why else "?")
    summary = json.loads(p.stdout)
    got = {c["term"]: c["rms_nm"] for c in summary["channels"][0]["zernike"]}
    error = sum((got.get(k, 0.0) - TRUE.get(k, 0.0)) ** 2 for k in (5, 6, 7, 8, 11)) ** 0.5
    return "%.1f s" % seconds, "%.0f MB" % rss, "%.1f nm" % error


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--batch", action="append", required=True)
    parser.add_argument("--timeout", type=int, default=600)
    a = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        print("| frame | donut | build | method | time | peak RSS | coefficient error (5-8, 11) |")
        print("|---|---|---|---|---|---|---|")
        for frame, donut, defocus, side, at in CASES:
            base = simulate(a.batch[-1], folder, frame, defocus, side, at)
            for i, batch in enumerate(a.batch):
                for method in ("classic", "accurate"):
                    out = os.path.join(folder, "out%d_%s" % (i, method))
                    t, m, e = run(batch, base, defocus, method, out, a.timeout)
                    print("| %d x %d | %d px | %s | %s | %s | %s | %s |" %
                          (frame[0], frame[1], donut, "before" if i == 0 and len(a.batch) > 1 else "after",
                           method, t, m, e), flush=True)


if __name__ == "__main__":
    main()
