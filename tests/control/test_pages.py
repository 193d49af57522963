"""Pages run in ovhost.exe against the update control, the real engine and
the live package server: the trusted-domain rule and how the page is
hosted (browser, frame document), installed and missing
controls, engine failures, the module check's reasons for an install,
in-place activation, the install path on Windows XP and on Windows 7
(where this platform has no elevation moniker), and the objects that are
never handed to script."""

import os
import shutil
import sys
import uuid

import pytest

from control_support import (AGENT_CLSID, AGENT_DLL, BUILD, E_FAIL, INPLACE_CLSID, INPLACE_DLL, SOURCE,
                             prepare_code_download_keys, reg_delete, reg_set, reg_tree, regsvr32,
                             run_page, wine)

sys.path.insert(0, os.path.join(SOURCE, "tests", "support"))
from pkgserver import read_log  # noqa: E402

MAIN = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A01}"
NOVERSION = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A04}"
PKGS = "http://cdn.ovelin.net/pkgs/install/"
PAGE = "http://game.ovelin.net/play/index.html"
HKLM = "HKEY_LOCAL_MACHINE\\SOFTWARE"
NOVERSION_DLL = os.path.join(BUILD, "tests", "samples", "sample_noversion", "OVNoVersion.dll")
SAMPLES = os.path.join(BUILD, "tests", "samples")

HEADER = """
var m = new ActiveXObject("OVManagerX.OvelinAutoUpdater.1");
function code() { return m.GetLastError() + " " + m.GetLastErrorCodeString(); }
"""


@pytest.fixture(scope="module", autouse=True)
def prefix():
    """The control and the in-place control registered; the browser's
    downloaded-controls folder and code-download keys in place."""
    regsvr32(AGENT_DLL)
    regsvr32(INPLACE_DLL)
    prepare_code_download_keys()
    yield
    regsvr32(INPLACE_DLL, unregister=True)


def requests_for(url):
    """Requests the package server saw for url's path (WinINet adds the
    port to the host it names)."""
    path = "/" + url.split("://", 1)[-1].split("/", 1)[-1] if "://" in url else url
    return [seen for seen in read_log(os.environ["OV_PKG_LOG"]) if seen.endswith(path)]


def unique_url(name):
    return "http://cdn.ovelin.net/never/%s/%s.cab" % (uuid.uuid4().hex, name)


def page(script, url=PAGE, **options):
    status, lines = run_page(url, HEADER + script, **options)
    assert status == 0, lines
    return lines


# Pages that are not the portal's: other sites, other schemes whose text
# holds a portal URL, a page whose site offers no browser, and a frame of
# another site inside a portal page, and a portal browser whose site names
# no document holding the control (which could be such a frame).
UNTRUSTED_PAGES = [(url, {}) for url in (
    "http://www.evil.com/index.html", "http://ovelin.net/", "http://evil-ovelin.com/", "about:blank",
    "file:///C:/game.html", "about:<b>x</b>http://www.ovelin.com/", "javascript:1//http://www.ovelin.com/",
    "mk:@MSITStore:C:\\x.chm::/a://www.ovelin.com/")] + [
    (PAGE, {"no_browser": True}),
    (PAGE, {"no_document": True}),
    (PAGE, {"document_url": "http://www.evil.com/frame.html"}),
]


@pytest.mark.parametrize("url,hosting", UNTRUSTED_PAGES)
def test_untrusted_page_gets_2105_and_nothing_happens(url, hosting):
    codebase = unique_url("untrusted")
    lines = page("""
        try { m.InstallActiveXObject("%(c)s", "%(u)s", ""); host.echo("no error"); }
        catch (e) { host.echo("InstallActiveXObject", e.number); }
        host.echo("AsAdmin", m.InstallActiveXObjectAsAdmin("%(c)s", "%(u)s", ""), code());
        var control = m.GetActiveXObject("%(c)s", "%(u)s", "");
        host.echo("GetActiveXObject", typeof control, code());
        var placed = new ActiveXObject("OVTest.InPlaceControl");
        host.place(placed);
        host.echo("SetInPlaceActiveObject", m.SetInPlaceActiveObject(placed), placed.IsInPlaceActive());
    """ % {"c": MAIN, "u": codebase}, url=url, winver="winxp", **hosting)
    assert lines == ["InstallActiveXObject %d" % E_FAIL,
                     "AsAdmin 0 2105 MODULE_INVALID_DOMAIN",
                     "GetActiveXObject undefined 2105 MODULE_INVALID_DOMAIN",
                     "SetInPlaceActiveObject 0 false"]
    assert requests_for(codebase) == []


def test_the_update_control_is_never_handed_out_and_a_portal_frame_is_trusted():
    codebase = unique_url("own")
    lines = page("""
        var own = m.GetActiveXObject("%(a)s", "%(u)s", "");
        host.echo("own", own === null, code());
        var control = m.GetActiveXObject("%(i)s", "%(u)s", "");
        host.echo("frame", code(), control.Ping());
    """ % {"a": AGENT_CLSID, "i": INPLACE_CLSID, "u": codebase},
        document_url="https://frame.ovelin.com/frame.html")
    assert lines == ["own true 2106 MODULE_NOTSAFE_FOR_SCRIPTING", "frame 0 SUCCESS pong"]
    assert requests_for(codebase) == []


@pytest.mark.parametrize("winver", ["win7", "winxp"])
def test_installed_control_is_created_without_the_engine(winver):
    codebase = unique_url("installed")
    lines = page("""
        var control = m.GetActiveXObject("%s", "%s", "");
        host.echo(code(), control.Ping());
        // This platform's JScript gives created objects a site that offers
        // only IServiceProvider, so no client site is handed over here.
        host.echo("client site", control.HasClientSite());
        host.echo("before placing", m.SetInPlaceActiveObject(control));
        host.echo("placed", host.place(control), control.HasClientSite());
        host.echo("activated", m.SetInPlaceActiveObject(control), control.IsInPlaceActive());
        host.echo("no IOleObject", m.SetInPlaceActiveObject(m), code());
    """ % (INPLACE_CLSID, codebase), winver=winver)
    assert lines == ["0 SUCCESS pong",
                     "client site false",
                     "before placing 0",
                     "placed true true",
                     "site: in-place active",
                     "activated 1 true",
                     "no IOleObject 0 0 SUCCESS"]
    assert requests_for(codebase) == []


def test_in_place_activation_needs_a_window():
    lines = page("""
        var control = m.GetActiveXObject("%s", "%s", "");
        host.place(control);
        host.echo(m.SetInPlaceActiveObject(control), control.IsInPlaceActive());
        host.echo("no object", m.SetInPlaceActiveObject(null),
                  m.SetInPlaceActiveObject(undefined), m.SetInPlaceActiveObject(""), code());
    """ % (INPLACE_CLSID, unique_url("nowindow")), no_window=True)
    assert lines == ["0 false", "no object 0 0 0 0 SUCCESS"]


def installed_server():
    return reg_tree(HKLM + "\\Classes\\CLSID\\" + MAIN + "\\InprocServer32")[""][""][1]


def unix_path(windows_path):
    prefix = open(os.path.join(os.environ["OV_BENCH_DIR"], "env")).read().split("WINEPREFIX=")[1].split()[0]
    drive, rest = windows_path.split(":", 1)
    assert drive.upper() == "C"
    return os.path.join(prefix, "drive_c", *rest.strip("\\").split("\\"))


def short_name(folder, name):
    """The 8.3 name this platform gives folder\\name, from "dir /x"."""
    status, output = wine(["cmd", "/c", "dir", "/x", folder])
    for line in output.splitlines():
        if line.rstrip().endswith(" " + name):
            short = line.split("<DIR>")[1].split()[0]
            assert short != name
            return short
    raise AssertionError(output)


def get_main(package, need, **options):
    return page("""
        var control = m.GetActiveXObject("%s", "%s", "%s");
        host.echo(code(), control ? control.GetVersion() : "no control");
    """ % (MAIN, PKGS + package, need), winver="winxp", **options)


def test_module_check_reasons_lead_to_an_install_in_process_on_xp():
    reg_delete("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\" + MAIN)
    before = len(requests_for("/main4.cab"))
    # 2001: not registered. The setup window runs in the page's process.
    lines = get_main("main4.cab", "1.0.0.4")
    assert lines == ["window[host]: Ovelin ActiveX Setup Wizard.", "0 SUCCESS 1.0.0.4"]
    assert len(requests_for("/main4.cab")) > before

    # Installed at a sufficient version: no request at all.
    before = len(read_log(os.environ["OV_PKG_LOG"]))
    assert get_main("main4.cab", "1.0.0.3") == ["0 SUCCESS 1.0.0.4"]
    assert len(read_log(os.environ["OV_PKG_LOG"])) == before

    # 2006: too old; the upgrade is installed and checked again.
    lines = get_main("main5.cab", "1.0.0.5")
    assert lines[-1] == "0 SUCCESS 1.0.0.5"

    # 2003: the server file is gone.
    os.remove(unix_path(installed_server()))
    before = len(requests_for("/main5.cab"))
    assert get_main("main5.cab", "")[-1] == "0 SUCCESS 1.0.0.5"
    assert len(requests_for("/main5.cab")) > before

    # 2004: a file that the Distribution Unit record lists is gone.
    helper = os.path.join(os.path.dirname(unix_path(installed_server())), "OVHelper.dll")
    os.remove(helper)
    before = len(requests_for("/main5.cab"))
    assert get_main("main5.cab", "")[-1] == "0 SUCCESS 1.0.0.5"
    assert len(requests_for("/main5.cab")) > before
    assert os.path.exists(helper)

    # A server path written in 8.3 form is found among the recorded files
    # by its long form, so the missing helper is noticed again.
    folder, name = installed_server().rsplit("\\", 1)
    parent, leaf = folder.rsplit("\\", 1)
    short = parent + "\\" + short_name(parent, leaf) + "\\" + name
    reg_set(HKLM + "\\Classes\\CLSID\\" + MAIN + "\\InprocServer32", "", short)
    os.remove(helper)
    before = len(requests_for("/main5.cab"))
    assert get_main("main5.cab", "")[-1] == "0 SUCCESS 1.0.0.5"
    assert len(requests_for("/main5.cab")) > before
    assert os.path.exists(helper)

    # InstallActiveXObject always runs a whole job, installed or not. A
    # codebase with a query is requested whole (a size probe, then the
    # transfer) and saved without it.
    before = len(requests_for("/main5.cab?v=2"))
    lines = page("""
        host.echo(m.InstallActiveXObject("%s", "%s", ""), code());
    """ % (MAIN, PKGS + "main5.cab?v=2"), winver="winxp")
    assert lines[-1] == "1 0 SUCCESS"
    assert len(requests_for("/main5.cab?v=2")) == before + 2


def test_file_without_version_resource_is_reinstalled_for_a_needed_version():
    regsvr32(NOVERSION_DLL)
    codebase = "http://cdn.ovelin.net/status/404/%s/noversion.cab" % uuid.uuid4().hex
    lines = page("""
        var control = m.GetActiveXObject("%(c)s", "%(u)s", "");
        host.echo(code(), control.GetVersion());
        control = m.GetActiveXObject("%(c)s", "%(u)s", "1.0.0.1");
        host.echo(typeof control, control === null, code());
    """ % {"c": NOVERSION, "u": codebase}, winver="winxp")
    # Any version will do: the control is created. A needed version: 2005,
    # so an install is attempted, which the server fails.
    assert lines[0].startswith("0 SUCCESS ")
    assert lines[-1] == "object true 5006 DLL_CANT_GETFILESIZE"
    assert len(requests_for(codebase)) > 0


@pytest.mark.parametrize("clsid", ["{6F1D0C3E-2B4A-4C5D-9E8F-0A1B2C3D4E5F}", "not a class id"])
def test_engine_failure_gives_a_null_control_and_the_engines_code(clsid):
    codebase = "http://cdn.ovelin.net/status/404/%s/missing.cab" % uuid.uuid4().hex
    lines = page("""
        var control = m.GetActiveXObject("%s", "%s", "");
        host.echo(typeof control, control === null, code());
    """ % (clsid, codebase), winver="winxp")
    # The module check's 2001 led to an install attempt; the engine's
    # failure box was answered in the page's process.
    assert lines[-1] == "object true 5006 DLL_CANT_GETFILESIZE"
    boxes = [line for line in lines if line.startswith("msgbox")]
    assert len(boxes) == 1 and boxes[0].startswith("msgbox[host]: "), lines
    assert "DLL_CANT_GETFILESIZE" in boxes[0]
    assert requests_for(codebase) != []


def test_an_engine_missing_beside_the_control_gives_2102(tmp_path):
    # The engine is loaded from the control's own folder only, never by
    # the search path: a control registered alone finds none.
    alone = tmp_path / "OVSetupAgent.dll"
    shutil.copy(AGENT_DLL, alone)
    regsvr32(str(alone))
    codebase = unique_url("alone")
    try:
        lines = page("""
            var control = m.GetActiveXObject("{6F1D0C3E-2B4A-4C5D-9E8F-0A1B2C3D4E61}", "%s", "");
            host.echo(control === null, code());
        """ % codebase, winver="winxp")
    finally:
        regsvr32(AGENT_DLL)
    assert lines[-1] == "true 2102 MODULE_CANT_LOAD_DLL"
    assert requests_for(codebase) == []


def test_without_an_elevation_moniker_windows7_installs_fail_with_2104():
    codebase = unique_url("elevation")
    lines = page("""
        var control = m.GetActiveXObject("{6F1D0C3E-2B4A-4C5D-9E8F-0A1B2C3D4E60}", "%(u)s", "");
        host.echo(typeof control, control === null, code());
        host.echo(m.InstallActiveXObject("%(c)s", "%(u)s", ""), code());
    """ % {"c": MAIN, "u": codebase}, winver="win7")
    assert lines == ["object true 2104 MODULE_AUTH_ELEVATION_FAIL", "0 2104 MODULE_AUTH_ELEVATION_FAIL"]
    assert requests_for(codebase) == []


SAFE_FOR_SCRIPTING = "\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}"
KILL_BIT_KEYS = (HKLM + "\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\",
                 HKLM + "\\Policies\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\")


def test_only_objects_safe_for_scripting_reach_the_page():
    """Registered objects that the browser would not let a page script come
    back null with 2106: the platform's shell and file system objects; a
    sample control that refuses the safe-for-scripting option although its
    class carries the category; one whose class carries the browser's kill
    bit, under either key; and a class whose TreatAs names a kill-bitted
    one. A safe sample control still comes back, and was asked to be safe
    for untrusted callers on IDispatch."""
    unsafe = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A06}"
    killed = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A07}"
    reporter = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A09}"
    policy_killed = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A02}"
    treated = "{%s}" % str(uuid.uuid4()).upper()
    for target, name in (("sample_unsafe", "OVUnsafe.dll"), ("sample_killed", "OVKilled.dll"),
                         ("sample_other", "OVOther.dll"), ("sample_reporter", "OVReporter.dll")):
        regsvr32(os.path.join(SAMPLES, target, name))
    classes = HKLM + "\\Classes\\CLSID\\"
    reg_set(classes + unsafe + SAFE_FOR_SCRIPTING, "", "")
    reg_set(classes + reporter + SAFE_FOR_SCRIPTING, "", "")
    reg_set(KILL_BIT_KEYS[0] + killed, "Compatibility Flags", 0x400, "REG_DWORD")
    reg_set(KILL_BIT_KEYS[1] + policy_killed, "Compatibility Flags", 0x400, "REG_DWORD")
    reg_set(classes + treated + "\\InprocServer32", "",
            reg_tree(classes + killed + "\\InprocServer32")[""][""][1])
    reg_set(classes + treated + "\\TreatAs", "", killed)
    drive_c = os.path.dirname(unix_path("C:\\windows"))
    markers = [os.path.join(drive_c, name) for name in ("pwned-shell.txt", "pwned-fso.txt")]
    codebase = unique_url("safety")
    try:
        lines = page("""
            function ask(name, clsid, use) {
                var object = m.GetActiveXObject(clsid, "%(u)s", "");
                host.echo(name, object === null, code());
                if (object) use(object);
            }
            ask("shell", "{72C24DD5-D70A-438B-8A42-98424B88AFB8}", function (shell) {
                shell.Run("cmd /c echo pwned > C:\\\\pwned-shell.txt", 0, true);
            });
            ask("files", "{0D43FE01-F093-11CF-8940-00A0C9054228}", function (files) {
                files.CreateTextFile("C:\\\\pwned-fso.txt").Close();
            });
            ask("unsafe", "%(unsafe)s", function (c) { c.GetVersion(); });
            ask("killed", "%(k)s", function (c) { c.GetVersion(); });
            ask("policy-killed", "%(p)s", function (c) { c.GetVersion(); });
            ask("treated", "%(t)s", function (c) { c.GetVersion(); });
            ask("reporter", "%(r)s", function (c) { host.echo(c.GetVersion()); });
        """ % {"u": codebase, "unsafe": unsafe, "k": killed, "p": policy_killed, "t": treated,
               "r": reporter}, winver="winxp")
    finally:
        reg_delete(classes + treated)
        reg_delete(KILL_BIT_KEYS[1] + policy_killed)
    refused = "true 2106 MODULE_NOTSAFE_FOR_SCRIPTING"
    assert lines == ["shell " + refused, "files " + refused, "unsafe " + refused, "killed " + refused,
                     "policy-killed " + refused, "treated " + refused, "reporter false 0 SUCCESS",
                     "IDispatch options 1"]
    assert [m for m in markers if os.path.exists(m)] == []
    assert requests_for(codebase) == []
