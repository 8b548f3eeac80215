#!/bin/sh
# desktop_window.py on a private desktop with a window manager (openbox), the program copied to a
# folder of its own so that its PT4.INI is written beside it. Exit 77 (skipped) only when a needed
# program is missing.
#   desktop_window.sh SOURCE_DIR PLUMTONE4
set -eu
for need in lame Xvfb pulseaudio pactl dbus-run-session /usr/libexec/at-spi-bus-launcher /usr/bin/python3 \
    openbox xdotool xwininfo; do
    if ! command -v "$need" >/dev/null 2>&1; then
        echo "SKIP: $need is not installed (scripts/install-deps.sh installs it)"
        exit 77
    fi
done
if ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
    echo "SKIP: python3-pyatspi is not installed (scripts/install-deps.sh installs it)"
    exit 77
fi
exec "$1/scripts/private-desktop.sh" sh -c 'mkdir "$HOME/bin" "$HOME/album"
    cp "$1" "$HOME/bin/plumtone4"
    # Ten minutes of silence each (8 kHz mono), in the order 2 before 10 only by natural order.
    head -c 9600000 /dev/zero | lame --quiet -r -s 8 --bitwidth 16 -m m -b 8 - "$HOME/album/2 first.mp3" 2>/dev/null
    cp "$HOME/album/2 first.mp3" "$HOME/album/10 second.mp3"
    openbox --sm-disable >"$HOME/openbox.log" 2>&1 & wm=$!
    status=0; /usr/bin/python3 "$2" "$HOME/bin/plumtone4" "$HOME/album" || status=$?
    kill $wm; exit $status' sh "$2" "$1/tests/app/e2e/desktop_window.py"
