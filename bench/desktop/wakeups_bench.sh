#!/bin/sh
# How often each player wakes the processor, and what it costs, while a 128 kbit/s MP3 file
# plays on a private sound server (PulseAudio with a null sink, in real time): the window
# playing, paused and stopped, `pt4 play`, and beside them `mpg123 -o pulse` and audacious,
# measured the same way in the same run.
#
# Wake-ups are the context switches of all the process's threads per second (voluntary and
# involuntary, summed over /proc/PID/task/*/status); processor time is the whole process's (user
# and system, /proc/PID/stat) as a percentage of one core; threads are counted at the end of a
# window. Each figure is the median of RUNS (default 3) windows of SECONDS (default 20) s, after
# SETTLE (default 5) s.
#
#   bench/desktop/wakeups_bench.sh [BUILD_DIR]
#
# BUILD_DIR (default: build) holds bin/plumtone4 and bin/pt4. Needs xvfb, pulseaudio,
# pulseaudio-utils, dbus, playerctl, ffmpeg, lame, mpg123 and audacious (scripts/install-deps.sh).
# Everything runs on a private X server, sound server and session bus, in a scratch folder.
set -eu

build=$(cd "${1:-build}" && pwd)
runs=${RUNS:-3}
seconds=${SECONDS_PER_RUN:-20}
settle=${SETTLE:-5}

if [ -z "${PT4_BENCH_BUS:-}" ]; then
    PT4_BENCH_BUS=1 exec dbus-run-session -- "$0" "$build"
fi

for tool in Xvfb pulseaudio pactl playerctl ffmpeg lame mpg123 audacious; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/install-deps.sh)" >&2; exit 2; }
done

scratch=$(mktemp -d)
xvfb_pid=
pulse_pid=
player_pid=
cleanup() {
    for pid in $player_pid $xvfb_pid $pulse_pid; do
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

# Long enough for every window of one program, and then some.
tone_seconds=$((settle + runs * seconds + 30))
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:duration=$tone_seconds:sample_rate=44100" \
    -f lavfi -i "anoisesrc=color=pink:duration=$tone_seconds:sample_rate=44100:amplitude=0.2" \
    -filter_complex "[0][1]amix=inputs=2,aformat=channel_layouts=stereo" -c:a pcm_s16le "$scratch/tone.wav"
lame --quiet -m j -b 128 "$scratch/tone.wav" "$scratch/tone_128k.mp3"
file="$scratch/tone_128k.mp3"
rm "$scratch/tone.wav"

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

switches() { # pid: context switches of all its threads so far
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^(voluntary|nonvoluntary)_ctxt_switches:/ { n += $2 } END { print n + 0 }'
}
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
threads() { awk '/^Threads:/ { print $2 }' "/proc/$1/status"; }

# pid label: one line of medians over the windows
measure() {
    pid=$1
    hz=$(getconf CLK_TCK)
    i=0
    while [ "$i" -lt "$runs" ]; do
        s0=$(switches "$pid")
        t0=$(ticks "$pid")
        sleep "$seconds"
        s1=$(switches "$pid")
        t1=$(ticks "$pid")
        echo "$(((s1 - s0))) $((t1 - t0)) $(threads "$pid")"
        i=$((i + 1))
    done >"$scratch/windows"
    w=$(cut -d' ' -f1 "$scratch/windows" | median)
    c=$(cut -d' ' -f2 "$scratch/windows" | median)
    n=$(cut -d' ' -f3 "$scratch/windows" | median)
    awk -v label="$2" -v w="$w" -v c="$c" -v n="$n" -v hz="$hz" -v s="$seconds" \
        'BEGIN { printf "%-24s %12.1f %10.3f %8d\n", label, w / s, c / hz / s * 100, n }'
}

playing() { # true once a stream of the sound server is running
    pactl list short sink-inputs | grep -q .
}

stop() { # ends a process we started and waits until it is gone
    kill "$1" 2>/dev/null || true
    while kill -0 "$1" 2>/dev/null; do sleep 0.02; done
}

printf '%-24s %12s %10s %8s\n' program "wake-ups/s" "CPU %" threads

# The window: playing, paused, stopped. Its first start writes first-run settings.
"$build/bin/plumtone4" "$file" >"$scratch/window.log" 2>&1 &
player_pid=$!
until playerctl -p plumtone4 status >/dev/null 2>&1; do sleep 0.1; done
playerctl -p plumtone4 play
sleep "$settle"
playing || { echo "the window plays nothing" >&2; exit 1; }
measure "$player_pid" "window, playing"
playerctl -p plumtone4 pause
sleep 2
measure "$player_pid" "window, paused"
playerctl -p plumtone4 stop
sleep 2
measure "$player_pid" "window, stopped"
stop "$player_pid"

# The terminal tool, without a terminal (as from a script).
"$build/bin/pt4" play "$file" </dev/null >/dev/null 2>&1 &
player_pid=$!
sleep "$settle"
playing || { echo "pt4 plays nothing" >&2; exit 1; }
measure "$player_pid" "pt4 play"
stop "$player_pid"

mpg123 -q -o pulse "$file" </dev/null >/dev/null 2>&1 &
player_pid=$!
sleep "$settle"
measure "$player_pid" "mpg123 -o pulse"
stop "$player_pid"

audacious -H "$file" >/dev/null 2>&1 &
player_pid=$!
sleep "$settle"
playing || { echo "audacious plays nothing" >&2; exit 1; }
measure "$player_pid" "audacious, playing"
stop "$player_pid"
player_pid=

echo "(medians of $runs windows of $seconds s after $settle s, a 128 kbit/s MP3 file, PulseAudio null sink)"
