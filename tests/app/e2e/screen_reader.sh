#!/bin/sh
# The window as a screen reader meets it: the program runs on a private X server, sound server,
# session bus and accessibility bus; screen_reader.py walks its controls over AT-SPI and presses
# the stop button there. Exit 77 (skipped) only when a needed program is not installed.
#
#   screen_reader.sh PLUMTONE4 MP3_FILE SCREEN_READER_PY
set -eu

player=$1
file=$2
check=$3

need() {
    if ! command -v "$1" >/dev/null 2>&1 && [ ! -x "$1" ]; then
        echo "SKIP: $1 is not installed ($2)"
        exit 77
    fi
}
need Xvfb xvfb
need pulseaudio pulseaudio
need pactl pulseaudio-utils
need dbus-run-session dbus
need /usr/libexec/at-spi-bus-launcher at-spi2-core
need /usr/bin/python3 python3
if ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
    echo "SKIP: python3-pyatspi is not installed"
    exit 77
fi

if [ -z "${PT4_E2E_BUS:-}" ]; then
    PT4_E2E_BUS=1 exec dbus-run-session -- "$0" "$@"
fi

scratch=$(mktemp -d)
pids=
cleanup() {
    for pid in $pids; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT INT TERM

mkdir -p "$scratch/home" "$scratch/config" "$scratch/runtime"
chmod 700 "$scratch/runtime"
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime"
export PULSE_RUNTIME_PATH="$scratch/runtime" PULSE_SERVER="unix:$scratch/runtime/native"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$scratch/display" 2>"$scratch/xvfb.log" &
pids="$pids $!"
while [ ! -s "$scratch/display" ]; do sleep 0.05; done
export DISPLAY=":$(cat "$scratch/display")"

pulseaudio --daemonize=no --system=false -n --exit-idle-time=-1 --disallow-exit --use-pid-file=false \
    --log-target=stderr --load="module-null-sink sink_name=e2e" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$scratch/runtime/native" \
    2>"$scratch/pulse.log" &
pids="$pids $!"
until pactl info >/dev/null 2>&1; do sleep 0.05; done

# The accessibility bus; its registry starts on demand.
/usr/libexec/at-spi-bus-launcher --launch-immediately 2>"$scratch/a11y.log" &
pids="$pids $!"

QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 "$player" "$file" 2>"$scratch/player.log" &
player_pid=$!
pids="$pids $player_pid"

status=0
/usr/bin/python3 "$check" || status=$?
if [ "$status" -ne 0 ]; then
    echo "--- player's messages"
    cat "$scratch/player.log"
fi
exit "$status"
