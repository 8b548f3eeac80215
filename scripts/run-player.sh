#!/bin/sh
# Starts the desktop player from the build tree (build/ by default, or the folder given in
# PT4_BUILD_DIR). Arguments go to the player: a file name opens that file at start. Without a
# display there is no window to show: the terminal tool plays the demo clip instead.
cd "$(dirname "$0")/.."
build=${PT4_BUILD_DIR:-build}
if [ -n "$DISPLAY" ] || [ -n "$WAYLAND_DISPLAY" ]; then
    exec "$build/bin/plumtone4" "$@"
fi
echo "No display found (neither DISPLAY nor WAYLAND_DISPLAY is set): the window cannot open."
echo "Playing the demo clip with the terminal tool instead: $build/bin/pt4 play demo/demo.mp3"
if "$build/bin/pt4" play demo/demo.mp3; then
    exit 0
fi
echo "The terminal tool could not play here; what it knows about the demo clip:"
exec "$build/bin/pt4" info demo/demo.mp3
