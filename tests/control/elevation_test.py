"""The elevated install path on Windows 7, run for real: a page in ovhost.exe
asks the update control for an install; the control's own CoGetObject on
"Elevation:Administrator!new:{clsid}" reaches the stand-in registered for
the "Elevation" prefix, which creates the elevated instance in the COM
surrogate (dllhost.exe), where the engine and its setup window run. A
stand-in set to decline makes every request fail as a user who says no.

The surrogate and the stand-in do not exit on their own: the module ends
the ones it started, by process id."""

import os
import shutil
import subprocess
import sys
import uuid

import pytest

from control_support import (AGENT_CLSID, AGENT_DLL, BENCH, BUILD, SOURCE, end_processes,
                             prepare_code_download_keys, reg_delete, reg_set, reg_tree, regsvr32,
                             run_page, surrogate_pids, wine)

sys.path.insert(0, os.path.join(SOURCE, "tests", "support"))
from pkgserver import read_log  # noqa: E402

MAIN = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A01}"
PKGS = "http://cdn.ovelin.net/pkgs/install/"
PAGE = "http://game.ovelin.net/play/index.html"
STANDIN_EXE = os.path.join(BUILD, "tools", "elevation_standin", "elevation_standin.exe")
STANDIN_CLSID = "{7E8F9A0B-2C3D-4E5F-9A1B-2C3D4E5F6A7B}"
STANDIN_SETTINGS = "HKEY_CURRENT_USER\\Software\\OVElevationStandIn"
HKCR = "HKEY_CLASSES_ROOT"
HKLM = "HKEY_LOCAL_MACHINE\\SOFTWARE"

HEADER = """
var m = new ActiveXObject("OVManagerX.OvelinAutoUpdater.1");
function code() { return m.GetLastError() + " " + m.GetLastErrorCodeString(); }
"""


def prefix_dir():
    return open(os.path.join(BENCH, "env")).read().split("WINEPREFIX=")[1].split()[0]


def standin_pids():
    prefix = ("WINEPREFIX=" + prefix_dir()).encode()
    pids = set()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                cmdline = f.read().lower()
            with open("/proc/%s/environ" % pid, "rb") as f:
                environ = f.read().split(b"\0")
        except OSError:
            continue
        if b"elevation_standin.exe" in cmdline and prefix in environ:
            pids.add(int(pid))
    return pids


def start_rpc_service():
    """Local servers meet their callers through the RPC service. On a new
    bench its start stays blocked ("Service database locked") until the
    prefix's server is started anew; the bench's own stop still ends it."""
    status, output = wine(["net", "start", "RpcSs"])
    if status == 0 or "already running" in output:
        return
    subprocess.run(["bash", "-c", '. "$0/env" && "$WINESERVER" -k; "$WINESERVER" -p', BENCH],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    status, output = wine(["net", "start", "RpcSs"])
    assert status == 0 or "already running" in output, output


@pytest.fixture(scope="module", autouse=True)
def elevation():
    """The control registered as on Windows 7; the stand-in registered as
    the "Elevation" prefix's class, served by its local server. An empty
    DllSurrogate makes this platform's 64-bit COM start the 32-bit
    surrogate, which this machine cannot run; for this module the 64-bit
    one stands in its place, so the control's registration is used as it
    is."""
    windows = os.path.join(prefix_dir(), "drive_c", "windows")
    wow64 = os.path.join(windows, "syswow64")
    made = not os.path.isdir(wow64)
    os.makedirs(wow64, exist_ok=True)
    surrogate32 = os.path.join(wow64, "dllhost.exe")
    saved = surrogate32 + ".ov-saved"
    if os.path.exists(surrogate32):
        os.replace(surrogate32, saved)
    shutil.copyfile(os.path.join(windows, "system32", "dllhost.exe"), surrogate32)
    start_rpc_service()
    before = surrogate_pids() | standin_pids()
    regsvr32(AGENT_DLL, winver="win7")
    prepare_code_download_keys()
    reg_set(HKCR + "\\Elevation\\CLSID", "", STANDIN_CLSID)
    reg_set(HKCR + "\\CLSID\\" + STANDIN_CLSID + "\\LocalServer32", "",
            "Z:" + STANDIN_EXE.replace("/", "\\"))
    yield
    end_processes((surrogate_pids() | standin_pids()) - before)
    reg_delete(HKCR + "\\Elevation")
    reg_delete(HKCR + "\\CLSID\\" + STANDIN_CLSID)
    reg_delete(STANDIN_SETTINGS)
    os.remove(surrogate32)
    if os.path.exists(saved):
        os.replace(saved, surrogate32)
    if made:
        os.rmdir(wow64)


@pytest.fixture
def decline():
    reg_set(STANDIN_SETTINGS, "Decline", 1, kind="REG_DWORD")
    yield
    reg_set(STANDIN_SETTINGS, "Decline", 0, kind="REG_DWORD")


def requests_for(url):
    path = "/" + url.split("://", 1)[-1].split("/", 1)[-1]
    return [seen for seen in read_log(os.environ["OV_PKG_LOG"]) if seen.endswith(path)]


def page(script):
    status, lines = run_page(PAGE, HEADER + script, winver="win7")
    assert status == 0, lines
    return lines


def last_request():
    return reg_tree(STANDIN_SETTINGS)[""]["LastName"][1]


def test_elevated_install_runs_the_setup_window_in_the_surrogate():
    reg_delete(HKLM + "\\Classes\\CLSID\\" + MAIN)
    before = len(requests_for(PKGS + "main4.cab"))
    lines = page("""
        host.echo(m.InstallActiveXObject("%(c)s", "%(u)s", ""), code());
        var control = m.GetActiveXObject("%(c)s", "%(u)s", "1.0.0.4");
        host.echo(code(), control.GetVersion());
    """ % {"c": MAIN, "u": PKGS + "main4.cab"})
    # The setup window belongs to the surrogate, not to the page's process;
    # success leaves the page's object at its fresh code.
    assert lines == ["window[other]: Ovelin ActiveX Setup Wizard.", "1 0 SUCCESS", "0 SUCCESS 1.0.0.4"]
    assert len(requests_for(PKGS + "main4.cab")) > before
    assert last_request() == "Elevation:Administrator!new:" + AGENT_CLSID
    assert surrogate_pids(), "no surrogate ran the elevated instance"


def test_engine_failure_in_the_surrogate_becomes_the_pages_code():
    codebase = "http://cdn.ovelin.net/status/404/%s/missing.cab" % uuid.uuid4().hex
    lines = page("""
        host.echo(m.InstallActiveXObject("%s", "%s", ""), code());
    """ % (MAIN, codebase))
    boxes = [line for line in lines if line.startswith("msgbox")]
    assert len(boxes) == 1 and boxes[0].startswith("msgbox[other]: "), lines
    assert "DLL_CANT_GETFILESIZE" in boxes[0]
    assert lines[-1] == "0 5006 DLL_CANT_GETFILESIZE"
    assert requests_for(codebase) != []


def test_declined_elevation_fails_with_2104_and_installs_nothing(decline):
    codebase = "http://cdn.ovelin.net/never/%s/declined.cab" % uuid.uuid4().hex
    lines = page("""
        host.echo(m.InstallActiveXObject("%(c)s", "%(u)s", ""), code());
        var control = m.GetActiveXObject("{6F1D0C3E-2B4A-4C5D-9E8F-0A1B2C3D4E61}", "%(u)s", "");
        host.echo(typeof control, control === null, code());
    """ % {"c": MAIN, "u": codebase})
    assert lines == ["0 2104 MODULE_AUTH_ELEVATION_FAIL", "object true 2104 MODULE_AUTH_ELEVATION_FAIL"]
    assert requests_for(codebase) == []
    assert last_request() == "Elevation:Administrator!new:" + AGENT_CLSID
