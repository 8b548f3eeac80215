#!/bin/sh
# The program started with a file on a private desktop; screen_reader.py reads and presses it
# over AT-SPI. Exit 77 (skipped) only when a needed program is missing.
#   screen_reader.sh SOURCE_DIR PLUMTONE4
set -eu
for need in lame Xvfb pulseaudio pactl dbus-run-session /usr/libexec/at-spi-bus-launcher /usr/bin/python3; do
    if ! command -v "$need" >/dev/null 2>&1; then
        echo "SKIP: $need is not installed (scripts/install-deps.sh installs it)"
        exit 77
    fi
done
if ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
    echo "SKIP: python3-pyatspi is not installed (scripts/install-deps.sh installs it)"
    exit 77
fi
# Ten minutes of silence (8 kHz mono), long enough that only the press can stop it.
exec "$1/scripts/private-desktop.sh" sh -c 'head -c 9600000 /dev/zero |
        lame --quiet -r -s 8 --bitwidth 16 -m m -b 8 --tt "Quiet Test" --ta Nobody - "$HOME/long.mp3"
    "$1" "$HOME/long.mp3" 2>"$HOME/player.log" & player=$!
    status=0; /usr/bin/python3 "$2" || { status=$?; cat "$HOME/player.log"; }
    kill $player; exit $status' sh "$2" "$1/tests/app/e2e/screen_reader.py"
