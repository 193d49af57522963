"""regsvr32 registers and unregisters the update control in the bench's
prefix: the registry layout read back key by key and value by value, the
type library, creation by both ProgID key names, a module path with a
single quote, the elevation permissions, and what removal leaves."""

import os
import shutil

import pytest

from control_support import (AGENT_CLSID, AGENT_DLL, APPID, BUILD, IID, LIBID, reg_delete, reg_set,
                             reg_tree, regsvr32, run_page, winpath)

HKCR = "HKEY_CLASSES_ROOT"
CAT_SCRIPTING = "{7DD95801-9882-11CF-9FA9-00AA006C42C4}"
CAT_INITIALIZING = "{7DD95802-9882-11CF-9FA9-00AA006C42C4}"
NAME = "OvelinAutoUpdater Class"


def sz(text):
    return ("REG_SZ", text)


def expected_layout(module):
    """Top-level key -> its tree, as the registration table gives it."""
    return {
        "AppID\\" + APPID: {"": {"": sz(NAME), "DllSurrogate": sz("")}},
        "AppID\\OVManagerX.dll": {"": {"AppID": sz(APPID)}},
        "OVManagerX.OvelinAutoUpdater.1": {"": {"": sz(NAME)}, "CLSID": {"": sz(AGENT_CLSID)}},
        "OVManagerX.OvelinAutoUpdate": {
            "": {"": sz(NAME)},
            "CLSID": {"": sz(AGENT_CLSID)},
            "CurVer": {"": sz("OVManagerX.OvelinAutoUpdater.1")},
        },
        "CLSID\\Component Categories\\" + CAT_SCRIPTING: {
            "": {"": sz("0")}, "800": {"": sz("Safe for scripting")}},
        "CLSID\\Component Categories\\" + CAT_INITIALIZING: {
            "": {"": sz("0")}, "800": {"": sz("Safe for initializing")}},
        "CLSID\\" + AGENT_CLSID: {
            "": {"": sz(NAME), "AppID": sz(APPID), "LocalizedString": sz("@%s,-101" % module)},
            "Implemented Categories": {},
            "Implemented Categories\\" + CAT_SCRIPTING: {},
            "Implemented Categories\\" + CAT_INITIALIZING: {},
            "ProgID": {"": sz("OVManagerX.OvelinAutoUpdater.1")},
            "VersionIndependentProgID": {"": sz("OVManagerX.OvelinAutoUpdater")},
            "Programmable": {},
            "InprocServer32": {"": sz(module), "ThreadingModel": sz("Apartment")},
            "TypeLib": {"": sz(LIBID)},
            "Elevation": {"Enabled": ("REG_DWORD", "0x1")},
        },
    }


def without_permissions(tree):
    values = dict(tree[""])
    permissions = {name: values.pop(name) for name in ("LaunchPermission", "AccessPermission")
                   if name in values}
    return dict(tree, **{"": values}), permissions


@pytest.fixture
def registered():
    regsvr32(AGENT_DLL)
    yield
    regsvr32(AGENT_DLL)


def test_layout_read_back_matches_the_table(registered):
    for key, expected in expected_layout(winpath(AGENT_DLL)).items():
        tree = reg_tree(HKCR + "\\" + key)
        if key == "AppID\\" + APPID:
            tree, permissions = without_permissions(tree)
            # Windows 7 as reported here: elevation-capable.
            assert sorted(permissions) == ["AccessPermission", "LaunchPermission"]
            assert all(kind == "REG_BINARY" and data.startswith("01") for kind, data in permissions.values())
        assert tree == expected, key
    # "OVManagerX.OvelinAutoUpdater" is only the VersionIndependentProgID's text.
    assert reg_tree(HKCR + "\\OVManagerX.OvelinAutoUpdater") is None

    typelib = reg_tree(HKCR + "\\TypeLib\\" + LIBID)
    assert typelib["1.0"][""] == sz("OVManagerX 1.0 Type Library")
    interface = reg_tree(HKCR + "\\Interface\\" + IID)
    assert interface[""][""] == sz("IOvelinActiveXManager")
    # The system's type-library marshaller carries the calls to the
    # elevated instance.
    assert interface["ProxyStubClsid32"][""] == sz("{00020424-0000-0000-C000-000000000046}")


def test_registering_again_recreates_the_class_key(registered):
    reg_set(HKCR + "\\CLSID\\" + AGENT_CLSID + "\\Stale", "", "left over")
    reg_set(HKCR + "\\CLSID\\" + AGENT_CLSID + "\\Programmable\\Stale", "", "left over")
    regsvr32(AGENT_DLL)
    key = "CLSID\\" + AGENT_CLSID
    assert reg_tree(HKCR + "\\" + key) == expected_layout(winpath(AGENT_DLL))[key]


def test_pages_create_the_control_by_both_progid_key_names(registered):
    status, lines = run_page("http://www.ovelin.net/", """
        var names = ["OVManagerX.OvelinAutoUpdater.1", "OVManagerX.OvelinAutoUpdate",
                     "OVManagerX.OvelinAutoUpdater"];
        for (var i = 0; i < names.length; i++) {
          try {
            var control = new ActiveXObject(names[i]);
            host.echo(names[i], "created", control.GetLastErrorCodeString());
          } catch (e) {
            host.echo(names[i], "not created");
          }
        }
    """)
    assert status == 0, lines
    assert lines == ["OVManagerX.OvelinAutoUpdater.1 created SUCCESS",
                     "OVManagerX.OvelinAutoUpdate created SUCCESS",
                     "OVManagerX.OvelinAutoUpdater not created"]


def test_module_path_with_a_single_quote(registered):
    folder = os.path.join(BUILD, "control test", "player's copy")
    os.makedirs(folder, exist_ok=True)
    copy = os.path.join(folder, "OVSetupAgent.dll")
    shutil.copyfile(AGENT_DLL, copy)
    try:
        regsvr32(copy)
        key = "CLSID\\" + AGENT_CLSID
        assert reg_tree(HKCR + "\\" + key) == expected_layout(winpath(copy))[key]
        assert "'" in winpath(copy) and "''" not in winpath(copy)
        status, lines = run_page("http://www.ovelin.net/", """
            host.echo(new ActiveXObject("OVManagerX.OvelinAutoUpdater.1").GetLastError());
        """)
        assert (status, lines) == (0, ["0"])
        regsvr32(copy, unregister=True)
        assert reg_tree(HKCR + "\\" + key) is None
    finally:
        shutil.rmtree(os.path.join(BUILD, "control test"))


@pytest.mark.parametrize("winver, permissions", [("win7", True), ("winxp", False)])
def test_unregistration_leaves_exactly_the_shared_keys(registered, winver, permissions):
    # From scratch: registration keeps an AppID key's values.
    regsvr32(AGENT_DLL, unregister=True)
    regsvr32(AGENT_DLL, winver=winver)
    appid = reg_tree(HKCR + "\\AppID\\" + APPID)
    assert ("LaunchPermission" in appid[""]) == permissions
    assert ("AccessPermission" in appid[""]) == permissions
    # A subkey that the script does not list keeps its key in place.
    foreign = HKCR + "\\OVManagerX.OvelinAutoUpdate\\Foreign"
    reg_set(foreign, "", "someone else's")
    try:
        regsvr32(AGENT_DLL, unregister=True, winver=winver)
        check_unregistered()
    finally:
        reg_delete(HKCR + "\\OVManagerX.OvelinAutoUpdate")


def check_unregistered():
    for key in expected_layout(winpath(AGENT_DLL)):
        if key != "OVManagerX.OvelinAutoUpdate":
            assert reg_tree(HKCR + "\\" + key) is None, key
    assert reg_tree(HKCR + "\\OVManagerX.OvelinAutoUpdate") == {
        "": {"": sz(NAME)}, "Foreign": {"": sz("someone else's")}}
    for key in ("AppID", "CLSID", "CLSID\\Component Categories"):
        assert reg_tree(HKCR + "\\" + key) is not None, key
    assert reg_tree(HKCR + "\\TypeLib\\" + LIBID) is None
