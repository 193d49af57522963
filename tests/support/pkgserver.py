"""Package server for the tests: a loopback HTTP/1.0 server that serves the
files under a root folder and misbehaves on request.

WinINet reaches it for any host name (cdn.ovelin.net, www.ovelin.com, ...)
when the wine command runs with http_proxy=http://127.0.0.1:PORT: it then
sends absolute-URI requests ("GET http://cdn.ovelin.net/pkgs/a.cab HTTP/1.0").
Plain requests ("GET /pkgs/a.cab") are answered the same way. The host name
plays no part in what is served.

Command line
    pkgserver.py start --root DIR --port N --log FILE
        Starts a background server (stdio to /dev/null) and returns once it
        listens. Its pid is written to FILE's folder as pkgserver-N.pid. A
        server of ours already on that port is stopped first.
    pkgserver.py stop --port N
        Ends the server on port N by its pid (it reports its pid to a
        loopback request for /__pid__) and waits until it has gone.
    pkgserver.py serve --root DIR --port N --log FILE
        Runs in the foreground (what start runs in the background).

In-process use (pytest)
    from pkgserver import PackageServer
    with PackageServer(root) as server:          # port 0: any free port
        url = server.url("/gen/100/a.cab")      # http://cdn.ovelin.net/...
        env["http_proxy"] = server.proxy        # http://127.0.0.1:PORT
        server.requests()                       # URLs requested so far

Request log
    One line per request, appended and flushed as the request arrives:
    "GET http://cdn.ovelin.net/pkgs/a.cab HTTP/1.0". The URL is always the
    absolute form, with the host from the request line or the Host header,
    and the path exactly as the client sent it (escapes and letter case
    kept). read_log(FILE) returns the URLs.

URL scheme
    A path is a chain of behaviour prefixes followed by the resource. The
    prefixes compose, left to right, e.g. /slow/50/nolastmod/pkgs/a.cab.
    A query ("?v=2") is ignored when the resource is looked up.

    /pkgs/a.cab           ROOT/pkgs/a.cab (any path under ROOT; percent
                          escapes decoded; ".." that leaves ROOT gives 403;
                          a missing file 404). 200, Content-Length, and
                          Last-Modified: FIXED_LAST_MODIFIED.
    /gen/<bytes>/<name>   generated body of that many bytes, never stored:
                          the byte at offset i is i % 251 (gen_bytes()).
    /empty/<name>         empty body, Content-Length: 0.
    /status/<code>/...    answers with that status. 2xx codes (206) serve
                          the body as usual (206 adds a Content-Range for the
                          whole body); 3xx carry "Location: http://HOST/..."
                          (the rest of the path) and an empty body; others
                          a short text body.
    /nolength/...         no Content-Length; the body ends when the
                          connection closes.
    /length/<text>/...    Content-Length is <text>, percent-decoded, verbatim
                          (e.g. -5 or abc); the body is sent whole.
    /nolastmod/...        no Last-Modified header.
    /lastmod/<text>/...   Last-Modified is <text>, percent-decoded, verbatim
                          (e.g. /lastmod/Sun%2C%206%20Nov%201994.../).
    /truncate/<bytes>/... Content-Length of the whole body, but only the
                          first <bytes> bytes are sent; then the connection
                          closes.
    /slow/<ms>/...        sleeps <ms> milliseconds after every 8 KiB sent.
    /delay/<ms>/...       sleeps <ms> milliseconds before answering.
    /drop/...             closes the connection without any answer.
    /after/<n>/<code>/... the first <n> requests of this exact URL are
                          answered as the rest of the path; later ones get
                          status <code> with a short text body. Counted per
                          server run: make the URL unique with /tag/.
    /tag/<text>/...       ignored; makes a URL unique to one test run so
                          that its requests can be counted in the log.
    /stall/<k>/<where>/...  the k-th and later requests of this exact URL
                          stall: nothing more is sent, the connection stays
                          open (until the client closes it, 120 s at most).
                          <where>: "status" (before the status line),
                          "headers" (in the middle of the headers), or a
                          byte count (after that much of the body).
                          Earlier requests are answered as the rest of the
                          path.
    /longer/<n>/...       from the second request of this exact URL on,
                          the body has <n> bytes more (and says so in
                          Content-Length) than the first request was told.
    /endless/...          from the second request of this exact URL on, no
                          Content-Length, and after the body the server
                          goes on sending until the client closes.
"""

import argparse
import email.utils
import http.server
import os
import signal
import socket
import subprocess
import sys
import threading
import time
import urllib.parse
import urllib.request

DEFAULT_HOST = "cdn.ovelin.net"
# Every file and generated body carries this Last-Modified, unless a prefix
# says otherwise.
FIXED_LAST_MODIFIED_EPOCH = 1445412480
FIXED_LAST_MODIFIED = email.utils.formatdate(FIXED_LAST_MODIFIED_EPOCH, usegmt=True)
CHUNK = 8192
_PATTERN_PERIOD = 251
_PATTERN = bytes(i % _PATTERN_PERIOD for i in range(CHUNK + _PATTERN_PERIOD))


def gen_bytes(offset, count):
    """The generated body's bytes [offset, offset + count)."""
    out = bytearray()
    while count > 0:
        take = min(count, CHUNK)
        start = offset % _PATTERN_PERIOD
        out += _PATTERN[start:start + take]
        offset += take
        count -= take
    return bytes(out)


def read_log(path):
    """URLs of the requests in a server log, in order."""
    try:
        with open(path, encoding="utf-8", errors="replace") as log:
            return [line.split(" ")[1] for line in log if line.count(" ") >= 2]
    except FileNotFoundError:
        return []


class _Reply:
    """What one request asks for, after its prefixes have been read."""

    def __init__(self):
        self.status = 200
        self.length = True
        self.length_text = None  # a Content-Length sent instead of the size
        self.last_modified = FIXED_LAST_MODIFIED
        self.truncate = None
        self.slow_ms = 0
        self.delay_ms = 0
        self.drop = False
        self.generated = None  # size of a generated body
        self.empty = False
        self.resource = ""  # path below the root, still escaped
        self.location_rest = ""
        self.stall = None  # "status", "headers" or a body byte count
        self.extra = 0  # bytes sent beyond the body
        self.endless = False


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    server_version = "pkgserver"

    def log_message(self, format, *args):
        pass

    def do_HEAD(self):
        self._answer(with_body=False)

    def do_GET(self):
        self._answer(with_body=True)

    def _split_target(self):
        parts = urllib.parse.urlsplit(self.path)
        if parts.scheme:
            return parts.netloc, parts.path or "/", self.path
        host = self.headers.get("Host", "localhost")
        return host, parts.path, "http://" + host + self.path

    def _answer(self, with_body):
        host, path, absolute = self._split_target()
        if path == "/__pid__" and not urllib.parse.urlsplit(self.path).scheme:
            return self._send_text(200, str(os.getpid()), with_body)
        self.server.log_request_line("%s %s %s" % (self.command, absolute, self.request_version))
        reply = self._parse(path, absolute)
        if reply is None:
            return self._send_text(400, "bad prefix", with_body)
        if reply.delay_ms:
            time.sleep(reply.delay_ms / 1000.0)
        if reply.drop:
            self.close_connection = True
            return
        if reply.stall == "status":
            return self._stall()
        if 300 <= reply.status < 400:
            self.send_response(reply.status)
            self.send_header("Location", "http://%s/%s" % (host, reply.location_rest))
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if reply.status >= 400 or reply.status < 200:
            return self._send_text(reply.status, "status %d" % reply.status, with_body)
        self._send_body(reply, with_body)

    def _parse(self, path, absolute):
        reply = _Reply()
        segments = path.lstrip("/").split("/")
        i = 0
        try:
            while i < len(segments):
                word = segments[i]
                if word == "status":
                    reply.status = int(segments[i + 1])
                    reply.location_rest = "/".join(segments[i + 2:])
                    i += 2
                elif word == "nolength":
                    reply.length = False
                    i += 1
                elif word == "length":
                    reply.length_text = urllib.parse.unquote(segments[i + 1])
                    i += 2
                elif word == "nolastmod":
                    reply.last_modified = None
                    i += 1
                elif word == "lastmod":
                    reply.last_modified = urllib.parse.unquote(segments[i + 1])
                    i += 2
                elif word == "truncate":
                    reply.truncate = int(segments[i + 1])
                    i += 2
                elif word == "slow":
                    reply.slow_ms = int(segments[i + 1])
                    i += 2
                elif word == "delay":
                    reply.delay_ms = int(segments[i + 1])
                    i += 2
                elif word == "drop":
                    reply.drop = True
                    i += 1
                elif word == "tag":
                    i += 2
                elif word == "after":
                    allowed, code = int(segments[i + 1]), int(segments[i + 2])
                    if self.server.count_url(absolute) > allowed:
                        reply.status = code
                    i += 3
                elif word == "stall":
                    first, where = int(segments[i + 1]), segments[i + 2]
                    if where not in ("status", "headers"):
                        int(where)
                    if self.server.count_url(absolute) >= first:
                        reply.stall = where
                    i += 3
                elif word == "longer":
                    if self.server.count_url(absolute) > 1:
                        reply.extra = int(segments[i + 1])
                    i += 2
                elif word == "endless":
                    if self.server.count_url(absolute) > 1:
                        reply.endless = True
                        reply.length = False
                    i += 1
                elif word == "gen":
                    reply.generated = int(segments[i + 1])
                    return reply
                elif word == "empty":
                    reply.empty = True
                    return reply
                else:
                    reply.resource = "/".join(segments[i:])
                    return reply
        except (IndexError, ValueError):
            return None
        return reply

    def _body_source(self, reply):
        """(size, reader(offset, count)) of the body, or an error status."""
        if reply.empty:
            return 0, lambda offset, count: b""
        if reply.generated is not None:
            return reply.generated, gen_bytes
        root = self.server.root
        local = os.path.realpath(os.path.join(root, urllib.parse.unquote(reply.resource)))
        if not (local + os.sep).startswith(root + os.sep):
            return 403, None
        if not os.path.isfile(local):
            return 404, None
        # Read as sent, so that large packages are never held in memory.
        self._file = open(local, "rb")
        size = os.fstat(self._file.fileno()).st_size

        def read(offset, count):
            self._file.seek(offset)
            return self._file.read(count)

        return size, read

    def _send_body(self, reply, with_body):
        self._file = None
        try:
            self._send_body_from(reply, with_body)
        finally:
            if self._file:
                self._file.close()

    def _send_body_from(self, reply, with_body):
        size, reader = self._body_source(reply)
        if reader is None:
            return self._send_text(size, "status %d" % size, with_body)
        self.send_response(reply.status)
        self.send_header("Content-Type", "application/vnd.ms-cab-compressed")
        if reply.stall == "headers":
            self.wfile.write(b"".join(self._headers_buffer))
            self.wfile.write(b"Content-Le")
            return self._stall()
        if reply.length_text is not None:
            self.send_header("Content-Length", reply.length_text)
        elif reply.length:
            self.send_header("Content-Length", str(size + reply.extra))
        if reply.status == 206 and size > 0:
            self.send_header("Content-Range", "bytes 0-%d/%d" % (size - 1, size))
        if reply.last_modified is not None:
            self.send_header("Last-Modified", reply.last_modified)
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        if not with_body:
            return
        end = size if reply.truncate is None else min(size, reply.truncate)
        if reply.stall is not None:
            end = min(end, int(reply.stall))
        offset = 0
        try:
            while offset < end:
                count = min(CHUNK, end - offset)
                self.wfile.write(reader(offset, count))
                offset += count
                if reply.slow_ms:
                    self.wfile.flush()
                    time.sleep(reply.slow_ms / 1000.0)
            self.wfile.flush()
            if reply.stall is not None:
                return self._stall()
            extra = reply.extra if not reply.endless else 1 << 30
            while extra > 0:
                count = min(CHUNK, extra)
                self.wfile.write(b"\0" * count)
                extra -= count
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            pass  # the client gave up (a size probe never reads the body)

    def _stall(self):
        """Sends nothing more until the client closes (120 s at most)."""
        self.wfile.flush()
        self.close_connection = True
        self.connection.settimeout(120)
        try:
            while self.connection.recv(4096):
                pass
        except OSError:
            pass

    def _send_text(self, status, text, with_body):
        body = text.encode("ascii")
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        if with_body:
            self.wfile.write(body)


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, root, port, log_path):
        super().__init__(("127.0.0.1", port), _Handler)
        self.root = os.path.realpath(root)
        self._lock = threading.Lock()
        self._counts = {}
        self._log = open(log_path, "a", encoding="utf-8") if log_path else None

    def log_request_line(self, line):
        with self._lock:
            if self._log:
                self._log.write(line + "\n")
                self._log.flush()

    def count_url(self, url):
        """How often this exact URL has been asked for, this one included."""
        with self._lock:
            self._counts[url] = self._counts.get(url, 0) + 1
            return self._counts[url]

    def server_close(self):
        super().server_close()
        with self._lock:
            if self._log:
                self._log.close()
                self._log = None


class PackageServer:
    """The server on a thread of this process; port 0 picks a free port."""

    def __init__(self, root, port=0, log=None):
        self._server = _Server(root, port, log)
        self.port = self._server.server_address[1]
        self.log = log
        self._thread = None

    @property
    def proxy(self):
        return "http://127.0.0.1:%d" % self.port

    def url(self, path, host=DEFAULT_HOST):
        return "http://%s/%s" % (host, path.lstrip("/"))

    def requests(self):
        return read_log(self.log) if self.log else []

    def start(self):
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        self._server.shutdown()
        self._server.server_close()
        self._thread.join()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


def _pid_file(log, port):
    return os.path.join(os.path.dirname(os.path.abspath(log)), "pkgserver-%d.pid" % port)


def _ask_pid(port):
    """Pid of our server on that port, or None when nothing of ours answers."""
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    try:
        with opener.open("http://127.0.0.1:%d/__pid__" % port, timeout=3) as answer:
            return int(answer.read().decode("ascii"))
    except (OSError, ValueError):
        return None


def _listening(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=0.5):
            return True
    except OSError:
        return False


def _serve(args):
    server = _Server(args.root, args.port, args.log)
    pid_file = _pid_file(args.log, args.port)
    with open(pid_file, "w") as f:
        f.write("%d\n" % os.getpid())

    def on_term(signum, frame):
        # shutdown() waits for serve_forever, which runs on this thread.
        threading.Thread(target=server.shutdown).start()

    signal.signal(signal.SIGTERM, on_term)
    signal.signal(signal.SIGINT, on_term)
    try:
        server.serve_forever(poll_interval=0.1)
    finally:
        server.server_close()
        if os.path.exists(pid_file):
            os.remove(pid_file)
    return 0


def _stop(port):
    pid = _ask_pid(port)
    if pid is None:
        return 0
    os.kill(pid, signal.SIGTERM)
    for _ in range(100):
        if not _alive(pid):
            return 0
        time.sleep(0.05)
    os.kill(pid, signal.SIGKILL)
    return 0


def _alive(pid):
    """False once the process has ended, even before whoever adopted the
    daemon has reaped it."""
    try:
        with open("/proc/%d/stat" % pid) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except (FileNotFoundError, IndexError):
        return False


def _start(args):
    _stop(args.port)
    os.makedirs(args.root, exist_ok=True)
    child = subprocess.Popen(
        [sys.executable, os.path.abspath(__file__), "serve",
         "--root", args.root, "--port", str(args.port), "--log", args.log],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        start_new_session=True)
    for _ in range(200):
        if child.poll() is not None:
            print("pkgserver: could not listen on port %d" % args.port, file=sys.stderr)
            return 1
        if _listening(args.port) and _ask_pid(args.port) == child.pid:
            return 0
        time.sleep(0.05)
    child.kill()
    print("pkgserver: no answer on port %d" % args.port, file=sys.stderr)
    return 1


def main(argv):
    parser = argparse.ArgumentParser(description="Package server for the tests")
    parser.add_argument("command", choices=["start", "stop", "serve"])
    parser.add_argument("--root")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--log")
    args = parser.parse_args(argv)
    if args.command == "stop":
        return _stop(args.port)
    if not args.root or not args.log:
        parser.error("start and serve need --root and --log")
    if args.command == "start":
        return _start(args)
    return _serve(args)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
