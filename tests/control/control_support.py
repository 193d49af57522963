"""Helpers for the update control's end-to-end tests: Wine on the test
bench, the registry of its prefix, regsvr32, and pages run in ovhost.exe.

Every Wine program runs through scripts/wine-run. Output goes to a file,
never a pipe: Wine's background processes (and the COM surrogate) inherit
the program's handles and would keep a pipe reader waiting.
"""

import os
import subprocess
import tempfile
import time

BUILD = os.environ["OV_BUILD_DIR"]
BENCH = os.environ["OV_BENCH_DIR"]
SOURCE = os.environ["OV_SOURCE_DIR"]

AGENT_DLL = os.path.join(BUILD, "control", "OVSetupAgent.dll")
ENGINE_DIR = os.path.join(BUILD, "engine")
OVHOST = os.path.join(BUILD, "tools", "ovhost", "ovhost.exe")
INPLACE_DLL = os.path.join(BUILD, "tests", "control", "OVInPlace.dll")

AGENT_CLSID = "{6A2D4F10-3B7E-4C21-9D58-0E4B7A913C65}"
APPID = "{B3E81C47-52D9-4F0A-A6E2-7C19D4058F3B}"
LIBID = "{0F94C2A8-6D13-47B5-8E70-B2A5D19E3C44}"
IID = "{9C3E5B72-1A4D-4F86-B0E3-6D21F8A47C19}"
INPLACE_CLSID = "{5D6E7F80-1A2B-4C3D-8E9F-A0B1C2D3E4F5}"
E_FAIL = -2147467259


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(args, env=None, timeout=300, attempts=1):
    """Runs a Windows program on the bench; returns (exit status, output).
    attempts > 1 (wine-run's OV_START_ATTEMPTS) is for programs that print a
    line with every outcome, such as reg.exe and ovhost.exe."""
    full_env = dict(os.environ)
    full_env.update(env or {})
    full_env["OV_START_ATTEMPTS"] = str(attempts)
    with tempfile.TemporaryFile() as out:
        status = subprocess.run([os.path.join(SOURCE, "scripts", "wine-run"), BENCH] + list(args),
                                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                env=full_env, timeout=timeout).returncode
        out.seek(0)
        return status, out.read().decode("utf-8", "replace")


def regsvr32(dll, unregister=False, winver="win7"):
    """Registers (or unregisters) dll as Windows winver would."""
    args = ["regsvr32.exe", "/s"] + (["/u"] if unregister else []) + [winpath(dll)]
    status, output = wine(args, env={"OV_WINVER": winver})
    assert status == 0, output


def reg(*args):
    return wine(["reg"] + list(args), attempts=3)


def reg_tree(key):
    """{subkey path relative to key: {value name: (type, data)}} of key and
    everything below it; None when the key does not exist. The default
    value is named ""."""
    status, output = reg("query", key, "/s")
    if status != 0:
        return None
    tree, current = {}, None
    prefix = key.lower()
    for line in output.splitlines():
        if line.startswith("HKEY_"):
            path = line.strip()
            rel = path[len(prefix):].lstrip("\\") if path.lower().startswith(prefix) else path
            current = tree.setdefault(rel, {})
        elif line.startswith("    ") and current is not None:
            parts = line[4:].split("    ", 2)
            if len(parts) < 2:
                continue
            name = "" if parts[0] == "(Default)" else parts[0]
            current[name] = (parts[1], parts[2] if len(parts) > 2 else "")
    return tree


def reg_delete(key):
    reg("delete", key, "/f")


def prepare_code_download_keys():
    """The browser's downloaded-controls folder and code-download keys."""
    software = "HKEY_LOCAL_MACHINE\\SOFTWARE\\"
    reg_set(software + "Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ActiveX Cache",
            "0", "C:\\windows\\Downloaded Program Files")
    for key in ("Microsoft\\Windows\\CurrentVersion\\ModuleUsage",
                "Microsoft\\Windows\\CurrentVersion\\SharedDlls",
                "Microsoft\\Code Store Database\\Distribution Units"):
        reg_set(software + key, "", "")


def reg_set(key, name, value, kind="REG_SZ"):
    args = ["add", key, "/f", "/t", kind, "/d", str(value)]
    args[3:3] = ["/ve"] if name == "" else ["/v", name]
    status, output = reg(*args)
    assert status == 0, output


def run_page(url, script, answer=None, no_window=False, no_browser=False, no_document=False,
             document_url=None, winver="win7", env=None, timeout=300):
    """Runs script as the page at url in ovhost.exe, on Windows winver, with
    the engine on the search path; no_browser, no_document and document_url
    host it as ovhost's options of those names say. Returns (exit status, printed
    lines)."""
    with tempfile.NamedTemporaryFile("w", suffix=".js", delete=False, dir=BUILD) as page:
        page.write(script)
    args = [OVHOST]
    if answer:
        args.append("--answer=" + answer)
    if no_window:
        args.append("--no-window")
    if no_browser:
        args.append("--no-browser")
    if no_document:
        args.append("--no-document")
    if document_url:
        args.append("--document-url=" + document_url)
    args += [url, winpath(page.name)]
    # wine-run keeps a version setting per program: always give one.
    full_env = {"WINEPATH": winpath(ENGINE_DIR), "OV_WINVER": winver}
    full_env.update(env or {})
    try:
        status, output = wine(args, env=full_env, timeout=timeout, attempts=2)
    finally:
        os.unlink(page.name)
    return status, [line.rstrip("\r") for line in output.splitlines() if line.strip()]


def surrogate_pids():
    """Process ids of the COM surrogates of this bench's prefix."""
    prefix = open(os.path.join(BENCH, "env")).read().split("WINEPREFIX=")[1].split()[0]
    pids = set()
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                cmdline = f.read().lower()
            with open("/proc/%s/environ" % pid, "rb") as f:
                environ = f.read()
        except OSError:
            continue
        if b"dllhost.exe" in cmdline and ("WINEPREFIX=" + prefix).encode() in environ.split(b"\0"):
            pids.add(int(pid))
    return pids


def end_processes(pids):
    for pid in pids:
        try:
            os.kill(pid, 15)
        except ProcessLookupError:
            pass
    deadline = time.time() + 10
    while time.time() < deadline and any(os.path.exists("/proc/%d" % p) for p in pids):
        time.sleep(0.1)
