#!/usr/bin/env python3
"""A small update server for the tests and the demo.

Serves the files of one folder on 127.0.0.1 at a free port, which it writes
into the file named by --port-file (in that folder unless a path is given)
once it listens, and keeps the file server.alive there while it runs. Every
request is appended to requests.log in the folder as
"GET <path>".

Leading path segments that begin with "_" change how the rest of the path is
answered; they can be combined:

  _404, _500        answer with that status
  _drop             close the connection without an answer
  _short            announce the whole length, send half the body, close
  _slow             send the body in small pieces with pauses between them
  _stall            send half the body, then wait --stall seconds before the rest
  _crawl           send the body in three pieces, --stall seconds between them
  _silent          accept the request and never answer it
  _trickle          send the body in 4 KiB pieces, --trickle seconds between them
  _steady           send the body in 16 KiB pieces, a quarter second between them
                    (64 KiB a second)
  _hang             send the headers and half the body, then nothing more
  _bodyonly         the other segments leave "<file>.md5" requests alone, so
                    that a damaged body meets a correct checksum
  _unsized          announce no length and end the body by closing the connection,
                    so that with _short a cut body looks complete to the client
  _endless          announce no length and keep sending zero bytes after the body,
                    64 KiB at a time, until the client hangs up (at most 256 MiB);
                    each such answer appends one line to endless.log in the folder:
                    "<path> sent <bytes> <closed|not closed> after <seconds>", the
                    bytes that went out (body included) and whether the client
                    closed the connection, the seconds counted from the request to
                    the close or to the end of sending; with _trickle the zeros
                    go out 4 KiB every --trickle seconds

A request for "<file>.md5" that has no such file on disk is answered with the
MD5 digest of <file>, 32 lower-case hex digits, changed by these segments:

  _md5upper         digits in upper case
  _md5name          digits, two spaces and the file name (as md5sum writes)
  _md5wrong         the digest of something else
  _md5short         only the first 31 digits
  _md5bom           a UTF-8 byte order mark before the digits
  _md5missing       404 for the checksum only
  _md5empty         an empty checksum document (200, no body)

The server ends by itself when the port file disappears (the test removed its
folder), when its parent process ends, or after --lifetime seconds.
"""

import argparse
import hashlib
import http.server
import os
import select
import socket
import sys
import threading
import time
import urllib.parse

MODIFIERS = {"_404", "_500", "_drop", "_short", "_slow", "_stall", "_crawl", "_silent", "_hang",
             "_trickle", "_steady", "_endless", "_unsized", "_bodyonly",
             "_md5upper", "_md5name", "_md5wrong", "_md5short", "_md5bom", "_md5missing",
             "_md5empty"}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QuillMarrowTestServer/1.0"
    # Headers and body go out in separate writes; without this the body waits
    # for the client's delayed acknowledgement, 40 ms on every request.
    disable_nagle_algorithm = True

    def log_message(self, fmt, *args):  # keep the console quiet
        pass

    def record(self):
        with self.server.log_lock:
            with open(os.path.join(self.server.root, "requests.log"), "a", encoding="utf-8") as log:
                log.write("GET %s\n" % self.path)

    def split(self):
        path = urllib.parse.urlsplit(self.path).path
        segments = [urllib.parse.unquote(s) for s in path.split("/") if s]
        modifiers = set()
        while segments and segments[0] in MODIFIERS:
            modifiers.add(segments.pop(0))
        return modifiers, segments

    def local_file(self, segments):
        if not segments or any(s in ("..", ".") or "\\" in s for s in segments):
            return None
        return os.path.join(self.server.root, *segments)

    def body_for(self, modifiers, segments):
        """The answer's bytes, or None for 404."""
        path = self.local_file(segments)
        if path is None:
            return None
        if os.path.isfile(path):
            with open(path, "rb") as f:
                return f.read()
        if not path.endswith(".md5") or "_md5missing" in modifiers:
            return None
        target = path[:-4]
        if not os.path.isfile(target):
            return None
        with open(target, "rb") as f:
            data = f.read()
        if "_md5wrong" in modifiers:
            data += b"tampered"
        if "_md5empty" in modifiers:
            return b""
        digest = hashlib.md5(data).hexdigest()
        if "_md5upper" in modifiers:
            digest = digest.upper()
        if "_md5short" in modifiers:
            digest = digest[:31]
        text = digest.encode("ascii")
        if "_md5name" in modifiers:
            text += b"  " + os.path.basename(target).encode("utf-8")
        if "_md5bom" in modifiers:
            text = b"\xef\xbb\xbf" + text
        return text + b"\n"

    def do_GET(self):
        self.record()
        modifiers, segments = self.split()
        if "_bodyonly" in modifiers and segments and segments[-1].endswith(".md5"):
            modifiers = {m for m in modifiers if m.startswith("_md5")}
        if "_silent" in modifiers:
            self.server.stopping.wait()
            self.close_connection = True
            return
        if "_drop" in modifiers:
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        for code in (404, 500):
            if "_%d" % code in modifiers:
                self.send_plain(code, b"error %d\n" % code)
                return
        is_checksum = bool(segments) and segments[-1].endswith(".md5")
        if is_checksum and "_md5missing" in modifiers:
            self.send_plain(404, b"no checksum\n")
            return
        body = self.body_for(modifiers, segments)
        if body is None:
            self.send_plain(404, b"not found\n")
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if "_unsized" not in modifiers and "_endless" not in modifiers:
            self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-cache")
        if "_short" in modifiers or "_unsized" in modifiers or "_endless" in modifiers:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        try:
            if "_short" in modifiers:
                self.wfile.write(body[: len(body) // 2])
                self.wfile.flush()
                self.close_connection = True
                self.connection.shutdown(socket.SHUT_RDWR)
            elif "_slow" in modifiers:
                piece = max(1, len(body) // 8)
                for start in range(0, len(body), piece):
                    self.wfile.write(body[start:start + piece])
                    self.wfile.flush()
                    time.sleep(0.2)
            elif "_crawl" in modifiers:
                piece = max(1, (len(body) + 2) // 3)
                for start in range(0, len(body), piece):
                    if start:
                        time.sleep(self.server.stall)
                    self.wfile.write(body[start:start + piece])
                    self.wfile.flush()
            elif "_endless" in modifiers:
                self.send_endless(body, "_trickle" in modifiers)
            elif "_trickle" in modifiers:
                # Pieces of 1 KiB or more: Wine's client reports nothing smaller.
                for start in range(0, len(body), 4096):
                    if start:
                        time.sleep(self.server.trickle)
                    self.wfile.write(body[start:start + 4096])
                    self.wfile.flush()
            elif "_steady" in modifiers:
                for start in range(0, len(body), 16384):
                    if start:
                        time.sleep(0.25)
                    self.wfile.write(body[start:start + 16384])
                    self.wfile.flush()
            elif "_hang" in modifiers:
                self.wfile.write(body[: len(body) // 2])
                self.wfile.flush()
                self.server.stopping.wait()
                self.close_connection = True
            elif "_stall" in modifiers:
                half = len(body) // 2
                self.wfile.write(body[:half])
                self.wfile.flush()
                time.sleep(self.server.stall)
                self.wfile.write(body[half:])
            else:
                self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def send_endless(self, body, trickle):
        """Sends body, then zeros until the client closes or 256 MiB went
        out, and records what was sent and whether the client closed."""
        started = time.monotonic()
        self.wfile.flush()
        sock = self.connection
        pending = memoryview(body)
        sent = 0
        closed = False
        filler = b"\0" * (4096 if trickle else 65536)
        pause = self.server.trickle if trickle else 0.005
        pieces = (256 << 20) // len(filler)
        try:
            while not self.server.stopping.is_set():
                if not pending:
                    if pieces == 0:
                        break
                    pieces -= 1
                    pending = memoryview(filler)
                readable, writable, _ = select.select([sock], [sock], [], 0.2)
                # The client sends nothing after its request: a readable
                # socket is one the client closed.
                if readable and not sock.recv(4096):
                    closed = True
                    break
                if writable:
                    n = sock.send(pending)
                    sent += n
                    pending = pending[n:]
                    # With a short breath between pieces: a client that reads
                    # while data is waiting would otherwise never come up again.
                    if not pending:
                        time.sleep(pause)
        except OSError:
            closed = True
        self.close_connection = True
        with self.server.log_lock:
            with open(os.path.join(self.server.root, "endless.log"), "a", encoding="utf-8") as log:
                log.write("%s sent %d %s after %.3f\n" % (self.path, sent,
                          "closed" if closed else "not closed", time.monotonic() - started))

    def send_plain(self, code, body):
        self.send_response(code)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = False


def watch(server, port_file, lifetime, parent):
    """Ends the server once nobody needs it any more."""
    deadline = time.monotonic() + lifetime
    while True:
        time.sleep(0.3)
        if not os.path.exists(port_file) or time.monotonic() > deadline:
            break
        if parent > 1 and os.getppid() != parent:
            break
    server.stopping.set()
    server.shutdown()


def main():
    parser = argparse.ArgumentParser(description="Update server for tests")
    parser.add_argument("--root", default=".", help="folder to serve (default: the working folder)")
    parser.add_argument("--port-file", default="port.txt")
    parser.add_argument("--lifetime", type=float, default=900.0)
    parser.add_argument("--stall", type=float, default=3.0)
    parser.add_argument("--trickle", type=float, default=0.5)
    parser.add_argument("--watch-parent", action="store_true",
                        help="end when the starting process ends")
    args = parser.parse_args()

    root = os.path.abspath(args.root)
    port_file = os.path.join(root, args.port_file)
    server = Server(("127.0.0.1", 0), Handler)
    server.root = root
    server.stall = args.stall
    server.trickle = args.trickle
    server.log_lock = threading.Lock()
    server.stopping = threading.Event()  # set when the server ends: held answers end too
    alive = os.path.join(root, "server.alive")
    open(alive, "w").close()
    temp = port_file + ".tmp"
    with open(temp, "w", encoding="ascii") as f:
        f.write("%d\n" % server.server_address[1])
    os.replace(temp, port_file)
    parent = os.getppid() if args.watch_parent else 0
    threading.Thread(target=watch, args=(server, port_file, args.lifetime, parent),
                     daemon=True).start()
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
        if os.path.exists(alive):
            os.remove(alive)
    return 0


if __name__ == "__main__":
    sys.exit(main())
