#!/usr/bin/env python3
"""A small HTTP server for the stream tests: one MP3 file served as an internet radio station
would serve it, and the faults a station can show. Prints its port, then serves until killed.

usage: radio_server.py FILE.mp3

  /audio.mp3   the file, with ICY metadata blocks every 1000 bytes when asked for them
  /joined      the file from byte 1437 on, inside its fourth audio frame (as a listener joins)
  /redirect    302 to /list.m3u
  /list.m3u    a playlist (served as text) naming /audio.mp3
  /empty.pls   a playlist naming nothing
  /page.html   an HTML page
  /missing     404
  /stall       the first 24000 bytes of the file, then nothing (the connection stays open)
  /gap         the first 24000 bytes, 4 s of nothing, then the rest
and the hostile stations of HOSTILE below, each answered byte for byte as written there.
"""
import http.server
import itertools
import socketserver
import sys
import time

AUDIO = open(sys.argv[1], 'rb').read()
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
}


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
        if path in HOSTILE:
            try:
                for piece in HOSTILE[path]():
                    self.wfile.write(piece)
            except OSError:
                pass  # the client gave up, as it should
        elif path == "/audio.mp3":
            if self.headers.get("Icy-MetaData") == "1":
                self.send(200, with_metadata(AUDIO), "audio/mpeg",
                          [("icy-name", "Test Station"), ("icy-metaint", str(META_INTERVAL))])
            else:
                self.send(200, AUDIO, "audio/mpeg")
        elif path == "/joined":
            self.send(200, AUDIO[1437:], "audio/mpeg")
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
            self.send(200, AUDIO[:24000], "audio/mpeg")
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
