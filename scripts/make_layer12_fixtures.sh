#!/bin/sh
# Makes the Layer I and Layer II test fixtures in tests/fixtures/layer12/: short streams of every
# sampling rate, mode and allocation table, each with the PCM an independent decoder makes of it
# (raw 16-bit little-endian, channels interleaved). Needs twolame, ffmpeg, mpg123 and a C++ compiler.
# Layer II streams come from real encoders; Layer I streams are random valid frames from
# make_layer1_stream.cpp, since no Layer I encoder is packaged.
set -eu
cd "$(dirname "$0")/.."
out=tests/fixtures/layer12
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
rm -f "$out"/*.mp1 "$out"/*.mp2 "$out"/*.pcm

# Half a second of a chirp on the left and tones with noise on the right, and their mono mix.
source_wav() { # rate channels
    ffmpeg -v error -y -f lavfi \
        -i "aevalsrc=0.35*sin(2*PI*(150+($1/2-1000)*t)*t)|0.2*sin(2*PI*440*t)+0.15*sin(2*PI*3100*t)+0.1*(random(0)*2-1):s=$1:d=0.5" \
        -ac "$2" -c:a pcm_s16le "$work/src-$1-$2.wav"
    echo "$work/src-$1-$2.wav"
}

reference() { # stream
    mpg123 -q -e s16 -s "$1" > "${1%.*}.pcm"
}

# name rate kbit/s twolame-mode [extra twolame options]
twolame_fixture() {
    name=$1 rate=$2 kbps=$3 mode=$4
    shift 4
    channels=2
    [ "$mode" = m ] && channels=1
    twolame --quiet -m "$mode" -b "$kbps" "$@" "$(source_wav "$rate" "$channels")" "$out/$name.mp2"
    reference "$out/$name.mp2"
}

# name rate kbit/s channels
ffmpeg_fixture() {
    ffmpeg -v error -y -i "$(source_wav "$2" "$4")" -c:a mp2 -b:a "$3k" "$out/$1.mp2"
    reference "$out/$1.mp2"
}

# Layer II, MPEG-1: tables C and D at their lowest and highest rates, A and B at theirs, all modes.
twolame_fixture l2_44k_mono_32 44100 32 m
twolame_fixture l2_48k_mono_48 48000 48 m
twolame_fixture l2_32k_mono_32 32000 32 m
twolame_fixture l2_32k_stereo_96 32000 96 s
twolame_fixture l2_44k_stereo_64 44100 64 s
twolame_fixture l2_44k_mono_56 44100 56 m -d
twolame_fixture l2_44k_mono_80 44100 80 m
twolame_fixture l2_48k_joint_112 48000 112 j -p
twolame_fixture l2_44k_joint_160 44100 160 j -d
twolame_fixture l2_48k_stereo_384 48000 384 s
twolame_fixture l2_44k_dual_192 44100 192 d
twolame_fixture l2_44k_stereo_384 44100 384 s -d -p
twolame_fixture l2_32k_mono_192 32000 192 m
twolame_fixture l2_44k_stereo_vbr 44100 192 s -V 5 -B 320
ffmpeg_fixture l2_44k_stereo_192 44100 192 2
ffmpeg_fixture l2_48k_mono_96 48000 96 1
# Layer II, lower sampling frequencies: lowest and highest rate.
twolame_fixture l2_16k_mono_8 16000 8 m
twolame_fixture l2_22k_joint_160 22050 160 j -p
twolame_fixture l2_24k_dual_64 24000 64 d
ffmpeg_fixture l2_22k_stereo_96 22050 96 2

# Layer I: name id sample-rate-index bitrate-index mode mode-ext crc frames
c++ -std=c++20 -O2 -o "$work/make_layer1_stream" scripts/make_layer1_stream.cpp
layer1_fixture() {
    "$work/make_layer1_stream" "$out/$1.mp1" "$2" "$3" "$4" "$5" "$6" "$7" "$8" "$9"
    reference "$out/$1.mp1"
}
layer1_fixture l1_48k_mono_32 1 1 1 3 0 0 60 1
layer1_fixture l1_44k_stereo_448 1 0 14 0 0 1 56 2
layer1_fixture l1_32k_joint0_128 1 2 4 1 0 0 40 3
layer1_fixture l1_44k_joint1_160 1 0 5 1 1 1 56 4
layer1_fixture l1_48k_joint2_192 1 1 6 1 2 0 60 5
layer1_fixture l1_44k_joint3_256 1 0 8 1 3 0 56 6
layer1_fixture l1_32k_dual_384 1 2 12 2 0 1 40 7
layer1_fixture l1_16k_mono_32 0 2 1 3 0 0 20 8
layer1_fixture l1_22k_stereo_256 0 0 14 0 0 1 28 9
layer1_fixture l1_24k_joint1_128 0 1 8 1 1 0 30 10

# Seeds of the Layer I/II fuzz corpus: a configuration byte, then the first frames of a fixture.
corpus=fuzz/corpus/layer12_frames
mkdir -p "$corpus"
rm -f "$corpus"/*
seed() { # fixture config-byte bytes
    { printf "\\$(printf %03o "$2")"; head -c "$3" "$out/$1"; } > "$corpus/${1%.*}"
}
seed l1_32k_dual_384.mp1 25 576
seed l1_44k_joint1_160.mp1 4 348
seed l1_48k_mono_32.mp1 0 100
seed l2_16k_mono_8.mp2 0 216
seed l2_22k_joint_160.mp2 1 2088
seed l2_44k_joint_160.mp2 45 1044
seed l2_44k_stereo_64.mp2 18 416
seed l2_48k_mono_48.mp2 10 288

ls -l "$out" "$corpus"
