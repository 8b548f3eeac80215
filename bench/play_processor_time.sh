#!/bin/bash
# Processor time of pt4 play, whole process (every thread, counted exactly by perf's task-clock),
# over 30 s of a list of six copies of the demo clip (so that files follow each other without a
# gap several times) through a private pulseaudio with a null sink; three runs of each build,
# taken in turn, and their median.
# usage: bench/play_processor_time.sh BUILD_DIR...   (needs pulseaudio and linux-perf)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
pids=()
cleanup()
{
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT

HOME=$tmp XDG_RUNTIME_DIR=$tmp pulseaudio --daemonize=no --system=false -n --exit-idle-time=-1 \
    --use-pid-file=false --log-target=stderr \
    "--load=module-null-sink sink_name=bench format=s16le rate=44100 channels=2" \
    "--load=module-native-protocol-unix auth-anonymous=1 socket=$tmp/native" 2> "$tmp/pulse.log" &
pids+=($!)
for _ in $(seq 100); do [ -S "$tmp/native" ] && break; sleep 0.1; done
files=()
for i in 1 2 3 4 5 6; do
    cp "$root/demo/demo.mp3" "$tmp/clip$i.mp3"
    files+=("$tmp/clip$i.mp3")
done

declare -A runs
for run in 1 2 3; do
    for build in "$@"; do
        env HOME="$tmp" PULSE_SERVER="unix:$tmp/native" perf stat -x, -e task-clock -o "$tmp/stat" \
            timeout -s INT 30 "$build/bin/pt4" play "${files[@]}" < /dev/null > /dev/null 2>&1 || true
        ms=$(grep task-clock "$tmp/stat" | cut -d, -f1)
        echo "$build, run $run: $ms ms"
        runs[$build]+="$ms "
    done
done
for build in "$@"; do
    echo "$build, median: $(echo ${runs[$build]} | tr ' ' '\n' | sort -g | sed -n 2p) ms"
done
