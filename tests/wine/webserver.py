#!/usr/bin/env python3
"""The tests' own web server, for what a real server will not do on request.

    webserver.py PORT FIXTURES [CERTIFICATE KEY]

Serves on 127.0.0.1:PORT (over TLS with the certificate and key, when given):
  /files/NAME      the fixture NAME, with its length and byte ranges
  /drop/NAME       the same, but a request from the start breaks off half way
                   (a range request after it gets the rest)
  /missing.ogg     404
  /broken.ogg      500
  /loop/N          a redirect to /loop/N+1, for ever
  /garbage.ogg     an HTML page instead of Ogg
  /header.ogg      a header that never ends
  /stall/NAME      the fixture's first 20000 bytes, then nothing, as a stream
  /live/NAME       the fixture as a station sends it: "icy-" headers, no
                   length, at BYTES a second (?bps=BYTES, 16000 when not given)
It prints "ready" once it listens, and runs until it is killed.
"""
import http.server
import os
import re
import socketserver
import ssl
import sys
import time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def plain(self, status, body=b"", headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def fixture(self, name):
        path = os.path.join(sys.argv[2], os.path.basename(name))
        if not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def ranged(self, data, cut=None):
        start = 0
        match = re.match(r"bytes=(\d+)-", self.headers.get("Range", ""))
        if match:
            start = int(match.group(1))
            if start >= len(data):
                return self.plain(416)
            self.send_response(206)
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, len(data) - 1, len(data)))
        else:
            self.send_response(200)
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("Content-Type", "audio/ogg")
        self.send_header("Content-Length", str(len(data) - start))
        self.end_headers()
        if cut is not None and not match:
            self.wfile.write(data[:cut])
            self.wfile.flush()
            self.close_connection = True
            return
        self.wfile.write(data[start:])

    def do_GET(self):
        path = self.path
        if path.startswith("/files/") or path.startswith("/drop/"):
            data = self.fixture(path.split("/", 2)[2])
            if data is None:
                return self.plain(404)
            return self.ranged(data, len(data) // 2 if path.startswith("/drop/") else None)
        if path == "/missing.ogg":
            return self.plain(404, b"not here")
        if path == "/broken.ogg":
            return self.plain(500, b"broken")
        if path.startswith("/loop/"):
            step = int(path[6:] or 0)
            return self.plain(302, headers=[("Location", "/loop/%d" % (step + 1))])
        if path == "/garbage.ogg":
            return self.plain(200, b"<html><body>" + b"Not a sound. " * 6000 + b"</body></html>",
                              [("Content-Type", "text/html")])
        if path == "/header.ogg":
            self.wfile.write(b"HTTP/1.1 200 OK\r\n")
            try:
                for i in range(10000):
                    self.wfile.write(b"X-Filler-%d: %s\r\n" % (i, b"x" * 100))
            except OSError:
                pass
            self.close_connection = True
            return
        if path.startswith("/live/"):
            name, _, query = path[6:].partition("?")
            data = self.fixture(name)
            if data is None:
                return self.plain(404)
            pace = int(query[4:]) if query.startswith("bps=") else 16000
            self.send_response(200)
            self.send_header("Content-Type", "application/ogg")
            self.send_header("icy-name", "The tests' station")
            self.end_headers()
            start = time.monotonic()
            try:
                for at in range(0, len(data), 4096):
                    delay = start + at / pace - time.monotonic()
                    if delay > 0:
                        time.sleep(delay)
                    self.wfile.write(data[at:at + 4096])
            except OSError:
                pass
            self.close_connection = True
            return
        if path.startswith("/stall/"):
            data = self.fixture(path[7:])
            if data is None:
                return self.plain(404)
            self.send_response(200)
            self.send_header("Content-Type", "audio/ogg")
            self.end_headers()
            self.wfile.write(data[:20000])
            self.wfile.flush()
            try:
                while True:
                    time.sleep(1)
                    self.wfile.write(b"")
            except OSError:
                pass
            return
        return self.plain(404)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    server = Server(("127.0.0.1", int(sys.argv[1])), Handler)
    if len(sys.argv) > 4:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[3], sys.argv[4])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print("ready", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
