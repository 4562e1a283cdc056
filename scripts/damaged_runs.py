#!/usr/bin/env python3
"""Whole runs of caustica-batch on damaged inputs, category by category.

    scripts/damaged_runs.py BATCH_EXE [WORK_FOLDER]

Each case is one "reconstruct" run on the bundled sample with one thing
damaged: the intra-focal file (header cards, truncation, bytes, samples,
shape, gzip wrapping, tile compression), a test parameter, the preferences
or the command line. A case is handled when the run either succeeds with a
complete, finite result, or is refused with status 1 or 2 and one line
naming the damaged input, leaving no result; in both cases within 10 s and
a data segment of 200 MB. Prints the count per category and every
mishandled case; exits 1 when there is one.
"""
import gzip
import os
import random
import re
import resource
import shutil
import struct
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SAMPLES = os.path.join(ROOT, "resources", "samples")
INTRA = os.path.join(SAMPLES, "newtonian200_intra.fits")
EXTRA = os.path.join(SAMPLES, "newtonian200_extra.fits")
FINDINGS = os.path.join(ROOT, "tests", "data", "fuzz_regressions", "e2e")
BLOCK = 2880


def card(text):
    return text.ljust(80)[:80].encode("latin1")


def set_card(data, key, value):
    """The file with KEY's card replaced (or added before END in the first header)."""
    out = bytearray(data)
    for i in range(0, len(out), 80):
        k = out[i:i + 8].decode("latin1").strip()
        if k == key:
            out[i:i + 80] = card(f"{key:<8}= {value:>20}")
            return bytes(out)
        if k == "END":
            out[i:i + 80] = card(f"{key:<8}= {value:>20}")
            out[i + 80:i + 160] = card("END")
            return bytes(out)
    return bytes(out)


def header_end(data, start=0):
    for i in range(start, len(data), 80):
        if data[i:i + 8] == b"END     ":
            return (i // BLOCK + 1) * BLOCK
    return len(data)


def float_frame(values_at):
    """The sample as BITPIX -32, with some samples replaced."""
    data = open(INTRA, "rb").read()
    start = header_end(data)
    raw = struct.unpack(">65536h", data[start:start + 131072])
    samples = [v + 32768.0 for v in raw]
    for index, value in values_at.items():
        samples[index] = value
    head = b"".join(card(c) for c in ["SIMPLE  =                    T", "BITPIX  =                  -32",
                                       "NAXIS   =                    2", "NAXIS1  =                  256",
                                       "NAXIS2  =                  256", "END"])
    head = head.ljust(BLOCK, b" ")
    body = struct.pack(">65536f", *samples)
    return head + body.ljust((len(body) + BLOCK - 1) // BLOCK * BLOCK, b"\0")


def shaped_frame(width, height):
    head = b"".join(card(c) for c in ["SIMPLE  =                    T", "BITPIX  =                   16",
                                       "NAXIS   =                    2", f"NAXIS1  = {width:>20}",
                                       f"NAXIS2  = {height:>20}", "END"]).ljust(BLOCK, b" ")
    body = bytearray(2 * width * height)
    for r in range(height):
        for c in range(width):
            if (r - height / 2) ** 2 + (c - width / 2) ** 2 < (min(width, height) / 3) ** 2:
                body[2 * (r * width + c):2 * (r * width + c) + 2] = struct.pack(">h", 3000)
    return head + bytes(body).ljust((len(body) + BLOCK - 1) // BLOCK * BLOCK, b"\0")


def cases(work):
    """(category, name, arguments, named) for every case; files go to work."""
    rng = random.Random(355)
    intra = open(INTRA, "rb").read()
    start = header_end(intra)
    tile = set_card(open(os.path.join(FINDINGS, "ztile1-zero-sigfpe.fits"), "rb").read(), "ZTILE1", "256")
    tile_data = header_end(tile, BLOCK)

    def file_case(category, name, data, compress=False):
        path = os.path.join(work, name)
        with (gzip.open(path, "wb") if compress else open(path, "wb")) as f:
            f.write(data)
        return category, name, ["--intra", path, "--extra", EXTRA], name

    out = []
    nasty = ["BITPIX  =                    7", "BITPIX  =                   32", "BITPIX  =                  -64",
             "NAXIS   =                    1", "NAXIS   =                    0", "NAXIS   =                  999",
             "NAXIS1  =                   -4", "NAXIS1  =               100000", "NAXIS2  =           2147483647",
             "NAXIS   =                    3", "NAXIS3  =                  255", "BZERO   =                  nan",
             "BSCALE  =               1e-300", "BSCALE  =                1e308", "BSCALE  =                  0,5",
             "BZERO   =                1e300", "SIMPLE  =                    F", "END", "        ", "NAXIS1  =       1O",
             "NAXIS2  =                    3", "NAXIS1  =                  300", "BITPIX  =                    8",
             "NAXIS2  =                65536", "NAXIS1  =                65536"]
    for i, text in enumerate(nasty):  # 25: one header card replaced
        at = 80 * (1 + i % 5)
        data = intra[:at] + card(text) + intra[at + 80:]
        out.append(file_case("header card", f"card{i}.fits", data))
    for i in range(50):  # 50: cut anywhere
        out.append(file_case("truncated", f"cut{i}.fits", intra[:rng.randrange(len(intra))]))
    for i in range(60):  # 60: bytes of the header or data flipped
        data = bytearray(intra)
        for _ in range(1 + rng.randrange(8)):
            p = rng.randrange(start) if i % 2 else start + rng.randrange(len(intra) - start)
            data[p] ^= 1 << rng.randrange(8)
        out.append(file_case("bytes flipped", f"flip{i}.fits", bytes(data)))
    specials = [float("nan"), float("inf"), float("-inf"), 1e-40, 1e-300, 1e35, -1e38, 5e-45]
    for i in range(64):  # 64: samples no frame holds, one or several
        count = 1 + i % 5
        at = {rng.randrange(65536): specials[(i + k) % len(specials)] for k in range(count)}
        out.append(file_case("non-finite or absurd samples", f"sample{i}.fits", float_frame(at)))
    shapes = [(3, 3), (3, 9000), (5, 4000), (15, 15), (16, 200), (200, 16), (4000, 5), (1, 1), (2, 256),
              (256, 2), (20, 400), (400, 20), (3, 256), (256, 3), (12, 12)]
    for w, h in shapes:  # 15: frames that cannot hold a pupil
        out.append(file_case("frame shape", f"shape{w}x{h}.fits", shaped_frame(w, h)))
    for i in range(25):  # 25: gzip-compressed, damaged or with trailing data
        kind = i % 5
        data = intra
        if kind == 1:
            data = intra + os.urandom(rng.randrange(1, 200000))
        elif kind == 2:
            data = intra[:rng.randrange(len(intra))]
        elif kind == 3:
            data = set_card(intra, "NAXIS2", str(rng.choice([16384, 60000, 9000])))
        elif kind == 4:
            data = intra + bytes(2_000_000)
        out.append(file_case("gzip", f"gz{i}.fits.gz", data, compress=True))
        if kind == 0 and i == 0:
            path = os.path.join(work, "gzbroken.fits.gz")
            whole = gzip.compress(intra)
            open(path, "wb").write(whole[:len(whole) // 2] + os.urandom(64))
            out.append(("gzip", "gzbroken.fits.gz", ["--intra", path, "--extra", EXTRA], "gzbroken.fits.gz"))
    edits = [("ZTILE1", "0"), ("ZTILE1", "-1"), ("ZTILE1", "257"), ("ZTILE2", "0"), ("ZNAXIS1", "-5"),
             ("ZNAXIS1", "100000"), ("ZNAXIS2", "0"), ("ZNAXIS", "1"), ("ZNAXIS", "7"), ("ZBITPIX", "12"),
             ("ZCMPTYPE", "'HCOMPRESS_1'"), ("ZCMPTYPE", "'PLIO_1'"), ("ZCMPTYPE", "'BOGUS'"), ("NAXIS2", "255"),
             ("NAXIS2", "100000000"), ("NAXIS1", "16"), ("PCOUNT", "99999999"), ("PCOUNT", "10"),
             ("THEAP", "5"), ("ZVAL1", "7"), ("ZVAL2", "8"), ("TFORM1", "'1QB(265)'"), ("ZNAXIS1", "8192"),
             ("ZNAXIS2", "8192"), ("ZTILE1", "1")]
    for i, (key, value) in enumerate(edits):  # 25: compression keywords out of range
        data = bytearray(tile)
        pos = tile.find(key.ljust(8).encode() + b"=", BLOCK)
        if pos >= 0:
            data[pos:pos + 80] = card(f"{key:<8}= {value:>20}")
        out.append(file_case("tile keywords", f"tilekey{i}.fits", bytes(data)))
    for i in range(50):  # 50: tile descriptors and heap bytes damaged
        data = bytearray(tile)
        if i % 2:
            p = tile_data + 8 * rng.randrange(256) + rng.randrange(8)
        else:
            p = tile_data + 2048 + rng.randrange(len(tile) - tile_data - 2048)
        data[p] ^= 1 << rng.randrange(8)
        out.append(file_case("tile data", f"tiledata{i}.fits", bytes(data)))
    absurd = [["--angle", "1e308"], ["--angle", "-95"], ["--angle", "2", "--angle-unit", "rad"],
              ["--source", "artificial", "--distance", "1e-300"], ["--source", "artificial", "--distance", "1"],
              ["--source", "artificial", "--distance", "1e300", "--distance-unit", "km"],
              ["--defocus", "1e-300"], ["--defocus", "0.0001"], ["--defocus", "1e300"], ["--defocus", "-3"],
              ["--diameter", "1000000"], ["--focal", "99999999"], ["--pixel-size", "1e-9"],
              ["--pixel-size", "1e9"], ["--binning", "0", "--pixel-size", "5"], ["--fringes", "1e9"],
              ["--product-angle", "1e308"], ["--series", "-5"], ["--psf-size", "3"], ["--defocus", "inf"]]
    for i, extra in enumerate(absurd):  # 20: parameters outside physical ranges
        args = ["--intra", INTRA, "--extra", EXTRA] + extra
        named = {"--source": "--distance"}.get(extra[0], extra[0])
        out.append(("absurd parameter", f"param{i}", args, named))
    lambdas = ["LambdaRef=-555", "LambdaRef=1e300", "LambdaRef=0", "LambdaRef=0.001", "LambdaInterfero=-1",
               "LambdaInterfero=1e200", "LambdaR=-650", "LambdaV=1e9", "LambdaB=1e-300", "LambdaRef=nan",
               "LambdaRef=99999999999999999999999999999999999999999999999999999999999999999999",
               "NPolyZern=255\r\n[Warnings]\r\n" + "1e58\r\n" * 42, "LambdaRef=20001", "LambdaRef=99",
               "LambdaInterfero=0"]
    for i, line in enumerate(lambdas):  # 15: preferences with absurd wavelengths
        path = os.path.join(work, f"prefs{i}.txt")
        open(path, "w").write(line + "\r\n")
        out.append(("preferences", f"prefs{i}.txt", ["--intra", INTRA, "--extra", EXTRA, "--prefs", path,
                                                     "--products", "all"], f"prefs{i}.txt"))
    misuse = [["--defocus", "--output"], ["--intra", "--extra"], ["--prefs", "--products"], ["--angle", "--json"],
              ["--focal", "--quiet"]]
    for i, extra in enumerate(misuse):  # 5: an option where a value belongs
        out.append(("command line", f"cli{i}", ["--intra", INTRA, "--extra", EXTRA] + extra, extra[0]))
    return out


def limit_memory():
    resource.setrlimit(resource.RLIMIT_DATA, (200 << 20, 200 << 20))


def run(exe, work, case):
    category, name, args, named = case
    folder = os.path.join(work, "out")
    shutil.rmtree(folder, ignore_errors=True)
    full = [exe, "reconstruct"]
    given = set(a for a in args if a.startswith("--"))
    defaults = {"--diameter": "200", "--focal": "1200", "--defocus": "3.6"}
    if "--pixel-size" in given:
        defaults.pop("--defocus")
    for option, value in defaults.items():
        if option not in given:
            full += [option, value]
    full += args + ["--quiet", "--output", folder] if "--output" not in args else args
    try:
        p = subprocess.run(full, capture_output=True, text=True, timeout=10, preexec_fn=limit_memory)
    except subprocess.TimeoutExpired:
        return "ran past 10 s"
    err = p.stderr.strip()
    if p.returncode == 0:
        summary = os.path.join(folder, "summary.txt")
        if not os.path.exists(summary):
            return "success without a summary"
        text = open(summary).read()
        if re.search(r"\bnan\b|\binf\b", text, re.I) or "PTV 0.00," in text:
            return "success with an empty or non-finite result: " + text[:200]
        return None
    if p.returncode not in (1, 2):
        return f"status {p.returncode}: {err[-300:]}"
    if err.count("\n") != 0 or not err.startswith("caustica-batch: "):
        return "not one line: " + err[-300:]
    if named not in err:
        return f"refusal does not name {named}: {err}"
    if os.path.exists(folder) and os.listdir(folder):
        return "refused but left files"
    return None


def main():
    exe = os.path.abspath(sys.argv[1])
    work = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else "damaged-runs")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    counts, bad = {}, []
    all_cases = cases(work)
    for case in all_cases:
        problem = run(exe, work, case)
        total, wrong = counts.get(case[0], (0, 0))
        counts[case[0]] = (total + 1, wrong + (problem is not None))
        if problem:
            bad.append(f"{case[0]} / {case[1]}: {problem}")
    for category, (total, wrong) in counts.items():
        print(f"{category:<30} {total:4d} cases, {wrong} mishandled")
    print(f"{'all':<30} {len(all_cases):4d} cases, {len(bad)} mishandled")
    for line in bad:
        print("  " + line)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
