#!/bin/sh
# The program on a private desktop, closed while a file plays and started again without a file:
# resume.py checks over the session bus that the file is back, paused at its place, and that
# Space goes on. Exit 77 (skipped) only when a needed program is missing.
#   resume.sh SOURCE_DIR PLUMTONE4
set -eu
for need in lame xdotool Xvfb pulseaudio pactl dbus-run-session /usr/libexec/at-spi-bus-launcher /usr/bin/python3; do
    if ! command -v "$need" >/dev/null 2>&1; then
        echo "SKIP: $need is not installed (scripts/install-deps.sh installs it)"
        exit 77
    fi
done
if ! /usr/bin/python3 -c 'import gi' 2>/dev/null; then
    echo "SKIP: python3-gi is not installed (scripts/install-deps.sh installs it)"
    exit 77
fi
# The program is copied into the private home so that its PT4.INI (beside it) is a new one.
exec "$1/scripts/private-desktop.sh" sh -c 'head -c 960000 /dev/zero |
        lame --quiet -r -s 8 --bitwidth 16 -m m -b 8 - "$HOME/minute.mp3"
    mkdir "$HOME/bin" && cp "$1" "$HOME/bin/plumtone4"
    /usr/bin/python3 "$2" "$HOME/bin/plumtone4" "$HOME/minute.mp3"' sh "$2" "$1/tests/app/e2e/resume.py"
