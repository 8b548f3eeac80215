#!/usr/bin/env python3
"""A small HTTP server of playlists for the list tests. Prints its port, then serves until killed.

usage: list_server.py ENTRIES

  /big.m3u    an .m3u list of ENTRIES station addresses (about 42 bytes each), sent whole
  /stall.m3u  the first 100000 bytes of the same list, then nothing (the connection stays open)
"""
import http.server
import sys
import time

ENTRIES = int(sys.argv[1])
LIST = b"#EXTM3U\n" + b"".join(b"http://127.0.0.1:9/station-%06d.mp3\n" % i for i in range(ENTRIES))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        if self.path not in ("/big.m3u", "/stall.m3u"):
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", "audio/x-mpegurl")
        self.send_header("Content-Length", str(len(LIST)))
        self.end_headers()
        if self.path == "/big.m3u":
            self.wfile.write(LIST)
            return
        self.wfile.write(LIST[:100000])
        self.wfile.flush()
        time.sleep(3600)

    def log_message(self, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # a client that gives up on a stalled list is no error here


server = Server(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
