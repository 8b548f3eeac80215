# The program as a desktop user drives it, on a private X server with a window manager: a folder
# named on the command line plays its first file (natural order); keys typed into the window
# (Tab then Escape then Space, the one play key, Shift+F10) do what they should; the window moved
# by the window manager and closed with Ctrl+Q comes back at the same place; and at scale 3 on
# this small screen it opens wholly inside the screen, where AT-SPI says it is. The playback
# status is read on the session bus, places with xwininfo.
#   desktop_window.py PLUMTONE4 FOLDER
import os
import re
import signal
import subprocess
import sys
import time
from urllib.parse import unquote

import pyatspi
from gi.repository import Gio, GLib

program, folder = sys.argv[1], sys.argv[2]
screen_w, screen_h = 1024, 768


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


def player_property(name):
    try:
        reply = Gio.bus_get_sync(Gio.BusType.SESSION, None).call_sync(
            "org.mpris.MediaPlayer2.plumtone4", "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties",
            "Get", GLib.Variant("(ss)", ("org.mpris.MediaPlayer2.Player", name)), None,
            Gio.DBusCallFlags.NONE, 2000, None)
        return reply.unpack()[0]
    except GLib.Error:
        return None


def xdotool(*args):
    return subprocess.run(("xdotool",) + args, check=True, capture_output=True, text=True).stdout.split()


def visible_windows():
    return xdotool("search", "--onlyvisible", "--class", "plumtone4")


def start(*args, env=None):
    player = subprocess.Popen([program, *args], env=dict(os.environ, **(env or {})))
    window = wait_for("window", lambda: subprocess.run(
        ["xdotool", "search", "--onlyvisible", "--name", "^Plumtone4$"], capture_output=True,
        text=True).stdout.split())[0]
    # Once the window manager has framed it and Qt has drawn it.
    wait_for("a framed window", lambda: frame_of(window)[0] != (0, 0) or None)
    time.sleep(0.5)
    return player, window


def frame_of(window):
    """The client's place on the screen and its size, and the frame's outer rectangle."""
    info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
    number = lambda label: int(re.search(label + r":\s+(-?\d+)", info).group(1))
    client = (number("Absolute upper-left X"), number("Absolute upper-left Y"))
    size = (number("Width"), number("Height"))
    info = subprocess.run(["xwininfo", "-id", window, "-frame"], capture_output=True, text=True).stdout
    corner = (int(re.search(r"Absolute upper-left X:\s+(-?\d+)", info).group(1)),
              int(re.search(r"Absolute upper-left Y:\s+(-?\d+)", info).group(1)))
    return client, size, corner


def stop(player):
    player.send_signal(signal.SIGTERM)
    player.wait(20)


# --- a folder on the command line, then keys -------------------------------------------------
player, window = start(folder)
wait_for("playing the folder's first file", lambda: player_property("PlaybackStatus") == "Playing" and unquote(str(
    player_property("Metadata").get("xesam:url", ""))).endswith("/album/2 first.mp3"))
xdotool("windowactivate", "--sync", window)
keys = [
    # keys typed, status after them
    (["Tab", "Escape", "space"], "Paused"),  # without Escape, Space would press the marked button
    (["space"], "Playing"),
    (["XF86AudioPlay"], "Paused"),
    (["XF86AudioPlay"], "Playing"),
]
for typed, status in keys:
    for key in typed:
        xdotool("key", "--clearmodifiers", key)
    wait_for("%s after %s" % (status, " ".join(typed)), lambda: player_property("PlaybackStatus") == status)

before = len(visible_windows())
xdotool("key", "--clearmodifiers", "shift+F10")
wait_for("the menu after Shift+F10", lambda: len(visible_windows()) == before + 1)
xdotool("key", "Escape")
wait_for("the menu closed", lambda: len(visible_windows()) == before)

# --- the place kept across Ctrl+Q and a new start --------------------------------------------
xdotool("windowmove", window, "300", "250")
moved = wait_for("the window moved", lambda: frame_of(window)[0][0] >= 300 and frame_of(window))
xdotool("windowactivate", "--sync", window)
xdotool("key", "--clearmodifiers", "ctrl+q")
try:
    player.wait(20)
except subprocess.TimeoutExpired:
    fail("Ctrl+Q did not quit")
player, window = start()
if frame_of(window)[0] != moved[0]:
    fail("the window came back at %s, not at %s where it was closed" % (frame_of(window)[0], moved[0]))
stop(player)

# --- scale 3 on a small screen: wholly inside, and told where it is in the screen's pixels ---
player, window = start(env={"QT_SCALE_FACTOR": "3"})
(x, y), (w, h), (fx, fy) = frame_of(window)
if w != 993 or fx < 0 or fy < 0 or x + w > screen_w or y + h > screen_h:
    fail("at scale 3 the window lies at %d,%d %dx%d (frame at %d,%d), not inside %dx%d" %
         (x, y, w, h, fx, fy, screen_w, screen_h))
app = wait_for("plumtone4 on the accessibility bus", lambda: next(
    (a for a in pyatspi.Registry.getDesktop(0) if a and a.name == "plumtone4" and a.childCount), None))
told = app[0].queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
if (told.x, told.y, told.width, told.height) != (x, y, w, h):
    fail("at scale 3 the window is told at %d,%d %dx%d, but lies at %d,%d %dx%d" %
         (told.x, told.y, told.width, told.height, x, y, w, h))
stop(player)
print("ok")
