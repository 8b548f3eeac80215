# Over AT-SPI: at least fourteen named buttons and two named sliders with a range, the lit FLAT
# preset checked, the file given at start playing, and the stop button ("停止") pressed here
# stopping it (the desktop bus tells the playback status).
import sys
import time

import pyatspi
from gi.repository import Gio, GLib


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


def walk(node):
    yield node
    for child in node:
        if child is not None:
            yield from walk(child)


def playback_status():
    try:
        reply = Gio.bus_get_sync(Gio.BusType.SESSION, None).call_sync(
            "org.mpris.MediaPlayer2.plumtone4", "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties",
            "Get", GLib.Variant("(ss)", ("org.mpris.MediaPlayer2.Player", "PlaybackStatus")), None,
            Gio.DBusCallFlags.NONE, 2000, None)
        return reply.unpack()[0]
    except GLib.Error:
        return None


app = wait_for("plumtone4 on the accessibility bus",
               lambda: next((a for a in pyatspi.Registry.getDesktop(0) if a and a.name == "plumtone4"), None))
kinds = (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_SLIDER)
controls = wait_for("controls", lambda: [n for n in walk(app) if n.getRole() in kinds and n.name])
buttons = {n.name: n for n in controls if n.getRole() != pyatspi.ROLE_SLIDER}
sliders = [n.queryValue() for n in controls if n.getRole() == pyatspi.ROLE_SLIDER]
print("buttons:", ", ".join("%s(%s)" % (name, b.getRoleName()) for name, b in buttons.items()))
if len(buttons) < 14 or not {"開く", "再生", "一時停止", "停止", "巻き戻し", "早送り", "FLAT"} <= buttons.keys():
    fail("named buttons missing")
if len(sliders) != 2 or any(s.maximumValue <= s.minimumValue for s in sliders):
    fail("expected two named sliders with a range")
if not buttons["FLAT"].getState().contains(pyatspi.STATE_CHECKED):
    fail("the lit FLAT preset is not checked")

wait_for("playing (the file given at start)", lambda: playback_status() == "Playing")
action = buttons["停止"].queryAction()
action.doAction(next(i for i in range(action.nActions) if action.getName(i).lower() == "press"))
wait_for("stopped after pressing 停止", lambda: playback_status() == "Stopped")
