#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A real HTTP/1.1 server on 127.0.0.1 for the HTTP fetch's tests.

Usage: http_test_server.py DIR

Prints "PORT n" once it listens and runs until stdin closes. The first part
of the path says how to answer; the rest of the path is ignored:
  /s<code>/<hex>/...   status <code>, the bytes <hex> with Content-Length
  /chunked/<hex>/...   200, the bytes one per chunk
  /close/<hex>/...     200, the bytes, then the connection closes (no length)
  /silent/...          nothing, for ten seconds
Each request's first line and Host header go to DIR/requests.log.
"""

import os
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        with open(os.path.join(self.server.directory, "requests.log"), "a") as log:
            log.write(f"{self.requestline}|{self.headers.get('Host', '')}\n")
        parts = self.path.split("/")
        kind = parts[1] if len(parts) > 1 else ""
        try:
            body = bytes.fromhex(parts[2]) if len(parts) > 2 else b""
        except ValueError:
            body = b""  # the rest of the path, not bytes
        if kind.startswith("s") and kind[1:].isdigit():
            self.send_response(int(kind[1:]), "Test")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        elif kind == "chunked":
            self.send_response(200)
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            for byte in body:
                self.wfile.write(b"1\r\n" + bytes([byte]) + b"\r\n")
            self.wfile.write(b"0\r\n\r\n")
        elif kind == "close":
            self.send_response(200)
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(body)
            self.close_connection = True
        elif kind == "silent":
            time.sleep(10)
            self.close_connection = True
        else:
            self.send_error(400)


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.directory = sys.argv[1]
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print(f"PORT {server.server_address[1]}", flush=True)
    sys.stdin.read()
    server.shutdown()


if __name__ == "__main__":
    main()
