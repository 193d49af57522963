"""Packages of the sample controls for the install-stage tests.

make_install_packages(pkgs, build_dir, pki) writes signed cabinets into
pkgs/install/, served as http://<host>/pkgs/install/<name>.cab. Each holds
sample controls built in tests/samples and one setup information file.

The controls (CLSIDs as the samples' CMakeLists give them):
    OVSample.dll  main control {...7A01}, versions 1.0.0.4 and 1.0.0.5
    OVOther.dll   a second control {...7A02}, 2.0.0.1
    OVHelper.dll  copied, never registered, 1.0.0.1
    OVBroken.dll  {...7A03}, its DllRegisterServer fails
    OVNoVersion.dll {...7A04}, without a version resource
    OVWait.dll    {...7A08}, its DllRegisterServer signals the event
                  "ov_register_waiting" and never returns
    OVCrash.dll   {...7A09}, its DllRegisterServer fails and its
                  DllUnregisterServer ends the process

Every file of every package carries FILE_MTIME (UTC) as its time, so that
a test can check that installed files keep the package's times.
"""

import calendar
import os
import shutil
import tempfile

import packages

CLSID_MAIN = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A01}"
CLSID_OTHER = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A02}"
CLSID_BROKEN = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A03}"
CLSID_NOVERSION = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A04}"
CLSID_WAIT = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A08}"
CLSID_CRASH = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A09}"

FILE_MTIME = calendar.timegm((2020, 5, 17, 10, 20, 30))

THIS_CAB = {"file-win32-x86": "thiscab"}


def _main(version, **extra):
    keys = dict(THIS_CAB, clsid=CLSID_MAIN, FileVersion=version.replace(".", ","),
                RegisterServer="yes")
    keys.update(extra)
    return keys


def _helper(**extra):
    return dict(THIS_CAB, FileVersion="1,0,0,1", **extra)


def setup_info(items, add_code=True):
    """The text of a setup information file: items is a list of
    (name, {key: value}); add_code False leaves out [Add.Code]."""
    lines = []
    if add_code:
        lines.append("[Add.Code]")
        lines += ["%s=%s" % (name, name) for name, _ in items]
        lines.append("")
    for name, keys in items:
        lines.append("[%s]" % name)
        lines += ["%s=%s" % kv for kv in keys.items()]
        lines.append("")
    return "\r\n".join(lines)


def _typical(version):
    return [("OVSample.dll", _main(version)), ("OVHelper.dll", _helper()),
            ("OVData.txt", dict(THIS_CAB))]


def _recipes():
    """name -> (stored files {name: sample}, {inf name: setup information})."""
    main4 = {"OVSample.dll": "main4", "OVHelper.dll": "helper", "OVData.txt": "data"}
    recipes = {
        "main4": (main4, {"OVSample.inf": setup_info(_typical("1.0.0.4"))}),
        "main5": (dict(main4, **{"OVSample.dll": "main5"}),
                  {"OVSample.inf": setup_info(_typical("1.0.0.5"))}),
        # other and shared4 share OVShared.dll in the System folder.
        "other": ({"OVOther.dll": "other", "OVShared.dll": "helper"},
                  {"OVOther.inf": setup_info([
                      ("OVOther.dll", dict(THIS_CAB, clsid=CLSID_OTHER, FileVersion="2,0,0,1",
                                           RegisterServer="yes")),
                      ("OVShared.dll", _helper(DestDir="11"))])}),
        "shared4": ({"OVSample.dll": "main4", "OVShared.dll": "helper"},
                    {"OVSample.inf": setup_info([
                        ("OVSample.dll", _main("1.0.0.4")),
                        ("OVShared.dll", _helper(DestDir="11"))])}),
        "destdir": ({"OVSample.dll": "main4", "OVData.txt": "data"},
                    {"OVSample.inf": setup_info([
                        ("OVSample.dll", _main("1.0.0.4", DestDir="11")),
                        ("OVData.txt", dict(THIS_CAB, DestDir="010"))])}),
        "broken": ({"OVHelper.dll": "helper", "OVBroken.dll": "broken", "OVSample.dll": "main4"},
                   {"OVSample.inf": setup_info([
                       ("OVHelper.dll", _helper()),
                       ("OVBroken.dll", dict(THIS_CAB, clsid=CLSID_BROKEN, RegisterServer="yes")),
                       ("OVSample.dll", _main("1.0.0.4"))])}),
        # Upgrades that fail or hang after the main control is registered.
        "broken5": (dict(main4, **{"OVSample.dll": "main5", "OVBroken.dll": "broken"}),
                    {"OVSample.inf": setup_info(_typical("1.0.0.5") + [
                        ("OVBroken.dll", dict(THIS_CAB, clsid=CLSID_BROKEN, RegisterServer="yes"))])}),
        "wait5": (dict(main4, **{"OVSample.dll": "main5", "OVWait.dll": "wait"}),
                  {"OVSample.inf": setup_info(_typical("1.0.0.5") + [
                      ("OVWait.dll", dict(THIS_CAB, clsid=CLSID_WAIT, RegisterServer="yes"))])}),
        "crash5": (dict(main4, **{"OVSample.dll": "main5", "OVCrash.dll": "crash"}),
                   {"OVSample.inf": setup_info(_typical("1.0.0.5") + [
                       ("OVCrash.dll", dict(THIS_CAB, clsid=CLSID_CRASH, RegisterServer="yes"))])}),
        # A second control's server in the System folder, and a package
        # that replaces that server, then fails to register its own.
        "other11": ({"OVOther.dll": "other"},
                    {"OVOther.inf": setup_info([
                        ("OVOther.dll", dict(THIS_CAB, clsid=CLSID_OTHER, FileVersion="2,0,0,1",
                                             RegisterServer="yes", DestDir="11"))])}),
        "replaces_other": ({"OVSample.dll": "main5", "OVOther.dll": "other", "OVBroken.dll": "broken"},
                           {"OVSample.inf": setup_info([
                               ("OVOther.dll", dict(THIS_CAB, FileVersion="2,0,0,1",
                                                    RegisterServer="yes", DestDir="11")),
                               ("OVSample.dll", _main("1.0.0.5")),
                               ("OVBroken.dll", dict(THIS_CAB, clsid=CLSID_BROKEN,
                                                     RegisterServer="yes"))])}),
        "shared5": ({"OVSample.dll": "main5", "OVShared.dll": "helper"},
                    {"OVSample.inf": setup_info([
                        ("OVSample.dll", _main("1.0.0.5")),
                        ("OVShared.dll", _helper(DestDir="11"))])}),
        "nobraces": ({"OVSample.dll": "main4", "OVHelper.dll": "helper"},
                     {"OVSample.inf": setup_info([
                         ("OVSample.dll", _main("1.0.0.4", clsid=CLSID_MAIN.strip("{}"))),
                         ("OVHelper.dll", _helper())])}),
        # Of two setup information files the first by name, ignoring case,
        # is read: a_good.INF sorts before B_bad.inf only then.
        "twoinfs": (main4, {"a_good.INF": setup_info(_typical("1.0.0.4")),
                            "B_bad.inf": setup_info([], add_code=False)}),
        "emptyhook": (main4, {"OVSample.inf": setup_info(
            [("OVSample.dll", _main("1.0.0.4", hook=""))])}),
    }
    # Faulty setup information: each is the typical package with one change.
    faulty = {
        "no_addcode": setup_info(_typical("1.0.0.4"), add_code=False),
        "empty_addcode": "[Add.Code]\r\n\r\n[OVSample.dll]\r\nfile-win32-x86=thiscab\r\n",
        "name_parent": setup_info([("..\\OVSample.dll", _main("1.0.0.4"))]),
        "name_deep_parent": setup_info([("sub\\..\\..\\OVSample.dll", _main("1.0.0.4"))]),
        "name_drive": setup_info([("C:\\OVSample.dll", _main("1.0.0.4"))]),
        "name_rooted": setup_info([("\\OVSample.dll", _main("1.0.0.4"))]),
        "hook": setup_info([("OVSample.dll", _main("1.0.0.4", hook="run.exe"))]),
        "url": setup_info([("OVSample.dll", _main("1.0.0.4", **{"file-win32-x86": "URL"}))]),
        "duplicate": setup_info([("a.ocx", _main("1.0.0.4")), ("A.OCX", _main("1.0.0.4"))]),
        "src_missing": setup_info([("OVSample.dll", {"clsid": CLSID_MAIN})]),
        "src_empty": setup_info([("OVSample.dll", _main("1.0.0.4", **{"file-win32-x86": ""}))]),
        "file_missing": setup_info([("OVSample.dll", _main("1.0.0.4")),
                                    ("OVMissing.dll", _helper())]),
        "dest_12": setup_info([("OVSample.dll", _main("1.0.0.4", DestDir="12"))]),
        "dest_x": setup_info([("OVSample.dll", _main("1.0.0.4", DestDir="x"))]),
        "no_main": setup_info([("OVSample.dll", _main("1.0.0.4", RegisterServer="true"))]),
        "no_items": setup_info([("OVSample.dll", _main("1.0.0.4", **{"file-win32-x86": "IGNORE"}))]),
        "declared_old": setup_info([("OVSample.dll", _main("1.0.0.3"))]),
        "no_resource": setup_info([("OVNoVersion.dll", dict(THIS_CAB, clsid=CLSID_NOVERSION,
                                                            RegisterServer="yes"))]),
    }
    stored = {"OVSample.dll": "main5", "OVHelper.dll": "helper", "a.ocx": "main4",
              "OVNoVersion.dll": "noversion"}
    for name, text in faulty.items():
        recipes["inf_" + name] = (stored, {"OVSample.inf": text})
    recipes["inf_none"] = (stored, {})
    return recipes


def _sample_paths(build_dir, sources):
    samples = os.path.join(build_dir, "tests", "samples")
    paths = {
        "main4": os.path.join(samples, "sample_main_4", "OVSample.dll"),
        "main5": os.path.join(samples, "sample_main_5", "OVSample.dll"),
        "other": os.path.join(samples, "sample_other", "OVOther.dll"),
        "helper": os.path.join(samples, "sample_helper", "OVHelper.dll"),
        "broken": os.path.join(samples, "sample_broken", "OVBroken.dll"),
        "wait": os.path.join(samples, "sample_wait", "OVWait.dll"),
        "crash": os.path.join(samples, "sample_crash", "OVCrash.dll"),
        "noversion": os.path.join(samples, "sample_noversion", "OVNoVersion.dll"),
        "data": os.path.join(sources, "OVData.txt"),
    }
    with open(paths["data"], "wb") as f:
        f.write(b"Ovelin sample data\r\n" * 50)
    # Copies with the fixed time, so that the cabinets store it.
    for key, path in list(paths.items()):
        copy = os.path.join(sources, key + "_" + os.path.basename(path))
        shutil.copyfile(path, copy)
        os.utime(copy, (FILE_MTIME, FILE_MTIME))
        paths[key] = copy
    return paths


def make_install_packages(pkgs, build_dir, pki):
    folder = os.path.join(pkgs, "install")
    os.makedirs(folder)
    # A build of only some targets has no samples; only the install tests
    # need these packages, and they fail on their absence by themselves.
    if not os.path.exists(os.path.join(build_dir, "tests", "samples", "sample_main_4")):
        print("install packages skipped: the sample controls are not built")
        return
    with tempfile.TemporaryDirectory() as sources:
        samples = _sample_paths(build_dir, sources)
        for name, (stored, infs) in _recipes().items():
            files = {}
            for inf_name, text in infs.items():
                path = os.path.join(sources, name + "_" + inf_name)
                with open(path, "w", newline="") as f:
                    f.write(text)
                os.utime(path, (FILE_MTIME, FILE_MTIME))
                files[inf_name] = path
            for stored_name, sample in stored.items():
                files[stored_name] = samples[sample]
            packages.build_package(files, os.path.join(folder, name + ".cab"), signer=pki.signer)
