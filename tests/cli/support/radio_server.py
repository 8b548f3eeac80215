#!/usr/bin/env python3
"""A small HTTP server for the stream tests: one MP3 file served as an internet radio station
would serve it, and the faults a station can show. Prints its port, then serves until killed.

usage: radio_server.py FILE.mp3 [MORE.mp3 ...]

  /audio.mp3   the file, with ICY metadata blocks every 1000 bytes when asked for them
  /joined      the file from byte 1437 on, inside its fourth audio frame (as a listener joins)
  /redirect    302 to /list.m3u
  /list.m3u    a playlist (served as text) naming /audio.mp3
  /empty.pls   a playlist naming nothing
  /page.html   an HTML page
  /missing     404
  /stall       the first 24000 bytes of the file, then nothing (the connection stays open)
  /gap         the first 24000 bytes, 4 s of nothing, then the rest
  /live?...   a station on the air: the first file sent at its own pace from where the
               station's clock stands (see Live below for the faults it can be asked for)
and the hostile stations of HOSTILE below, each answered byte for byte as written there.
Finite answers carry their length, so that a client can tell their end from a drop.
"""
import http.server
import itertools
import socket
import socketserver
import sys
import threading
import time
import urllib.parse

AUDIO = open(sys.argv[1], 'rb').read()
FILES = [open(name, 'rb').read() for name in sys.argv[1:]]
META_INTERVAL = 1000
# Latin-1 bytes, not UTF-8: the display must fall back.
TITLES = [b"Caf\xe9 Ol\xe9", b"Second Song"]


def metadata_block(title):
    text = b"StreamTitle='" + title + b"';"
    length = (len(text) + 15) // 16
    return bytes([length]) + text.ljust(length * 16, b"\0")


def with_metadata(body, title=None):
    out = bytearray()
    for index, start in enumerate(range(0, len(body), META_INTERVAL)):
        out += body[start:start + META_INTERVAL]
        if start + META_INTERVAL <= len(body):
            # A title now and then, an empty block otherwise.
            out += metadata_block(title or TITLES[index // 40 % 2]) if title or index % 20 == 0 else b"\0"
    return bytes(out)


OK = b"HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n"
FLOOD_TITLE = metadata_block(b"x" * 4050)
# Hostile stations: path -> the pieces of the answer, written in turn.
HOSTILE = {
    # A header line every 5 s, a byte a second, for ever.
    "/slow-headers": lambda: itertools.chain(
        [OK], (time.sleep(1) or b"a:1\r\n"[i % 5:i % 5 + 1] for i in itertools.count())),
    # A 4 KB title after every audio byte, for ever.
    "/flood": lambda: itertools.chain([OK + b"icy-metaint: 1\r\n\r\n"], (
        AUDIO[i % len(AUDIO):i % len(AUDIO) + 1] + FLOOD_TITLE for i in itertools.count())),
    "/escapes": lambda: [OK + b"icy-metaint: 1000\r\nicy-name: Evil\x1b]0;owned\x07 Station\xc2\x9b2J\r\n\r\n",
                         with_metadata(AUDIO, b"Clear\x1b[2J\x7fScreen")],
    # The station's name in EUC-JP (東京の雨), its title in Shift-JIS (夜空の向こうに).
    "/japanese": lambda: [OK + b"icy-metaint: 1000\r\nicy-name: \xc5\xec\xb5\xfe\xa4\xce\xb1\xab\r\n\r\n",
                          with_metadata(AUDIO, b"\x96\xe9\x8b\xf3\x82\xcc\x8c\xfc\x82\xb1\x82\xa4\x82\xc9")],
    "/icy": lambda: [b"ICY 200 OK\r\nicy-name: Old Station\r\nicy-metaint: 1000\r\n\r\n", with_metadata(AUDIO)],
    # Two seconds of audio, then noise that holds no frame header.
    "/noise": lambda: [OK + b"\r\n", AUDIO[:32000], b"\x55\xaa" * 500000],
    "/huge-header": lambda: [OK + b"X-Big: " + b"a" * (2 << 20) + b"\r\n\r\n"],
    "/many-headers": lambda: [OK + b"X-Many: %s\r\n" % (b"b" * 1000) * 100 + b"\r\n", AUDIO],
    "/icy404": lambda: [b"ICY 404 Resource Not Found\r\nicy-notice1: gone\r\n\r\n"],
}

# Bit rates of Layer III, kbit/s, by index: MPEG-1, then MPEG-2 and 2.5.
RATES = {3: [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320],
         0: [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160]}


def byte_rate(data):
    """Bytes a second of the constant-rate Layer III stream in `data` (after any ID3v2 tag)."""
    at = 0
    if data[:3] == b"ID3":
        at = 10 + (data[6] << 21 | data[7] << 14 | data[8] << 7 | data[9])
    while not (data[at] == 0xFF and data[at + 1] & 0xE0 == 0xE0):
        at += 1
    version = data[at + 1] >> 3 & 3
    return RATES[3 if version == 3 else 0][data[at + 2] >> 4] * 1000 // 8


def frame_starts(data):
    """Offsets of the frames of a constant-rate Layer III stream (so that a change of file falls
    between two frames)."""
    starts, at = [], 0
    if data[:3] == b"ID3":
        at = 10 + (data[6] << 21 | data[7] << 14 | data[8] << 7 | data[9])
    rates = {0: [11025, 12000, 8000], 2: [22050, 24000, 16000], 3: [44100, 48000, 32000]}
    while at + 4 <= len(data) and data[at] == 0xFF and data[at + 1] & 0xE0 == 0xE0:
        version = data[at + 1] >> 3 & 3
        bitrate = RATES[3 if version == 3 else 0][data[at + 2] >> 4] * 1000
        rate = rates[version][data[at + 2] >> 2 & 3]
        starts.append(at)
        at += (144 if version == 3 else 72) * bitrate // rate + (data[at + 2] >> 1 & 1)
    return starts


SESSIONS = {}
SESSIONS_LOCK = threading.Lock()


class Live:
    """A station on the air, asked for by the query of /live:
      session=ID    the station's clock starts at the first connection of ID; a listener who
                    reconnects hears the station where it is by then
      speed=S       sends S seconds of audio per second (default 1: strictly in real time)
      burst=B       a new listener first gets the last B seconds at once (default 0)
      drop=D        closes each connection after D seconds ...
      drops=N       ... the first N of them (default: every one)
      stall=D       stops sending after D seconds, the connection held open (the first `drops`)
      then=CODE     answers the connections after those N with this status
      change=C      plays the second file given to the server from C seconds on (another
                    sample rate or channel count)
      type=T        the Content-Type (default audio/mpeg)
      strict=1      drops a listener that takes nothing for 2 s, as a real server does
      loop=1        the program starts again at its end, for ever
    """

    def __init__(self, query):
        q = {k: v[0] for k, v in urllib.parse.parse_qs(query).items()}
        self.session = q.get("session", "")
        self.speed = float(q.get("speed", "1"))
        self.burst = float(q.get("burst", "0"))
        self.drop = float(q.get("drop", q.get("stall", "0")))
        self.stall = "stall" in q
        self.drops = int(q.get("drops", "1000000"))
        self.then = int(q.get("then", "0"))
        self.change = float(q.get("change", "0"))
        self.type = q.get("type", "audio/mpeg")
        self.strict = q.get("strict") == "1"
        self.loop = q.get("loop") == "1"
        with SESSIONS_LOCK:
            state = SESSIONS.setdefault(self.session, {"start": time.monotonic(), "count": 0})
            self.connection = state["count"]
            state["count"] += 1
            self.start = state["start"]

    def pieces(self):
        """(audio time in seconds, frame bytes) of the station's program, in order."""
        t = 0.0
        for _ in itertools.count() if self.loop else [0]:
            for index, data in enumerate(FILES[:2] if self.change else FILES[:1]):
                starts = frame_starts(data) + [len(data)]
                rate = byte_rate(data)
                for a, b in zip(starts, starts[1:]):
                    if index == 0 and self.change and t >= self.change:
                        break
                    yield t, data[a:b]
                    t += (b - a) / rate

    def serve(self, handler):
        if self.connection >= self.drops and self.then:
            handler.send(self.then, b"gone", "text/plain")
            return
        handler.send_response(200)
        handler.send_header("Content-Type", self.type)
        handler.end_headers()
        handler.wfile.flush()
        sock = handler.connection
        if self.strict:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 16384)
            sock.settimeout(2)
        now = (time.monotonic() - self.start) * self.speed  # the station's audio clock
        begun = time.monotonic()
        for t, frame in self.pieces():
            if t < now - self.burst:
                continue
            if self.drop and self.connection < self.drops and time.monotonic() - begun >= self.drop:
                if self.stall:
                    time.sleep(3600)
                return
            wait = self.start + t / self.speed - time.monotonic()
            if wait > 0:
                time.sleep(wait)
            try:
                sock.sendall(frame)
            except OSError:
                return  # a listener that took nothing for too long, or went


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def send(self, status, body, content_type, extra=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        port = self.server.server_address[1]
        path = self.path
        if path.startswith("/live"):
            Live(urllib.parse.urlsplit(path).query).serve(self)
        elif path in HOSTILE:
            try:
                for piece in HOSTILE[path]():
                    self.wfile.write(piece)
            except OSError:
                pass  # the client gave up, as it should
        elif path == "/audio.mp3":
            if self.headers.get("Icy-MetaData") == "1":
                body = with_metadata(AUDIO)
                self.send(200, body, "audio/mpeg", [("icy-name", "Test Station"),
                                                   ("icy-metaint", str(META_INTERVAL)),
                                                   ("Content-Length", str(len(body)))])
            else:
                self.send(200, AUDIO, "audio/mpeg", [("Content-Length", str(len(AUDIO)))])
        elif path == "/joined":
            self.send(200, AUDIO[1437:], "audio/mpeg", [("Content-Length", str(len(AUDIO) - 1437))])
        elif path == "/redirect":
            self.send(302, b"", "text/plain", [("Location", "/list.m3u")])
        elif path == "/list.m3u":
            self.send(200, b"#EXTM3U\n#EXTINF:-1,Test\nhttp://127.0.0.1:%d/audio.mp3\n" % port, "text/plain")
        elif path == "/empty.pls":
            self.send(200, b"[playlist]\nNumberOfEntries=0\nVersion=2\n", "audio/x-scpls")
        elif path == "/page.html":
            self.send(200, b"<html><body>" + b"no radio here " * 200 + b"</body></html>", "text/html")
        elif path == "/stall":
            self.send(200, AUDIO[:24000], "audio/mpeg")
            self.wfile.flush()
            time.sleep(3600)
        elif path == "/gap":
            self.send(200, AUDIO[:24000], "audio/mpeg", [("Content-Length", str(len(AUDIO)))])
            self.wfile.flush()
            time.sleep(4)
            self.wfile.write(AUDIO[24000:])
        else:
            self.send(404, b"not here", "text/plain")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


server = Server(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
