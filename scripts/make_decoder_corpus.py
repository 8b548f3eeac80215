#!/usr/bin/env python3
"""Seeds fuzz/corpus/decoder/ with a few frames cut from each conformance vector.

Usage: make_decoder_corpus.py VECTORS_DIR CORPUS_DIR [FRAMES]
Each seed is: byte 0 = 0 (take the stream header from the data), byte 1 = 0 (default output),
then FRAMES whole frames from the start of the vector (and a run from its middle, so that the
reservoir is full).
"""
import os
import sys

BITRATES = {  # (id, layer bits) -> kbit/s by index
    (1, 3): [0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0],
    (1, 2): [0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0],
    (1, 1): [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0],
    (0, 3): [0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0],
    (0, 2): [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0],
    (0, 1): [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0],
}
RATE = {0: [441, 480, 320], 1: [882, 960, 640]}


def frame_length(data, pos):
    b1, b2 = data[pos + 1], data[pos + 2]
    if data[pos] != 0xFF or (b1 & 0xE0) != 0xE0:
        return 0
    ident, layer = (b1 >> 3) & 1, (b1 >> 1) & 3
    mpeg25 = (b1 & 0x10) == 0
    index, rate, padding = b2 >> 4, (b2 >> 2) & 3, (b2 >> 1) & 1
    if layer == 0 or index in (0, 15) or rate == 3:
        return 0
    k, r = BITRATES[(ident, layer)][index], RATE[ident][rate]
    if layer == 3:
        return 4 * (240 * k // r) + 4 * padding
    if layer == 1 and ident == 0 and not mpeg25:
        return 1440 * k // r + padding
    return 2880 * k // r + padding


def frames(data):
    pos = 0
    while pos + 4 <= len(data):
        n = frame_length(data, pos)
        if n <= 0 or pos + n > len(data):
            return
        yield data[pos:pos + n]
        pos += n


def main():
    vectors, corpus = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 4
    os.makedirs(corpus, exist_ok=True)
    for name in sorted(os.listdir(vectors)):
        if not name.endswith('.bit'):
            continue
        with open(os.path.join(vectors, name), 'rb') as f:
            all_frames = list(frames(f.read()))
        stem = name[:-4]
        runs = {'start': all_frames[:count], 'middle': all_frames[len(all_frames) // 2:][:count]}
        for label, run in runs.items():
            if run:
                with open(os.path.join(corpus, f'{stem}-{label}'), 'wb') as out:
                    out.write(bytes([0, 0]) + b''.join(run))
    print(f'seeded {corpus}')


if __name__ == '__main__':
    main()
