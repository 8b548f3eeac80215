# A file played to its 20th second, the program ended as the desktop ends it (SIGTERM) and
# started again without a file: the same file is open, paused within a second after the place
# it was left, and Space (pressed on the window) plays on from there.
import os
import signal
import subprocess
import sys
import time

from gi.repository import Gio, GLib

program, song = sys.argv[1], sys.argv[2]
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)


def fail(text):
    sys.exit("FAIL: " + text)


def wait_for(what, probe, limit_s=20):  # the limit guards against a hang only
    end = time.monotonic() + limit_s
    while time.monotonic() < end:
        value = probe()
        if value:
            return value
        time.sleep(0.1)
    fail("no " + what)


def call(method, signature=None, args=None, interface="org.mpris.MediaPlayer2.Player"):
    try:
        return bus.call_sync("org.mpris.MediaPlayer2.plumtone4", "/org/mpris/MediaPlayer2", interface,
                             method, GLib.Variant(signature, args) if signature else None, None,
                             Gio.DBusCallFlags.NONE, 2000, None).unpack()
    except GLib.Error:
        return None


def prop(name):
    reply = call("Get", "(ss)", ("org.mpris.MediaPlayer2.Player", name), "org.freedesktop.DBus.Properties")
    return reply[0] if reply else None


def start(*args):
    log = open(os.path.join(os.environ["HOME"], "player.log"), "a")
    return subprocess.Popen([program, *args], stderr=log)


def end(player):
    player.send_signal(signal.SIGTERM)
    if player.wait(20) != 0:
        fail("the program ended with %d" % player.returncode)
    wait_for("the name released", lambda: prop("PlaybackStatus") is None)


player = start(song)
wait_for("playing (the file given at start)", lambda: prop("PlaybackStatus") == "Playing")
track = prop("Metadata")["mpris:trackid"]
call("SetPosition", "(ox)", (track, 20_000_000))
wait_for("the jump to 20 s", lambda: (prop("Position") or 0) >= 20_000_000)
time.sleep(0.5)
left_at = prop("Position")
end(player)
ini = open(os.path.join(os.path.dirname(program), "PT4.INI"), encoding="utf-8").read()
print(ini)

player = start()
wait_for("paused (resumed)", lambda: prop("PlaybackStatus") == "Paused")
url = prop("Metadata").get("xesam:url")
if url != GLib.filename_to_uri(song, None):
    fail("resumed %s, not %s" % (url, song))
resumed_at = prop("Position")
print("left at %.2f s, resumed at %.2f s" % (left_at / 1e6, resumed_at / 1e6))
if not left_at <= resumed_at <= left_at + 1_000_000:
    fail("resumed at %.2f s, left at %.2f s" % (resumed_at / 1e6, left_at / 1e6))
time.sleep(0.5)
if prop("PlaybackStatus") != "Paused" or prop("Position") != resumed_at:
    fail("it did not stay paused")

# Space on the window goes on from there.
window = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^Plumtone4$"],
                        capture_output=True, text=True, check=True).stdout.split()[0]
subprocess.run(["xdotool", "windowfocus", "--sync", window], check=True)
subprocess.run(["xdotool", "key", "--window", window, "space"], check=True)
wait_for("playing after Space", lambda: prop("PlaybackStatus") == "Playing")
wait_for("play going on", lambda: prop("Position") > resumed_at + 300_000)
if prop("Position") > resumed_at + 5_000_000:
    fail("it did not go on from the place it was resumed at")
end(player)

# With resuming off (the menu's entry, kept in PT4.INI), a start without a file opens nothing.
path = os.path.join(os.path.dirname(program), "PT4.INI")
text = open(path, encoding="utf-8").read().replace("[Option]\n", "[Option]\nResume=0\n")
open(path, "w", encoding="utf-8").write(text)
player = start()
wait_for("the window on the bus", lambda: prop("PlaybackStatus") is not None)
time.sleep(1)
if prop("PlaybackStatus") != "Stopped" or prop("Metadata").get("xesam:url"):
    fail("opened %s with resuming off" % prop("Metadata"))
end(player)
print("PASS")
