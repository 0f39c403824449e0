#!/usr/bin/env python3
"""A web server on 127.0.0.1 whose link has a fixed rate, for scripts/bench.sh.

  paced_server.py --directory DIR --rate BYTES_PER_SECOND --port-file FILE --log FILE

GET /NAME[?drop=N&...] serves the file NAME of DIR with a strong ETag and
Accept-Ranges; "Range: bytes=F-" is answered 206 with Content-Range unless an
If-Range names another validator (then 200 with the whole file), 416 past the
end. With drop=N every connection is reset once N body bytes went out on it,
wherever a body stands then, as a line that breaks every N bytes does; other
query parameters only tell the runs apart in the log.

All connections share one link: a token bucket of RATE bytes a second,
spent in large writes (sendfile), so that the rate is the link's and not what
Python manages. Each answer appends "TARGET STATUS FIRST SENT SECONDS" to the
log, SENT being the body bytes the client received. The port is written to the
port file once the server listens.
"""

import argparse
import fcntl
import http.server
import os
import socket
import struct
import termios
import threading
import time
import urllib.parse

# One write of the link: large enough that Python costs nothing beside the
# kernel's copy, small enough that the flow is even at tens of MB a second.
CHUNK = 256 * 1024


class Link:
    """The token bucket that every body byte passes, whichever connection sends it."""

    def __init__(self, rate):
        self.rate = float(rate)
        self.lock = threading.Lock()
        self.tokens = float(CHUNK)
        self.last = time.monotonic()

    def take(self, count):
        """Blocks until `count` bytes may go out."""
        with self.lock:
            now = time.monotonic()
            self.tokens = min(float(CHUNK), self.tokens + (now - self.last) * self.rate)
            self.last = now
            self.tokens -= count
            wait = -self.tokens / self.rate if self.tokens < 0 else 0.0
        if wait > 0:
            time.sleep(wait)


class Log:
    def __init__(self, path):
        self.lock = threading.Lock()
        self.file = open(path, "a", buffering=1)

    def add(self, target, status, first, sent, seconds):
        with self.lock:
            self.file.write(f"{target} {status} {first} {sent} {seconds:.3f}\n")


class State:
    directory = ""
    link = None
    log = None


def unsent_bytes(connection):
    """What the kernel still holds of what was written to the socket."""
    raw = fcntl.ioctl(connection.fileno(), termios.TIOCOUTQ, struct.pack("i", 0))
    return struct.unpack("i", raw)[0]


class PacedHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "PacedLink/1.0"

    def setup(self):
        super().setup()
        self.sent_on_connection = 0

    def log_message(self, fmt, *args):
        pass

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        name = urllib.parse.unquote(url.path.lstrip("/"))
        path = os.path.join(State.directory, name)
        if not name or "/" in name or name in (".", "..") or not os.path.isfile(path):
            self.send_error(404)
            return
        with open(path, "rb") as file:
            info = os.fstat(file.fileno())
            tag = f'"{info.st_mtime_ns:x}-{info.st_size:x}"'
            self.answer(file, info.st_size, tag, int(query.get("drop", "0")))

    def answer(self, file, size, tag, drop):
        first, status = self.wanted_range(size, tag)
        if status == 416:
            self.send_response(416)
            self.send_header("Content-Range", f"bytes */{size}")
            self.send_header("Content-Length", "0")
            self.end_headers()
            State.log.add(self.path, 416, first, 0, 0.0)
            return
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(size - first))
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("ETag", tag)
        if status == 206:
            self.send_header("Content-Range", f"bytes {first}-{size - 1}/{size}")
        self.end_headers()
        end = size
        if drop > 0:
            end = min(size, first + max(0, drop - self.sent_on_connection))
        start = time.monotonic()
        offset = first
        try:
            while offset < end:
                count = min(CHUNK, end - offset)
                State.link.take(count)
                offset += self.connection.sendfile(file, offset, count)
            sent = offset - first
            if end < size:
                sent -= self.break_line()
        except OSError:
            sent = offset - first
            self.close_connection = True
        self.sent_on_connection += sent
        State.log.add(self.path, status, first, sent, time.monotonic() - start)

    def wanted_range(self, size, tag):
        """(first byte, status) of the answer to the request's Range and If-Range."""
        wanted = self.headers.get("Range", "")
        condition = self.headers.get("If-Range")
        if not (wanted.startswith("bytes=") and wanted.endswith("-") and wanted[6:-1].isdigit()):
            return 0, 200
        if condition is not None and condition != tag:
            return 0, 200
        first = int(wanted[6:-1])
        return (first, 416) if first >= size else (first, 206)

    def break_line(self):
        """Resets the connection once the client took in what was written; answers
        the bytes that never reached it."""
        deadline = time.monotonic() + 2.0
        while unsent_bytes(self.connection) > 0 and time.monotonic() < deadline:
            time.sleep(0.005)
        lost = unsent_bytes(self.connection)
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.close_connection = True
        self.connection.close()
        return lost


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--directory", required=True)
    parser.add_argument("--rate", type=int, required=True, help="bytes a second")
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--log", required=True)
    args = parser.parse_args()
    State.directory = args.directory
    State.link = Link(args.rate)
    State.log = Log(args.log)
    server = Server(("127.0.0.1", 0), PacedHandler)
    with open(args.port_file + ".tmp", "w") as f:
        f.write(f"{server.server_address[1]}\n")
    os.replace(args.port_file + ".tmp", args.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
