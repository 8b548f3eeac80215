#!/bin/bash
# Memory and time of pt4 against hostile inputs, as whole-process figures from /usr/bin/time:
#   - pt4 play on a station sending a 4 KB title after every audio byte (icy-metaint 1), 15 s,
#     through a private pulseaudio with a null sink (goal: under 64 MB peak);
#   - pt4 info on a 16 MB ID3v2 tag of 1.45 million tiny frames (goal: under 256 MB peak);
#   - how long pt4 waits for a server that sends its headers one byte a second (goal: the
#     stream timeout, 10 s by default).
# usage: bench/hostile_inputs.sh [BUILD_DIR]   (needs python3 and pulseaudio)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
pt4=${1:-$root/build}/bin/pt4
tmp=$(mktemp -d)
pids=()
cleanup()
{
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT

python3 "$root/tests/cli/support/radio_server.py" "$root/demo/demo.mp3" > "$tmp/port" &
pids+=($!)
HOME=$tmp XDG_RUNTIME_DIR=$tmp pulseaudio --daemonize=no --system=false -n --exit-idle-time=-1 \
    --use-pid-file=false --log-target=stderr "--load=module-null-sink sink_name=bench" \
    "--load=module-native-protocol-unix auth-anonymous=1 socket=$tmp/native" 2> "$tmp/pulse.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$tmp/port" ] && [ -S "$tmp/native" ] && break; sleep 0.1; done
url=http://127.0.0.1:$(cat "$tmp/port")

measure() # LABEL COMMAND...
{
    local label=$1
    shift
    /usr/bin/time -f "%e s, peak %M KB" -o "$tmp/time" "$@" < /dev/null > /dev/null 2>&1 || true
    echo "$label: $(cat "$tmp/time" | tail -1)"
}

measure "play, title flood, 15 s" env PULSE_SERVER="unix:$tmp/native" timeout -s INT 15 "$pt4" play "$url/flood"

python3 - "$root/demo/demo.mp3" "$tmp/tag.mp3" <<'PY'
import sys
audio = open(sys.argv[1], "rb").read()
frames = b"TPE2\0\0\0\x01\0\0\0" * 1454545 + b"TIT2\0\0\0\x06\0\0\0Title"
size = bytes((len(frames) >> shift) & 0x7F for shift in (21, 14, 7, 0))
open(sys.argv[2], "wb").write(b"ID3\x03\0\0" + size + frames + audio)
PY
measure "info, 16 MB tag of tiny frames" "$pt4" info "$tmp/tag.mp3"
measure "decode, headers a byte a second" timeout 60 "$pt4" decode --raw "$url/slow-headers" -o /dev/null
