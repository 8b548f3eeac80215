# Over AT-SPI: the window a frame named by its title, at least fourteen named buttons and two
# named sliders with a range, the lit FLAT preset checked, each text of the display read once (no
# shadow copies), the file given at start playing, and the pause and stop buttons pressed here
# pausing, resuming and stopping it: the desktop bus tells the playback status, and the window's
# status object says it in words and sends each change.
import sys
import time

import pyatspi
from gi.repository import Gio, GLib


def fail(text):
    sys.exit("FAIL: " + text)


def pump():
    context = GLib.MainContext.default()
    while context.pending():
        context.iteration(False)


def wait_for(what, probe, limit_s=20):  # the limit guards against a hang only
    end = time.monotonic() + limit_s
    while time.monotonic() < end:
        pump()
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
frame = wait_for("the window", lambda: app.childCount and app[0])
if frame.getRole() != pyatspi.ROLE_FRAME or frame.name != "Plumtone4":
    fail("the window is a %s named %r, not the frame Plumtone4" % (frame.getRoleName(), frame.name))
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
wait_for("the title shown", lambda: any(n.name == "Quiet Test" for n in walk(app)))
texts = [n.name for n in walk(app) if n.getRole() == pyatspi.ROLE_LABEL]
for text in ("Song", "Artist", "Quiet Test", "Nobody"):
    if texts.count(text) != 1:
        fail("the text %r is read %d times" % (text, texts.count(text)))

status = wait_for("a status", lambda: next((n for n in walk(app) if n.getRole() == pyatspi.ROLE_STATUS_BAR), None))
told = []
pyatspi.Registry.registerEventListener(
    lambda event: told.append(event.source.name) if event.source.getRole() == pyatspi.ROLE_STATUS_BAR else None,
    "object:property-change:accessible-name")


def press(name):
    action = buttons[name].queryAction()
    action.doAction(next(i for i in range(action.nActions) if action.getName(i).lower() == "press"))


steps = [
    # button pressed, playback status, status in words
    (None, "Playing", "再生中"),
    ("一時停止", "Paused", "一時停止中"),
    ("一時停止", "Playing", "再生中"),
    ("停止", "Stopped", "停止中"),
]
for button, playback, words in steps:
    if button:
        press(button)
    wait_for("%s after %s" % (playback, button), lambda: playback_status() == playback)
    wait_for("the status %s after %s (it reads %r)" % (words, button, status.name), lambda: status.name == words)
    if button:
        wait_for("the change to %s sent" % words, lambda: told and told[-1] == words)
