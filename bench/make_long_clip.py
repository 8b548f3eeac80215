#!/usr/bin/env python3
"""Writes an MPEG audio file of the given length in seconds by repeating the demo clip's frames
(without its tags and information frame): bench/make_long_clip.py SECONDS OUT.mp3"""
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
data = open(os.path.join(here, "..", "demo", "demo.mp3"), "rb").read()
start = 10 + (data[6] << 21 | data[7] << 14 | data[8] << 7 | data[9])
end = len(data) - 128  # ID3v1
audio = data[start:end]

# Split into frames: MPEG-1 Layer III, 44.1 kHz, 128 kbit/s.
frames = []
at = 0
while at + 4 <= len(audio) and audio[at] == 0xFF:
    length = 417 + ((audio[at + 2] >> 1) & 1)
    frames.append(audio[at:at + length])
    at += length
frames = frames[1:]

seconds = float(sys.argv[1])
needed = int(seconds * 44100 / 1152) + 1
with open(sys.argv[2], "wb") as out:
    for i in range(needed):
        out.write(frames[i % len(frames)])
