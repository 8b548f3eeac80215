#!/bin/sh
# The desktop player as a new user meets it, beside one other desktop player from Debian's
# packages, measured the same way in the same run: the time from start to the visible window
# (the X server maps it), the resident memory and the processor time while a 128 kbit/s MP3 file
# plays. Everything runs on a private X server (Xvfb), a private sound server (PulseAudio with a
# null sink, in real time) and a private session bus, in a scratch folder.
#
#   bench/desktop/desktop_bench.sh [BUILD_DIR] [PEER]
#
# BUILD_DIR (default: build) holds bin/plumtone4 and bin/window_start. PEER is audacious (the
# default) or qmmp, installed with apt-get. Needs xvfb, pulseaudio, pulseaudio-utils, dbus,
# playerctl, sox and lame. RUNS (default 11) start-up runs; PLAY_RUNS (default 3) windows of
# PLAY_SECONDS (default 30) of playing, one after the other after 5 s of settling, of which the
# median is given (the processor time of one window varies with the machine's load).
set -eu

build=$(cd "${1:-build}" && pwd)
peer=${2:-audacious}
runs=${RUNS:-11}
play_seconds=${PLAY_SECONDS:-30}
play_runs=${PLAY_RUNS:-3}

if [ -z "${PT4_BENCH_BUS:-}" ]; then
    PT4_BENCH_BUS=1 exec dbus-run-session -- "$0" "$build" "$peer"
fi

scratch=$(mktemp -d)
xvfb_pid=
pulse_pid=
cleanup() {
    for pid in $xvfb_pid $pulse_pid; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT INT TERM

mkdir -p "$scratch/home" "$scratch/config" "$scratch/cache" "$scratch/runtime" "$scratch/state"
chmod 700 "$scratch/runtime"
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_CACHE_HOME="$scratch/cache"
export XDG_RUNTIME_DIR="$scratch/runtime" PULSE_RUNTIME_PATH="$scratch/runtime" PULSE_STATE_PATH="$scratch/state"
export PULSE_SERVER="unix:$scratch/runtime/native"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

# The X server picks a free display number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$scratch/display" 2>"$scratch/xvfb.log" &
xvfb_pid=$!
while [ ! -s "$scratch/display" ]; do sleep 0.05; done
export DISPLAY=":$(cat "$scratch/display")"

pulseaudio --daemonize=no --system=false -n --exit-idle-time=-1 --disallow-exit --use-pid-file=false \
    --log-target=stderr --load="module-null-sink sink_name=bench" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$scratch/runtime/native" \
    2>"$scratch/pulse.log" &
pulse_pid=$!
until pactl info >/dev/null 2>&1; do sleep 0.05; done

tone_seconds=$((play_runs * play_seconds + 20)) # plays on through every window
sox -n -r 44100 -c 2 -b 16 "$scratch/tone.wav" synth "$tone_seconds" pinknoise synth "$tone_seconds" sine mix 440 vol 0.4
lame --quiet -m j -b 128 "$scratch/tone.wav" "$scratch/tone_128k.mp3"
file="$scratch/tone_128k.mp3"

stop() { # ends a process we started and waits until it is gone
    kill "$1" 2>/dev/null || true
    while kill -0 "$1" 2>/dev/null; do sleep 0.02; done
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

start_times() { # command...: the start-to-window time of each run, one per line
    "$@" >/dev/null 2>&1 & # a first start fills the caches and writes first-run settings
    first=$!
    sleep 2
    stop "$first"
    i=0
    while [ "$i" -lt "$runs" ]; do
        out=$("$build/bin/window_start" "$@" 2>/dev/null)
        pid=${out#* }
        sleep 0.5
        stop "$pid"
        echo "${out% *}"
        i=$((i + 1))
    done
}

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

playing_figures() { # pid: "rss_MiB cpu_percent", medians over the play windows
    pid=$1
    sleep 5
    if ! pactl list short sink-inputs | grep -q .; then
        echo "nothing plays" >&2
        return 1
    fi
    hz=$(getconf CLK_TCK)
    i=0
    while [ "$i" -lt "$play_runs" ]; do
        t0=$(ticks "$pid")
        sleep "$play_seconds"
        t1=$(ticks "$pid")
        echo "$(rss_kib "$pid") $((t1 - t0))"
        i=$((i + 1))
    done >"$scratch/windows"
    rss=$(cut -d' ' -f1 "$scratch/windows" | median)
    cpu=$(cut -d' ' -f2 "$scratch/windows" | median)
    awk -v r="$rss" -v d="$cpu" -v hz="$hz" -v s="$play_seconds" \
        'BEGIN { printf "%.1f %.2f\n", r / 1024, d / hz / s * 100 }'
}

case "$peer" in
    audacious) peer_start="audacious"; peer_play="audacious -H $file" ;;
    qmmp) peer_start="qmmp"; peer_play="qmmp $file" ;;
    *) echo "unknown peer $peer" >&2; exit 2 ;;
esac
command -v "$peer" >/dev/null || { echo "$peer is not installed (apt-get install $peer)" >&2; exit 2; }

ours_start=$(start_times "$build/bin/plumtone4" | median)
peer_start_ms=$(start_times $peer_start | median)

"$build/bin/plumtone4" "$file" >/dev/null 2>&1 &
ours=$!
until playerctl -p plumtone4 status >/dev/null 2>&1; do sleep 0.1; done
playerctl -p plumtone4 play
ours_play=$(playing_figures "$ours")
stop "$ours"

if [ "$peer" = audacious ]; then
    audacious "$file" >/dev/null 2>&1 &
else
    qmmp "$file" >/dev/null 2>&1 &
fi
theirs=$!
peer_play_figures=$(playing_figures "$theirs")
stop "$theirs"

printf '%-12s %18s %14s %22s\n' player "start to window ms" "resident MiB" "processor % of a core"
printf '%-12s %18s %14s %22s\n' plumtone4 "$ours_start" ${ours_play}
printf '%-12s %18s %14s %22s\n' "$peer" "$peer_start_ms" ${peer_play_figures}
echo "(medians of $runs starts; playing: $play_runs windows of ${play_seconds} s of a 128 kbit/s MP3 file after 5 s)"
