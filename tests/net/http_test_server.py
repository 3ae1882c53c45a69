#!/usr/bin/env python3
"""Local HTTP(S) server for the transfer and download tests.

Listens on 127.0.0.1 on a free port and prints "PORT <n>" as its first line.
Ends when its standard input closes (the test that started it went away) or
when it is terminated. Routes are small handlers registered with @route;
--routes FILE loads more of them (a fake video site, for example), and such a
file imports `route`, `send_body` and `ARGS` from the module "http_test_server".

  http_test_server.py [--https CERT KEY] [--root DIR] [--routes FILE ...]
"""
import argparse
import http.server
import importlib.util
import os
import socket
import ssl
import sys
import threading
import time
import urllib.parse

ROUTES = {}
ARGS = None


def route(path):
    """Registers handler(request, query) for a path; a path ending in "/" is a prefix."""
    def register(fn):
        ROUTES[path] = fn
        return fn
    return register


def send_body(req, status, body, content_type="application/octet-stream", length=True, headers=None):
    if isinstance(body, str):
        body = body.encode("utf-8")
    req.send_response(status)
    req.send_header("Content-Type", content_type)
    if length:
        req.send_header("Content-Length", str(len(body)))
    else:
        req.send_header("Connection", "close")
        req.close_connection = True
    for name, value in (headers or {}).items():
        req.send_header(name, value)
    req.end_headers()
    if req.command != "HEAD":
        req.wfile.write(body)


def pattern_bytes(n):
    """n bytes of a fixed pattern, the same every time."""
    unit = bytes(range(251))
    return (unit * (n // len(unit) + 1))[:n]


@route("/echo")
def echo(req, q):
    lines = [
        "method=" + req.command,
        "path=" + req.path,
        "agent=" + (req.headers.get("User-Agent") or ""),
        "accept=" + (req.headers.get("Accept") or ""),
        "range=" + (req.headers.get("Range") or ""),
        "content-type=" + (req.headers.get("Content-Type") or ""),
        "body=" + req.posted.decode("latin-1"),
    ]
    send_body(req, 200, "\n".join(lines) + "\n", "text/plain")


@route("/bytes")
def fixed_bytes(req, q):
    send_body(req, 200, pattern_bytes(int(q.get("n", "1000"))), q.get("type", "application/octet-stream"),
              headers={"Accept-Ranges": "bytes"})


@route("/nolength")
def no_length(req, q):
    """A body without Content-Length, ended by closing the connection."""
    data = pattern_bytes(int(q.get("n", "10000")))
    chunk = int(q.get("chunk", "4096"))
    req.send_response(200)
    req.send_header("Content-Type", "text/plain")
    req.send_header("Connection", "close")
    req.end_headers()
    req.close_connection = True
    for i in range(0, len(data), chunk):
        req.wfile.write(data[i:i + chunk])
        req.wfile.flush()


@route("/status")
def status(req, q):
    code = int(q.get("code", "404"))
    send_body(req, code, "status %d\n" % code, "text/plain")


@route("/drop")
def drop(req, q):
    """Announces n bytes, sends `send` of them, then drops the connection."""
    n, sent = int(q.get("n", "100000")), int(q.get("send", "5000"))
    req.send_response(200)
    req.send_header("Content-Type", "application/octet-stream")
    req.send_header("Content-Length", str(n))
    req.end_headers()
    req.wfile.write(pattern_bytes(sent))
    req.wfile.flush()
    req.close_connection = True
    try:
        req.connection.shutdown(socket.SHUT_RDWR)
    except OSError:
        pass


@route("/slow")
def slow(req, q):
    """n bytes in pieces of `chunk` every `delay` seconds."""
    n, chunk, delay = int(q.get("n", "100000")), int(q.get("chunk", "1000")), float(q.get("delay", "0.05"))
    data = pattern_bytes(n)
    req.send_response(200)
    req.send_header("Content-Type", "application/octet-stream")
    req.send_header("Content-Length", str(n))
    req.end_headers()
    try:
        for i in range(0, n, chunk):
            req.wfile.write(data[i:i + chunk])
            req.wfile.flush()
            time.sleep(delay)
    except OSError:
        req.close_connection = True


@route("/redirect")
def redirect(req, q):
    req.send_response(302)
    req.send_header("Location", q.get("to", "/bytes?n=10"))
    req.send_header("Content-Length", "0")
    req.end_headers()


@route("/silent")
def silent(req, q):
    """Takes the request and never answers (until the client goes away)."""
    end = time.monotonic() + float(q.get("for", "60"))
    while time.monotonic() < end:
        time.sleep(0.1)
    req.close_connection = True


GATES = {}
GATES_LOCK = threading.Lock()


def gate(name):
    with GATES_LOCK:
        return GATES.setdefault(name, threading.Event())


@route("/gate")
def gated(req, q):
    """n bytes: the first `first` of them at once, the rest once /open?name= of the same name was asked for."""
    n, first = int(q.get("n", "10000")), int(q.get("first", "1000"))
    data = pattern_bytes(n)
    req.send_response(200)
    req.send_header("Content-Type", "application/octet-stream")
    req.send_header("Content-Length", str(n))
    req.end_headers()
    req.wfile.write(data[:first])
    req.wfile.flush()
    gate(q.get("name", "")).wait(60)
    req.wfile.write(data[first:])


@route("/open")
def open_gate(req, q):
    gate(q.get("name", "")).set()
    send_body(req, 200, "open\n", "text/plain")


@route("/loop")
def loop(req, q):
    req.send_response(302)
    req.send_header("Location", "/loop?n=%d" % (int(q.get("n", "0")) + 1))
    req.send_header("Content-Length", "0")
    req.end_headers()


@route("/auth")
def auth(req, q):
    """Basic authentication for user:pass; 401 with the realm otherwise."""
    import base64
    expected = "Basic " + base64.b64encode(b"user:pass").decode()
    if req.headers.get("Authorization") == expected:
        send_body(req, 200, "welcome\n", "text/plain")
    else:
        send_body(req, 401, "who are you\n", "text/plain",
                  headers={"WWW-Authenticate": 'Basic realm="%s"' % q.get("realm", "Test Realm")})


@route("/file/")
def serve_file(req, q):
    """A file of --root, sent with sendfile so that the server is never the slow side."""
    name = os.path.basename(urllib.parse.unquote(urllib.parse.urlsplit(req.path).path[len("/file/"):]))
    path = os.path.join(ARGS.root or ".", name)
    try:
        f = open(path, "rb")
    except OSError:
        send_body(req, 404, "no such file\n", "text/plain")
        return
    with f:
        size = os.fstat(f.fileno()).st_size
        req.send_response(200)
        req.send_header("Content-Type", "application/octet-stream")
        req.send_header("Content-Length", str(size))
        req.end_headers()
        req.wfile.flush()
        req.connection.sendfile(f)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    posted = b""

    def log_message(self, fmt, *args):
        pass

    def dispatch(self):
        length = int(self.headers.get("Content-Length") or 0)
        self.posted = self.rfile.read(length) if length else b""
        parsed = urllib.parse.urlsplit(self.path)
        handler = ROUTES.get(parsed.path)
        if handler is None:
            for prefix, fn in ROUTES.items():
                if prefix.endswith("/") and parsed.path.startswith(prefix):
                    handler = fn
                    break
        if handler is None:
            send_body(self, 404, "no route\n", "text/plain")
            return
        query = dict(urllib.parse.parse_qsl(parsed.query, keep_blank_values=True))
        try:
            handler(self, query)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    do_GET = dispatch
    do_POST = dispatch
    do_HEAD = dispatch


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 64

    def handle_error(self, request, client_address):
        pass  # a client that hung up early is part of the tests


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--https", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--root")
    parser.add_argument("--routes", action="append", default=[])
    ARGS = parser.parse_args()
    sys.modules["http_test_server"] = sys.modules[__name__]
    for i, path in enumerate(ARGS.routes):
        spec = importlib.util.spec_from_file_location("extra_routes_%d" % i, path)
        spec.loader.exec_module(importlib.util.module_from_spec(spec))

    server = Server(("127.0.0.1", 0), Handler)
    if ARGS.https:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(ARGS.https[0], ARGS.https[1])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print("PORT %d" % server.server_address[1], flush=True)

    def watch_stdin():
        try:
            while sys.stdin.buffer.read(4096):
                pass
        finally:
            os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
