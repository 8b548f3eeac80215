#!/bin/sh
# Makes the Layer III test fixtures in tests/fixtures/layer3: short encoder-made streams that
# cover what the compliance streams leave out (mid/side stereo, channels with different block
# types, MPEG-2 and MPEG-2.5 rates in stereo), each with a reference decoding (16-bit little-
# endian PCM, channels interleaved). Needs sox, lame and mpg123.
set -eu
out=$(cd "$(dirname "$0")/.." && pwd)/tests/fixtures/layer3
# Streams with a VBR header frame: only the player's frame loop skips that frame.
tagged=$(cd "$(dirname "$0")/.." && pwd)/tests/fixtures/tagged
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out" "$tagged"

# Steady tones with a noise burst in the middle: the burst makes the encoder switch blocks.
signal() { # rate channels seconds file
    sox -n -r "$1" -c 1 -b 16 "$tmp/tone.wav" synth "$3" sine 330 sine 1250 vol 0.3
    sox -n -r "$1" -c 1 -b 16 "$tmp/burst.wav" synth "$3" whitenoise vol 0.5 trim 0 "$3" \
        fade t 0.001 0.04 0.03 pad "$(echo "$3 / 2" | bc -l)"
    sox -m "$tmp/tone.wav" "$tmp/burst.wav" "$tmp/left.wav" trim 0 "$3"
    if [ "$2" = 1 ]; then
        cp "$tmp/left.wav" "$4"
    else
        # The right channel shares most of the left one, so joint stereo picks mid/side.
        sox -n -r "$1" -c 1 -b 16 "$tmp/tone2.wav" synth "$3" sine 523 vol 0.08
        sox -m -v 0.8 "$tmp/left.wav" -v 1 "$tmp/tone2.wav" "$tmp/right.wav"
        sox -M "$tmp/left.wav" "$tmp/right.wav" "$4"
    fi
}

make() { # name rate channels seconds lame-options...
    name=$1 rate=$2 channels=$3 seconds=$4
    shift 4
    signal "$rate" "$channels" "$seconds" "$tmp/$name.wav"
    lame --quiet -t "$@" "$tmp/$name.wav" "$out/$name.mp3"
    mpg123 -q --no-gapless -s "$out/$name.mp3" > "$out/$name.pcm"
}

# As make, but the encoder writes its VBR header frame (which the player does not play).
make_tagged() { # name rate channels seconds lame-options...
    name=$1 rate=$2 channels=$3 seconds=$4
    shift 4
    signal "$rate" "$channels" "$seconds" "$tmp/$name.wav"
    lame --quiet "$@" "$tmp/$name.wav" "$tagged/$name.mp3"
    mpg123 -q --no-gapless -s "$tagged/$name.mp3" > "$tagged/$name.pcm"
}

make l3_44k_joint_128 44100 2 0.5 -m j -b 128
make l3_44k_stereo_blocks 44100 2 0.5 -m s -b 160 --nssafejoint
make l3_22k_joint_64 22050 2 0.8 -m j -b 64
make l3_16k_mono_32 16000 1 0.8 -m m -b 32
make l3_11k_stereo_32 11025 2 1.0 -m j -b 32
make l3_8k_mono_16 8000 1 1.0 -m m -b 16
make l3_8k_stereo_24 8000 2 1.0 -m j -b 24
make l3_11k_mono_16 11025 1 1.0 -m m -b 16
make l3_12k_mono_24 12000 1 1.0 -m m -b 24
make l3_12k_stereo_32 12000 2 1.0 -m s -b 32
make l3_44k_crc_128 44100 2 0.5 -m j -b 128 -p
make l3_44k_short_blocks 44100 2 0.5 -m s -b 160 --allshort
make l3_44k_nores_128 44100 2 0.5 -m j -b 128 --nores
make l3_44k_dual_192 44100 2 0.5 -m d -b 192
# VBR without a header frame: only counting the frames gives its length.
make l3_22k_vbr_v2 22050 1 4.0 -V 2
make l3_48k_mono_96 48000 1 0.5 -m m -b 96
make_tagged l3_44k_vbr_xing 44100 2 1.0 -m j -V 4
ls -l "$out"
