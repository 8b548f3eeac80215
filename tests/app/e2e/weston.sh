#!/bin/sh
# Runs a window test under Weston's headless compositor on a private desktop (sound server and
# session bus included). Exit 77 (skipped) only when weston or Qt's Wayland platform is missing.
#   weston.sh SOURCE_DIR TEST
set -eu
if ! command -v weston >/dev/null 2>&1 || ! ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1; then
    echo "SKIP: weston and qt6-wayland are needed (scripts/install-deps.sh installs them)"
    exit 77
fi
exec "$1/scripts/private-desktop.sh" sh -c 'weston --backend=headless-backend.so --socket=pt4-wayland \
        --idle-time=0 2>"$HOME/weston.log" & compositor=$!
    while [ ! -S "$XDG_RUNTIME_DIR/pt4-wayland" ]; do sleep 0.05; done
    status=0; WAYLAND_DISPLAY=pt4-wayland QT_QPA_PLATFORM=wayland "$1" || status=$?
    kill $compositor; exit $status' sh "$2"
