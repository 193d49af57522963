"""scripts/demo end to end on this build, as a user sees it: the first run
installs the sample control with the wizard on screen and photographs it;
the second run, on the kept prefix, finds the control and downloads nothing.
Both runs print each step's result code and name, and neither leaves a
process behind."""

import os
import re
import shutil
import subprocess

import pytest

BUILD = os.environ["OV_BUILD_DIR"]
SOURCE = os.environ["OV_SOURCE_DIR"]
BENCH = os.environ["OV_BENCH_DIR"]
DEMO = os.path.join(BUILD, "demo-test")


def bench_arch():
    with open(os.path.join(BENCH, "env")) as f:
        return re.search(r"^export OV_ARCH=(\S+)", f.read(), re.M).group(1)


def run_demo(fresh, **settings):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY" and not k.startswith("WINE")}
    env.update(OV_DEMO_SKIP_BUILD="1", OV_DEMO_BUILD_DIR=BUILD, OV_DEMO_DIR=DEMO,
               OV_DEMO_ARCH=bench_arch(), OV_DEMO_FRESH="1" if fresh else "", **settings)
    log = os.path.join(BUILD, "demo-test.log")
    with open(log, "wb") as out:
        status = subprocess.run([os.path.join(SOURCE, "scripts", "demo")], env=env,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                timeout=600).returncode
    with open(log, encoding="utf-8", errors="replace") as f:
        return status, f.read()


def requests_answered(output):
    return int(re.search(r"the package server answered (\d+) requests", output).group(1))


def leftover_processes():
    """Processes still running that belong to the demo's folder."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                environ = f.read()
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                cmdline = f.read()
        except OSError:
            continue
        if DEMO.encode() in environ or DEMO.encode() in cmdline:
            found.append((int(pid), cmdline.replace(b"\0", b" ")[:120]))
    return found


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n"
    return int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")


@pytest.fixture(scope="module")
def runs():
    shutil.rmtree(DEMO, ignore_errors=True)
    first = run_demo(fresh=True)
    second = run_demo(fresh=False)
    # A newer version than the package has, from a package the server lacks.
    failed = run_demo(fresh=False, OV_DEMO_VERSION="1.0.0.9",
                      OV_DEMO_CODEBASE="http://cdn.ovelin.net/controls/Missing.cab")
    yield first, second, failed
    shutil.rmtree(DEMO, ignore_errors=True)


def test_first_run_installs_creates_and_calls_the_control(runs):
    (status, output), _, _ = runs
    assert status == 0, output
    assert "regsvr32 OVSetupAgent.dll: exit status 0" in output
    assert re.search(r"page: GetActiveXObject\(\{0E5C1B2A-[^)]*\): result 0 SUCCESS", output), output
    assert "page: sample control created; GetVersion() = 1.0.0.5" in output
    # One size probe and one download.
    assert requests_answered(output) == 2
    installed = os.path.join(DEMO, "bench", "prefix", "drive_c", "windows",
                             "Downloaded Program Files", "OVSample.dll")
    assert "On this Linux machine that file is " + installed in output
    assert os.path.isfile(installed)


def test_first_run_leaves_a_screenshot_of_the_wizard(runs):
    (_, output), _, _ = runs
    shot = os.path.join(DEMO, "wizard.png")
    assert "A screenshot of the setup wizard in the middle of the install is " + shot in output
    # The wizard's 300 x 144 window with the 12-pixel frame the demo adds.
    assert png_size(shot) == (324, 168)


def test_second_run_finds_the_control_and_downloads_nothing(runs):
    _, (status, output), _ = runs
    assert status == 0, output
    assert "reusing the Wine prefix" in output
    assert "page: GetActiveXObject" in output and "result 0 SUCCESS" in output
    assert "page: sample control created; GetVersion() = 1.0.0.5" in output
    assert requests_answered(output) == 0
    assert "No wizard this time" in output


def test_failed_install_ends_with_what_the_page_got_and_the_wizard_said(runs):
    _, _, (status, output) = runs
    assert status == 1, output
    last = output.strip().splitlines()[-1]
    # The wizard's message names the code that the page got.
    assert re.match(r'demo: failed: the page got 5\d{3} ([A-Z_]+), the wizard said "[^"]*\(ErrorCode : \1\)', last), output
    assert "unbound variable" not in output


def test_nothing_is_left_running(runs):
    assert leftover_processes() == []
    assert not os.path.exists(os.path.join(DEMO, "bench", "xvfb.pid"))
