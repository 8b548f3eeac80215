#!/usr/bin/env python3
"""Makes demo/demo.mp3: eight seconds of synthesised music, encoded with Debian's lame, with an
ID3v2.3 tag (Japanese title and artist in Shift-JIS) in front and an ID3v1 tag at the end.

Needs: python3, lame (apt-get install lame)."""
import math
import os
import struct
import subprocess
import sys
import tempfile
import wave

RATE = 44100
SECONDS = 8
TITLE = "梅の調べ"
ARTIST = "プラムトーン楽団"
ALBUM = "デモ"


def note(freq, start, length, volume, samples, harmonics=(1.0, 0.5, 0.25)):
    first = int(start * RATE)
    count = int(length * RATE)
    for i in range(count):
        if first + i >= len(samples):
            break
        t = i / RATE
        envelope = min(1.0, t * 40) * math.exp(-3.0 * t / length)
        value = sum(a * math.sin(2 * math.pi * freq * (k + 1) * t) for k, a in enumerate(harmonics))
        samples[first + i] += volume * envelope * value


def render():
    left = [0.0] * (RATE * SECONDS)
    right = [0.0] * (RATE * SECONDS)
    # A pentatonic melody over a slow chord progression.
    scale = [293.66, 329.63, 392.00, 440.00, 523.25, 587.33, 659.25]
    melody = [0, 2, 3, 4, 3, 2, 1, 0, 2, 4, 5, 6, 5, 4, 3, 2]
    for i, step in enumerate(melody):
        note(scale[step], i * 0.5, 0.48, 0.25, left)
        note(scale[step] * 1.002, i * 0.5 + 0.01, 0.48, 0.18, right)
    chords = [(146.83, 220.00, 293.66), (130.81, 196.00, 261.63), (110.00, 164.81, 220.00),
              (146.83, 220.00, 293.66)]
    for i, chord in enumerate(chords):
        for j, freq in enumerate(chord):
            target = left if j % 2 == 0 else right
            note(freq, i * 2.0, 2.0, 0.12, target, harmonics=(1.0, 0.3))
            note(freq, i * 2.0, 2.0, 0.06, right if target is left else left, harmonics=(1.0,))
    peak = max(max(abs(v) for v in left), max(abs(v) for v in right))
    scale_to = 0.8 * 32767 / peak
    frames = bytearray()
    for l, r in zip(left, right):
        frames += struct.pack("<hh", int(l * scale_to), int(r * scale_to))
    return bytes(frames)


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def id3v2_frame(frame_id, payload):
    return frame_id.encode("ascii") + struct.pack(">I", len(payload)) + b"\0\0" + payload


def id3v23(title, artist, album):
    # Text encoding 0 with Shift-JIS bytes, as Japanese players of the time wrote them.
    body = (id3v2_frame("TIT2", b"\0" + title) + id3v2_frame("TPE1", b"\0" + artist)
            + id3v2_frame("TALB", b"\0" + album) + id3v2_frame("TYER", b"\x002026"))
    return b"ID3\x03\x00\x00" + syncsafe(len(body)) + body


def id3v1(title, artist, album):
    def field(value, size):
        return value[:size].ljust(size, b"\0")
    return (b"TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + b"2026"
            + field(b"Plumtone4 demo", 28) + b"\0" + bytes([1]) + bytes([24]))  # track 1, Soundtrack


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "demo", "demo.mp3")
    with tempfile.TemporaryDirectory() as tmp:
        wav_path = os.path.join(tmp, "demo.wav")
        mp3_path = os.path.join(tmp, "demo.mp3")
        with wave.open(wav_path, "wb") as w:
            w.setnchannels(2)
            w.setsampwidth(2)
            w.setframerate(RATE)
            w.writeframes(render())
        subprocess.run(["lame", "--quiet", "-b", "128", "-m", "j", "--noreplaygain", wav_path, mp3_path],
                       check=True)
        audio = open(mp3_path, "rb").read()
    sjis = lambda s: s.encode("cp932")
    data = id3v23(sjis(TITLE), sjis(ARTIST), sjis(ALBUM)) + audio + id3v1(sjis(TITLE), sjis(ARTIST), sjis(ALBUM))
    with open(out, "wb") as f:
        f.write(data)
    print(f"wrote {os.path.normpath(out)} ({len(data)} bytes)")


if __name__ == "__main__":
    sys.exit(main())
