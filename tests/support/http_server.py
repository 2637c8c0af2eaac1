#!/usr/bin/env python3
"""A small HTTP/1.1 server for the download tests, with faults injected by URL path.

    http_server.py --root DIR [--host 127.0.0.1] [--port 0] [--port-file FILE]

Binds host:port (port 0 picks a free one), prints "PORT=<n>" on stdout and, with
--port-file, writes the bare number to FILE once it listens. Runs until it gets
SIGTERM or SIGINT. Python standard library only.

Routes (the request log records every request except /log itself):

  /files/NAME               NAME from the root folder, with Content-Length and
                            Last-Modified (the file's time).
  /<modifiers>/files/NAME   the same file, changed by the modifiers in order:
      fault                 no effect (reads as a label: /fault/nolength/files/x)
      nolength              no Content-Length; the body ends when the connection closes
      chunked               Transfer-Encoding: chunked (no Content-Length)
      lenplus/N             Content-Length N bytes more than the file; whole file sent,
                            then the connection closes
      lenminus/N            Content-Length N bytes less than the file; whole file sent,
                            then the connection closes
      drop/N                the connection closes after N body bytes
      trickle/BYTES/MS      the body goes out BYTES at a time, MS ms apart
      nolastmod             no Last-Modified header
      auth/USER/PASS        401 with a Basic challenge unless the request carries
                            these credentials
      zerolength            Content-Length: 0 and no body
  /status/CODE/STYLE        status CODE with an error page in STYLE: apache, nginx,
                            iis, tomcat, plain (text/plain), empty (no body) or
                            long (apache's page and 256 KB more)
  /html/STYLE               status 200 with STYLE's 404 page as the body
  /redirect/CODE/REST       status CODE (301, 302, 303, 307) with Location "/REST"
                            (the query string is kept)
  /vendor/NAME              NAME from the root folder as a vendor's server gives it, with
                            the fault last set by /vendor-fault (none at start)
  /vendor-fault/MODS        sets the fault of /vendor: modifiers as above ("trickle/64/200",
                            "drop/20"), "status/CODE" for an error page in the apache
                            style, or "none"; in front of them "get" limits the fault
                            to GET requests (a HEAD asking for the size sees the file)
                            and "for/NAME" to that one file: "get/for/Update.exe/drop/9"
  /log                      the request log as text, one "METHOD PATH" line each
  /log/times                the same requests timed: "METHOD PATH START END BYTES",
                            START when the request line arrived, END when the last
                            body byte was acknowledged by the client's system (seconds
                            of a monotonic clock, 6 decimals); BYTES the body bytes
  /log/clear                empties both logs (answers "cleared")

Unknown routes and missing files answer 404 in the apache style.
"""

import argparse
import base64
import email.utils
import fcntl
import os
import signal
import socket
import struct
import sys
import termios
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

ERROR_PAGES = {
    "apache": (
        "text/html; charset=iso-8859-1",
        '<!DOCTYPE HTML PUBLIC "-//IETF//DTD HTML 2.0//EN">\n<html><head>\n'
        "<title>{code} {reason}</title>\n</head><body>\n<h1>{reason}</h1>\n"
        "<p>The requested URL was not found on this server.</p>\n<hr>\n"
        "<address>Apache/2.4.57 (Debian) Server at 127.0.0.1 Port 80</address>\n"
        "</body></html>\n",
    ),
    "nginx": (
        "text/html",
        "<html>\r\n<head><title>{code} {reason}</title></head>\r\n<body>\r\n"
        "<center><h1>{code} {reason}</h1></center>\r\n<hr><center>nginx/1.22.1</center>\r\n"
        "</body>\r\n</html>\r\n",
    ),
    "iis": (
        "text/html",
        '<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Strict//EN" '
        '"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd">\r\n'
        '<html xmlns="http://www.w3.org/1999/xhtml">\r\n<head>\r\n'
        '<meta http-equiv="Content-Type" content="text/html; charset=iso-8859-1"/>\r\n'
        "<title>{code} - {reason}.</title>\r\n</head>\r\n<body>\r\n"
        '<div id="header"><h1>Server Error</h1></div>\r\n'
        "<h2>{code} - {reason}.</h2>\r\n<p>Microsoft-IIS/10.0</p>\r\n</body>\r\n</html>\r\n",
    ),
    "tomcat": (
        "text/html;charset=utf-8",
        '<!doctype html><html lang="en"><head><title>HTTP Status {code} - {reason}</title>'
        "<style type=\"text/css\">body {{font-family:Tahoma,Arial,sans-serif;}}</style></head>"
        "<body><h1>HTTP Status {code} - {reason}</h1><hr class=\"line\" />"
        "<h3>Apache Tomcat/10.1.16</h3></body></html>",
    ),
    "plain": ("text/plain", "{code} {reason}\n"),
    "empty": ("text/html", ""),
}
# An apache page with 256 KB of comment behind it: far more than a client should read.
ERROR_PAGES["long"] = (ERROR_PAGES["apache"][0],
                       ERROR_PAGES["apache"][1] + "<!-- " + "padding " * 32768 + "-->\n")

REASONS = {
    301: "Moved Permanently", 302: "Found", 303: "See Other", 307: "Temporary Redirect",
    400: "Bad Request", 401: "Unauthorized", 403: "Forbidden", 404: "Not Found",
    410: "Gone", 500: "Internal Server Error", 502: "Bad Gateway", 503: "Service Unavailable",
}

MODIFIER_ARGS = {"fault": 0, "nolength": 0, "chunked": 0, "lenplus": 1, "lenminus": 1, "drop": 1,
                 "trickle": 2, "nolastmod": 0, "auth": 2, "zerolength": 0}


class Log:
    def __init__(self):
        self.lock = threading.Lock()
        self.lines = []
        self.times = []

    def add(self, line):
        with self.lock:
            self.lines.append(line)

    def add_time(self, line, start, end, sent):
        with self.lock:
            self.times.append("%s %.6f %.6f %d" % (line, start, end, sent))

    def text(self, timed=False):
        with self.lock:
            return "".join(line + "\n" for line in (self.times if timed else self.lines))

    def clear(self):
        with self.lock:
            self.lines.clear()
            self.times.clear()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TestHTTP/1.0"

    def log_message(self, format, *args):  # quiet: the request log is the record
        pass

    def do_HEAD(self):
        self.handle_request(head=True)

    def do_GET(self):
        self.handle_request(head=False)

    # ---- helpers -----------------------------------------------------------
    def send_simple(self, code, body, content_type="text/plain", extra=()):
        data = body.encode("latin-1")
        self.send_response(code, REASONS.get(code))
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        if not self.head:
            self.wfile.write(data)
            self.body_sent += len(data)

    def send_error_page(self, code, style, status=None, extra=()):
        content_type, template = ERROR_PAGES.get(style, ERROR_PAGES["apache"])
        body = template.format(code=code, reason=REASONS.get(code, "Error"))
        self.send_simple(status if status is not None else code, body, content_type, extra)

    # ---- routing -------------------------------------------------------------
    def handle_request(self, head):
        start = time.monotonic()
        self.head = head
        self.body_sent = 0
        path, _, query = self.path.partition("?")
        parts = [p for p in path.split("/") if p]
        logged = parts[:1] != ["log"]
        if logged:
            self.server.log.add(self.command + " " + self.path)
        try:
            self.route(parts, query)
            self.wfile.flush()
            self.wait_acknowledged()
        except (BrokenPipeError, ConnectionResetError, ConnectionAbortedError):
            self.close_connection = True
        if logged:
            self.server.log.add_time(self.command + " " + self.path, start, time.monotonic(), self.body_sent)

    def wait_acknowledged(self, limit=30.0):
        # Until the client's system has taken every byte (nothing left in the send
        # queue), so that END is when the transfer is over, not when it was queued.
        deadline = time.monotonic() + limit
        buf = struct.pack("i", 0)
        while time.monotonic() < deadline:
            try:
                left = struct.unpack("i", fcntl.ioctl(self.connection, termios.TIOCOUTQ, buf))[0]
            except OSError:
                return
            if left <= 0:
                return
            time.sleep(0.0005)

    def route(self, parts, query):
        if parts == ["log"]:
            return self.send_simple(200, self.server.log.text())
        if parts == ["log", "times"]:
            return self.send_simple(200, self.server.log.text(timed=True))
        if parts == ["log", "clear"]:
            self.server.log.clear()
            return self.send_simple(200, "cleared\n")
        if len(parts) == 3 and parts[0] == "status" and parts[1].isdigit():
            return self.send_error_page(int(parts[1]), parts[2])
        if parts[:1] == ["vendor-fault"]:
            self.server.vendor_fault = [] if parts[1:] == ["none"] else parts[1:]
            return self.send_simple(200, "fault set\n")
        if len(parts) >= 2 and parts[0] == "vendor":
            fault = self.server.vendor_fault
            applies = True
            while fault[:1] in (["get"], ["for"]):
                if fault[0] == "get":
                    applies = applies and not self.head
                    fault = fault[1:]
                else:
                    applies = applies and parts[1:] == fault[1:2]
                    fault = fault[2:]
            if not applies:
                fault = []
            if fault[:1] == ["status"] and len(fault) == 2 and fault[1].isdigit():
                return self.send_error_page(int(fault[1]), "apache")
            parts = fault + ["files"] + parts[1:]
        if len(parts) == 2 and parts[0] == "html":
            return self.send_error_page(404, parts[1], status=200)
        if len(parts) >= 2 and parts[0] == "redirect" and parts[1].isdigit():
            target = "/" + "/".join(parts[2:]) + ("?" + query if query else "")
            return self.send_simple(int(parts[1]), "moved\n", extra=[("Location", target)])
        mods = {}
        i = 0
        while i < len(parts) and parts[i] != "files":
            name = parts[i]
            if name not in MODIFIER_ARGS or i + MODIFIER_ARGS[name] >= len(parts):
                return self.send_error_page(404, "apache")
            mods[name] = parts[i + 1:i + 1 + MODIFIER_ARGS[name]]
            i += 1 + MODIFIER_ARGS[name]
        if i + 1 >= len(parts):
            return self.send_error_page(404, "apache")
        return self.serve_file("/".join(parts[i + 1:]), mods)

    def serve_file(self, name, mods):
        root = self.server.root
        full = os.path.realpath(os.path.join(root, name))
        if not full.startswith(root + os.sep) or not os.path.isfile(full):
            return self.send_error_page(404, "apache")
        if "auth" in mods:
            user, password = mods["auth"]
            expected = "Basic " + base64.b64encode((user + ":" + password).encode()).decode()
            if self.headers.get("Authorization", "") != expected:
                return self.send_error_page(401, "apache",
                                            extra=[("WWW-Authenticate", 'Basic realm="test"')])
        size = os.path.getsize(full)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if "nolastmod" not in mods:
            self.send_header("Last-Modified",
                             email.utils.formatdate(os.path.getmtime(full), usegmt=True))
        chunked = "chunked" in mods
        close_after = False
        if "zerolength" in mods:
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        elif "nolength" in mods:
            close_after = True
        else:
            announced = size
            if "lenplus" in mods:
                announced = size + int(mods["lenplus"][0])
                close_after = True
            if "lenminus" in mods:
                announced = max(0, size - int(mods["lenminus"][0]))
                close_after = True
            self.send_header("Content-Length", str(announced))
        limit = int(mods["drop"][0]) if "drop" in mods else None
        if close_after or limit is not None:
            self.send_header("Connection", "close")
        self.end_headers()
        if self.head:
            return
        with open(full, "rb") as f:
            if not mods and not chunked:
                self.wfile.flush()
                self.body_sent += self.connection.sendfile(f)
                return
            step, pause = 65536, 0.0
            if "trickle" in mods:
                step = max(1, int(mods["trickle"][0]))
                pause = int(mods["trickle"][1]) / 1000.0
            sent = 0
            while True:
                want = step if limit is None else min(step, limit - sent)
                data = f.read(want) if want > 0 else b""
                if not data:
                    break
                if chunked:
                    self.wfile.write(b"%x\r\n" % len(data) + data + b"\r\n")
                else:
                    self.wfile.write(data)
                sent += len(data)
                self.body_sent += len(data)
                if pause:
                    time.sleep(pause)
            if limit is not None:
                self.drop_connection()
                return
            if chunked:
                self.wfile.write(b"0\r\n\r\n")
        if close_after:
            self.close_connection = True

    def drop_connection(self):
        # A hard close: no final chunk, no more bytes, the client sees the end.
        self.close_connection = True
        try:
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser(description="HTTP test server with fault injection")
    parser.add_argument("--root", required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    args = parser.parse_args()

    server = Server((args.host, args.port), Handler)
    server.root = os.path.realpath(args.root)
    server.log = Log()
    server.vendor_fault = []
    port = server.server_address[1]
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write(str(port))
        os.replace(tmp, args.port_file)  # readers never see a half-written number
    print("PORT=%d" % port, flush=True)
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
