#!/bin/bash
# pt4 decodes more than 2^31 bytes from a pipe (36 hours of 128 kbit/s radio): silent 384 kbit/s
# Layer II frames of 1728 bytes, generated at full speed; every frame must come out as PCM.
set -euo pipefail
pt4=$1
frames=1250000
decoded=$(python3 -c '
import sys
frames, chunk = int(sys.argv[1]), bytes([0xFF, 0xFD, 0xE8, 0x00] + [0] * 1724) * 1000
for _ in range(frames // 1000):
    sys.stdout.buffer.write(chunk)
' $frames | "$pt4" decode --raw - -o - | wc -c)
echo "$((frames * 1728)) bytes in, $decoded bytes of PCM out"
[ "$decoded" -eq $((frames * 1152 * 4)) ]
