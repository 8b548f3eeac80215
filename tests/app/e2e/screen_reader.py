# Over AT-SPI: the player's window offers at least fourteen named buttons and two named sliders
# with their values, and pressing the stop button ("停止") there stops what plays (the desktop
# bus tells the playback status).
import sys
import time

import pyatspi
from gi.repository import Gio, GLib

LIMIT_S = 20  # guards against a hang only


def fail(text):
    print("FAIL: " + text)
    sys.exit(1)


def wait_for(what, probe):
    end = time.monotonic() + LIMIT_S
    while time.monotonic() < end:
        value = probe()
        if value:
            return value
        time.sleep(0.1)
    fail("no " + what)


def player_app():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == "plumtone4":
            return app
    return None


def walk(node):
    yield node
    for child in node:
        if child is not None:
            yield from walk(child)


def playback_status():
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    try:
        reply = bus.call_sync("org.mpris.MediaPlayer2.plumtone4", "/org/mpris/MediaPlayer2",
                              "org.freedesktop.DBus.Properties", "Get",
                              GLib.Variant("(ss)", ("org.mpris.MediaPlayer2.Player", "PlaybackStatus")),
                              None, Gio.DBusCallFlags.NONE, 2000, None)
    except GLib.Error:
        return None
    return reply.unpack()[0]


app = wait_for("plumtone4 application on the accessibility bus", player_app)
controls = wait_for("controls", lambda: [n for n in walk(app)
                                         if n.getRole() in (pyatspi.ROLE_PUSH_BUTTON,
                                                            pyatspi.ROLE_TOGGLE_BUTTON,
                                                            pyatspi.ROLE_SLIDER)] or None)
buttons = [n for n in controls if n.getRole() != pyatspi.ROLE_SLIDER and n.name]
sliders = [n for n in controls if n.getRole() == pyatspi.ROLE_SLIDER and n.name]
names = sorted(n.name for n in buttons)
print("buttons:", ", ".join("%s(%s)" % (b.name, b.getRoleName()) for b in buttons))
print("sliders:", ", ".join("%s=%g" % (s.name, s.queryValue().currentValue) for s in sliders))
if len(buttons) < 14:
    fail("%d named buttons, expected at least 14" % len(buttons))
for name in ("開く", "再生", "一時停止", "停止", "巻き戻し", "早送り", "前のトラック", "次のトラック", "FLAT"):
    if name not in names:
        fail("no button named " + name)
if len(sliders) != 2 or any(s.queryValue().maximumValue <= s.queryValue().minimumValue for s in sliders):
    fail("expected two named sliders with a range")
flat = next(b for b in buttons if b.name == "FLAT")
if not flat.getState().contains(pyatspi.STATE_CHECKED):
    fail("the lit FLAT preset is not checked")

# A file given at start plays at once.
wait_for("playing (the file given at start)", lambda: playback_status() == "Playing")
stop = next(b for b in buttons if b.name == "停止")
action = stop.queryAction()
press = [i for i in range(action.nActions) if action.getName(i) in ("press", "Press")]
if not press:
    fail("the stop button has no press action")
action.doAction(press[0])
wait_for("stopped after pressing 停止", lambda: playback_status() == "Stopped")
print("PASS")
