#!/bin/sh
# Makes the decoding benchmark's fixed fixtures in bench/fixtures: ten seconds of pink noise under
# a tone, encoded with Debian's lame at 128 and 320 kbit/s (44.1 kHz joint stereo) and at
# 64 kbit/s (MPEG-2, 22.05 kHz). Needs sox and lame.
set -eu
out=$(cd "$(dirname "$0")" && pwd)/fixtures
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"
sox -n -r 44100 -c 2 -b 16 "$tmp/44k.wav" synth 10 pinknoise synth 10 sine mix 440 vol 0.4
sox -n -r 22050 -c 2 -b 16 "$tmp/22k.wav" synth 10 pinknoise synth 10 sine mix 440 vol 0.4
lame --quiet -t -m j -b 128 "$tmp/44k.wav" "$out/joint_128k_44k.mp3"
lame --quiet -t -m j -b 320 "$tmp/44k.wav" "$out/joint_320k_44k.mp3"
lame --quiet -t -m j -b 64 "$tmp/22k.wav" "$out/mpeg2_64k_22k.mp3"
ls -l "$out"
