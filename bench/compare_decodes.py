#!/usr/bin/env python3
"""Compares the output of two builds of pt4 on a corpus, in every output format.

    bench/compare_decodes.py OLD_PT4 NEW_PT4 [--vectors DIR] [--bench-dir /tmp/pt4-bench]

The corpus: the benchmark's four files (if bench/decode_vs_mpg123.py made them), every coded
file in tests/fixtures and bench/fixtures, demo/demo.mp3 and the conformance vectors (*.bit).
Each file is decoded by both builds as raw PCM in nine formats; the script reports the pairs
that differ, with the largest sample difference. For each vector it also prints the largest
difference from the reference decoding (*.pcm) and the PSNR of both builds' default output.
"""
import argparse
import glob
import math
import os
import struct
import subprocess
import sys
import tempfile

FORMATS = [[], ["--8bit"], ["--mix"], ["--left"], ["--right"], ["--half"], ["--quarter"],
           ["--8bit", "--mix", "--half"], ["--no-gapless"]]


def decode(pt4, path, options, out):
    result = subprocess.run([pt4, "decode", "--raw"] + options + [path, "-o", out],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return result.returncode


def samples(path, eight_bit=False):
    data = open(path, "rb").read()
    if eight_bit:
        return list(data)
    return list(struct.unpack(f"<{len(data) // 2}h", data[: len(data) // 2 * 2]))


def largest_difference(a, b):
    return max((abs(x - y) for x, y in zip(a, b)), default=0)


def psnr(decoded, reference):
    n = min(len(decoded), len(reference))
    if n == 0:
        return float("nan"), 0
    squares = sum((decoded[i] - reference[i]) ** 2 for i in range(n))
    worst = max(abs(decoded[i] - reference[i]) for i in range(n))
    if squares == 0:
        return float("inf"), worst
    return 10 * math.log10(32767.0 ** 2 / (squares / n)), worst


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(here)
    parser = argparse.ArgumentParser()
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--vectors", default=os.path.join(root, "tests", "vectors"))
    parser.add_argument("--bench-dir", default="/tmp/pt4-bench")
    args = parser.parse_args()

    corpus = sorted(glob.glob(os.path.join(args.bench_dir, "*.mp[23]")))
    for pattern in ("tests/fixtures/**/*.mp[123]", "bench/fixtures/*.mp3", "demo/demo.mp3"):
        corpus += sorted(glob.glob(os.path.join(root, pattern), recursive=True))
    vectors = sorted(glob.glob(os.path.join(args.vectors, "*.bit")))
    corpus += vectors

    same = differing = 0
    with tempfile.TemporaryDirectory() as scratch:
        old_out = os.path.join(scratch, "old.pcm")
        new_out = os.path.join(scratch, "new.pcm")
        for path in corpus:
            for options in FORMATS:
                old_rc = decode(args.old, path, options, old_out)
                new_rc = decode(args.new, path, options, new_out)
                if old_rc == new_rc and (old_rc != 0 or open(old_out, "rb").read() == open(new_out, "rb").read()):
                    same += 1
                    continue
                differing += 1
                detail = f"exit {old_rc} / {new_rc}"
                if old_rc == 0 and new_rc == 0:
                    eight = "--8bit" in options
                    a, b = samples(old_out, eight), samples(new_out, eight)
                    detail = f"lengths {len(a)} / {len(b)}, largest difference {largest_difference(a, b)}"
                print(f"DIFFERS {os.path.relpath(path, root)} {' '.join(options) or '(default)'}: {detail}")
        print(f"{len(corpus)} files x {len(FORMATS)} formats: {same} identical, {differing} differ")

        print(f"{'vector':<16} {'old dB':>8} {'old max':>8} {'new dB':>8} {'new max':>8}")
        for path in vectors:
            reference = samples(path[:-4] + ".pcm")
            row = f"{os.path.basename(path)[:-4]:<16}"
            for pt4 in (args.old, args.new):
                decode(pt4, path, [], old_out)
                db, worst = psnr(samples(old_out), reference)
                row += f" {db:8.2f} {worst:8d}"
            print(row)
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
