#!/usr/bin/env python3
"""Decoding speed against Debian's mpg123 on four 120 s files made from one music-like source.

    bench/decode_vs_mpg123.py [--pt4 build/bin/pt4] [--runs 7] [--dir /tmp/pt4-bench] [--ffmpeg]

Makes the files once (ffmpeg synthesises the source; lame and twolame encode it): Layer III
128 kbit/s joint stereo, Layer III 320 kbit/s, Layer II 192 kbit/s, MPEG-2 Layer III 64 kbit/s at
22.05 kHz. Then, per file, alternates `pt4 decode --raw --no-gapless F -o /dev/null` with
`mpg123 -q --no-gapless -O /dev/null F` (and with --ffmpeg a raw decode by ffmpeg to /dev/null), so
that the load of the machine falls on both, and prints the medians of the whole-process processor
time (user + system) and pt4's ratio to each peer.
"""
import argparse
import os
import resource
import statistics
import subprocess
import sys

# (file name, title, encoder command after the source is known)
FILES = [
    ("l3_128k.mp3", "Layer III 128 kbit/s stereo", ["lame", "--quiet", "-m", "j", "-b", "128"]),
    ("l3_320k.mp3", "Layer III 320 kbit/s", ["lame", "--quiet", "-m", "j", "-b", "320"]),
    ("l2_192k.mp2", "Layer II 192 kbit/s", ["twolame", "--quiet", "-b", "192"]),
    ("l3_64k_22k.mp3", "MPEG-2 Layer III 64 kbit/s, 22.05 kHz",
     ["lame", "--quiet", "-m", "j", "-b", "64", "--resample", "22.05"]),
]

# Two minutes of chords that change every half second, each note with a few overtones and a
# decaying envelope, a bass line, and noise bursts on the beat; the two channels differ.
NOTE = "pow(2,floor(mod({k}*t*2+{o},7))/6)"
VOICE = ("({a})*exp(-3*mod(t,0.5))*(sin(2*PI*{f}*t)+0.5*sin(4*PI*{f}*t)+0.25*sin(6*PI*{f}*t)"
         "+0.12*sin(10*PI*{f}*t))")


def source_expression(channel):
    voices = []
    for i, (base, k, offset) in enumerate([(220, 1, 0), (277, 3, 2), (330, 5, 4), (55, 1, 3)]):
        freq = f"{base}*{NOTE.format(k=k, o=offset + channel)}"
        voices.append(VOICE.format(a=0.09 if i < 3 else 0.16, f=freq))
    noise = "0.05*exp(-25*mod(t,0.25))*(random(0)*2-1)"
    return "+".join(voices + [noise])


def make_files(folder):
    os.makedirs(folder, exist_ok=True)
    wav = os.path.join(folder, "source.wav")
    if not os.path.exists(wav):
        expr = "|".join(source_expression(c) for c in (0, 1))
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                        f"aevalsrc=exprs='{expr}':s=44100:d=120", "-c:a", "pcm_s16le", wav], check=True)
    for name, _, command in FILES:
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            subprocess.run(command + [wav, path + ".part"], check=True)
            os.replace(path + ".part", path)
    return [(os.path.join(folder, name), title) for name, title, _ in FILES]


def cpu_seconds(command):
    """Processor time (user + system) of the command's whole process."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    parser = argparse.ArgumentParser()
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--pt4", default=os.path.join(here, "..", "build", "bin", "pt4"))
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--dir", default="/tmp/pt4-bench")
    parser.add_argument("--ffmpeg", action="store_true", help="also time ffmpeg's decoder")
    parser.add_argument("--only", help="time only the files whose name contains this")
    args = parser.parse_args()

    files = make_files(args.dir)
    peers = {"mpg123": lambda f: ["mpg123", "-q", "--no-gapless", "-O", "/dev/null", f]}
    if args.ffmpeg:
        peers["ffmpeg"] = lambda f: ["ffmpeg", "-v", "error", "-threads", "1", "-i", f, "-f", "s16le",
                                     "-y", "/dev/null"]
    header = f"{'File':<40} {'pt4 s':>7}" + "".join(f" {p + ' s':>9} {'ratio':>6}" for p in peers)
    print(header)
    for path, title in files:
        if args.only and args.only not in os.path.basename(path):
            continue
        own = []
        theirs = {p: [] for p in peers}
        for _ in range(args.runs):
            own.append(cpu_seconds([args.pt4, "decode", "--raw", "--no-gapless", path, "-o", "/dev/null"]))
            for peer, command in peers.items():
                theirs[peer].append(cpu_seconds(command(path)))
        mine = statistics.median(own)
        line = f"{title:<40} {mine:7.3f}"
        for peer in peers:
            other = statistics.median(theirs[peer])
            line += f" {other:9.3f} {mine / other:6.2f}"
        print(line, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
