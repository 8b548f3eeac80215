#!/bin/sh
# Runs a command on a private desktop of its own: an X server (Xvfb), a sound server (PulseAudio
# with a null sink), a session bus and an accessibility bus (AT-SPI, with Qt's bridge switched
# on), with HOME and the XDG folders in a scratch folder that goes away afterwards. Handy for
# trying the window as a screen reader sees it, and used by the screen-reader test.
#
#   scripts/private-desktop.sh COMMAND [ARG...]
#
# Needs xvfb, pulseaudio, pulseaudio-utils, dbus and at-spi2-core. Exits with COMMAND's status.
set -eu

if [ -z "${PT4_PRIVATE_BUS:-}" ]; then
    PT4_PRIVATE_BUS=1 exec dbus-run-session -- "$0" "$@"
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
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

# The X server picks a free display number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$scratch/display" 2>"$scratch/xvfb.log" &
pids="$pids $!"
while [ ! -s "$scratch/display" ]; do sleep 0.05; done
export DISPLAY=":$(cat "$scratch/display")"

pulseaudio --daemonize=no --system=false -n --exit-idle-time=-1 --disallow-exit --use-pid-file=false \
    --log-target=stderr --load="module-null-sink sink_name=private" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$scratch/runtime/native" \
    2>"$scratch/pulse.log" &
pids="$pids $!"
until pactl info >/dev/null 2>&1; do sleep 0.05; done

# The accessibility bus; its registry starts on demand.
/usr/libexec/at-spi-bus-launcher --launch-immediately 2>"$scratch/a11y.log" &
pids="$pids $!"

status=0
"$@" || status=$?
exit "$status"
