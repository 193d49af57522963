"""The trial install: the package installed through the real update control
and engine, from a page, in a throw-away Wine prefix, and the control then
created by its CLSID, as a player's browser would.

The package is served from loopback under the portal's package host
(cdn.<domain>.net), reached through http_proxy as the engine reaches any
server; the CA given with --ca is made a trusted root of the prefix.
scripts/page makes the prefix, registers the control of the build and runs
the page. This catches what reading the package cannot: a control that
registers another CLSID than the one the pages ask for, or whose
registration fails.
"""

import http.server
import os
import re
import subprocess
import tempfile
import threading

from cabinet import ToolError

SOURCE = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))

PAGE = r"""
var m = new ActiveXObject("OVManagerX.OvelinAutoUpdater.1");
var control = m.GetActiveXObject("%(clsid)s", "%(codebase)s", "%(need)s");
host.echo("trial result " + m.GetLastError() + " " + m.GetLastErrorCodeString() + " " +
          (control ? "created" : "none"));
try {
  host.echo("trial server " + new ActiveXObject("WScript.Shell").RegRead(
      "HKLM\\Software\\Classes\\CLSID\\%(clsid)s\\InprocServer32\\"));
} catch (e) {
  host.echo("trial server none");
}
"""


class Outcome:
    def __init__(self, code, name, created, version, server):
        self.code = code
        self.name = name
        self.created = created  # the page got the control
        self.version = version  # the installed file's version, or None
        self.server = server    # the installed file's Windows path, or None


def _handler(package, name):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.0"

        def log_message(self, format, *args):
            pass

        def do_GET(self):
            if self.path.split("?")[0].rsplit("/", 1)[-1] != name:
                self.send_error(404)
                return
            with open(package, "rb") as f:
                body = f.read()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Last-Modified", self.date_time_string(os.path.getmtime(package)))
            self.end_headers()
            self.wfile.write(body)
    return Handler


def portal_domain(build):
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as f:
        match = re.search(r"^OV_PORTAL_DOMAIN:\w*=(.*)$", f.read(), re.M)
    return match.group(1).strip() if match else "ovelin"


def file_version(path):
    """The file version of a PE file's fixed version information
    (VS_FIXEDFILEINFO, found by its signature), or None."""
    with open(path, "rb") as f:
        data = f.read()
    at = data.find(b"\xbd\x04\xef\xfe")
    if at < 0 or at + 16 > len(data):
        return None
    ms = int.from_bytes(data[at + 8:at + 12], "little")
    ls = int.from_bytes(data[at + 12:at + 16], "little")
    return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def _linux_path(prefix, windows_path):
    """Where a C: path of the prefix lies on this machine, or None."""
    drive, _, rest = windows_path.partition(":")
    if drive.upper() != "C" or not rest:
        return None
    return os.path.join(prefix, "drive_c", *[p for p in rest.split("\\") if p])


def run(package, clsid, need_version, ca, build):
    """Installs package in a fresh prefix and creates the control; returns
    an Outcome."""
    for needed in ("control/OVSetupAgent.dll", "engine/OVSetupCore.dll",
                   "tools/ovhost/ovhost.exe"):
        if not os.path.isfile(os.path.join(build, needed)):
            raise ToolError("the trial needs a build of the update control: no %s in %s "
                            "(give --build)" % (needed, build))
    name = os.path.basename(package)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), _handler(package, name))
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        with tempfile.TemporaryDirectory(prefix="ovpack-trial-") as work:
            domain = portal_domain(build)
            codebase = "http://cdn.%s.net/ovpack-trial/%s" % (domain, name)
            script = os.path.join(work, "trial.js")
            with open(script, "w") as f:
                f.write(PAGE % {"clsid": clsid, "codebase": codebase, "need": need_version})
            env = {k: v for k, v in os.environ.items() if not k.startswith("WINE")}
            env.update(http_proxy="http://127.0.0.1:%d" % server.server_address[1],
                       OV_PAGE_DIR=work, OV_PAGE_FRESH="1", OV_PAGE_BUILD_DIR=build)
            if ca:
                env["OV_PAGE_TRUST"] = os.path.abspath(ca)
            with tempfile.TemporaryFile() as out:
                subprocess.call([os.path.join(SOURCE, "scripts", "page"),
                                 "http://www.%s.com/ovpack-trial.html" % domain, script],
                                env=env, stdin=subprocess.DEVNULL, stdout=out,
                                stderr=subprocess.STDOUT)
                out.seek(0)
                output = out.read().decode("utf-8", "replace")
            match = re.search(r"^trial result (-?\d+) (\S+) (created|none)$", output, re.M)
            if not match:
                raise ToolError("the trial page did not run: %s" % output.strip()[-500:])
            found = re.search(r"^trial server (.+)$", output, re.M)
            registered = found.group(1) if found and found.group(1) != "none" else None
            local = registered and _linux_path(os.path.join(work, "bench", "prefix"), registered)
            version = file_version(local) if local and os.path.isfile(local) else None
            return Outcome(int(match.group(1)), match.group(2), match.group(3) == "created",
                           version, registered)
    finally:
        server.shutdown()
        server.server_close()
