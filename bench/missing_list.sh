#!/bin/bash
# A playlist of a million missing files in the window, as whole-process figures:
#   - missing_list_bench: from opening the list to its single notice (goal: within 10 s, one
#     notice, no message box);
#   - the real program started on the list without a display, then SIGTERM at several moments
#     (while the list is read, while it is passed over, after it ended): how long it takes to
#     end after the signal (goal: at once).
# usage: bench/missing_list.sh [BUILD_DIR [COUNT]]   (build the targets plumtone4 and missing_list_bench)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
count=${2:-1000000}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

echo "== passing over $count missing entries"
/usr/bin/time -f "whole process: %e s, peak %M KB" "$build/bin/missing_list_bench" "$count"

python3 - "$tmp/missing.m3u" "$count" <<'PY'
import sys
with open(sys.argv[1], "w") as out:
    for i in range(int(sys.argv[2])):
        out.write(f"gone/Track {i}.mp3\n")
PY

echo "== SIGTERM while the program works through the list"
for delay in 0.3 1.0 2.0 5.0; do
    HOME=$tmp XDG_CONFIG_HOME=$tmp/config XDG_RUNTIME_DIR=$tmp QT_QPA_PLATFORM=offscreen \
        DBUS_SESSION_BUS_ADDRESS=disabled: "$build/bin/plumtone4" "$tmp/missing.m3u" > /dev/null 2>&1 &
    pid=$!
    sleep "$delay"
    sent=$(date +%s.%N)
    kill -TERM "$pid"
    status=0
    wait "$pid" || status=$?
    ended=$(date +%s.%N)
    python3 -c "import sys; print(f'SIGTERM {sys.argv[1]} s after start: ended {float(sys.argv[3]) - float(sys.argv[2]):.2f} s later, exit status {sys.argv[4]}')" \
        "$delay" "$sent" "$ended" "$status"
done
