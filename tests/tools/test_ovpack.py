"""ovpack, the operators' package tool, against the real engine.

Packages that ovpack passes install through a whole install job
(run_install_job.exe: download from the package server, signature check,
extraction, reading, copying, registering); and for each faulty setup
information file the code ovpack reports is the code that a whole install
job of the very same package ends with.

Needs the build targets infcheck, run_install_job and samples.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import pytest

SOURCE = os.environ["OV_SOURCE_DIR"]
BUILD = os.environ["OV_BUILD_DIR"]
BENCH = os.environ["OV_BENCH_DIR"]
sys.path.insert(0, os.path.join(SOURCE, "tests", "support"))
import packages  # noqa: E402
import timestamp_server  # noqa: E402
from install_packages import CLSID_MAIN, CLSID_NOVERSION  # noqa: E402

OVPACK = os.path.join(SOURCE, "tools", "ovpack", "ovpack")
WINE_RUN = os.path.join(SOURCE, "scripts", "wine-run")
INFCHECK = os.path.join(BUILD, "tools", "ovpack", "infcheck.exe")
RUN_JOB = os.path.join(BUILD, "tests", "engine", "run_install_job.exe")
SERVED = os.path.join(os.environ.get("OV_PKG_ROOT", ""), "pkgs", "ovpack")
CACHE_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Internet Settings\ActiveX Cache"

# Files of the build that packages hold, by their path below it.
SAMPLE_FILES = {
    "OVSample.dll": "tests/samples/sample_main_4/OVSample.dll",
    "OVHelper.dll": "tests/samples/sample_helper/OVHelper.dll",
    "OVNoVersion.dll": "tests/samples/sample_noversion/OVNoVersion.dll",
    # A PE image that exports nothing.
    "NoExports.dll": "tools/ovpack/infcheck.exe",
    "OVDecorated.dll": "tests/samples/sample_decorated/OVDecorated.dll",
}


@pytest.fixture(scope="module")
def env():
    environment = packages.bench_env(BENCH)
    environment["OVPACK_INFCHECK"] = INFCHECK
    os.makedirs(SERVED, exist_ok=True)
    return environment


@pytest.fixture(scope="module")
def pki():
    return packages.load_pki(os.path.join(os.environ["OV_PKG_ROOT"], "ca"))


@pytest.fixture
def work():
    folder = tempfile.mkdtemp(prefix="ovpack-test-")
    yield folder
    shutil.rmtree(folder)


def folder_of(work, files):
    """A folder holding files: {name: sample key from SAMPLE_FILES, or bytes}."""
    folder = os.path.join(work, "files")
    for name, content in files.items():
        path = os.path.join(folder, *name.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if isinstance(content, bytes):
            with open(path, "wb") as f:
                f.write(content)
        else:
            shutil.copyfile(os.path.join(BUILD, SAMPLE_FILES[content]), path)
    return folder


def ovpack(env, *args):
    done = subprocess.run([sys.executable, OVPACK] + list(args), env=env, text=True,
                          stdin=subprocess.DEVNULL, capture_output=True)
    return done.returncode, done.stdout + done.stderr


def reported(output):
    """The (code, name) of ovpack's result line."""
    match = re.search(r"^result: (\d+) (\S+)$", output, re.M)
    assert match, output
    return int(match.group(1)), match.group(2)


def signing(signer):
    return ["--cert", signer.cert, "--key", signer.key]


def wine(env, args, output, attempts=1):
    """Runs a Windows program on the bench; returns its exit status and
    output. attempts > 1 (wine-run's OV_START_ATTEMPTS) is for programs that
    print a line with every outcome, such as reg.exe."""
    with open(output, "w") as out:
        status = subprocess.run([WINE_RUN, BENCH] + args, stdin=subprocess.DEVNULL, stdout=out,
                                stderr=subprocess.STDOUT, check=False,
                                env=dict(env, OV_START_ATTEMPTS=str(attempts))).returncode
    with open(output, encoding="latin-1") as f:
        return status, f.read()


def installed_files(cache):
    """What an install left in the downloaded-controls folder, but for the
    engine's own hidden folder there."""
    return sorted(name for name in os.listdir(cache) if name != "~OVSetup")


def install(env, work, package, clsid, need_version):
    """Serves package, points the downloaded-controls folder at a folder of
    this test's own and runs one whole install job; returns its exact
    result code and the cache folder's Linux path."""
    name = os.path.basename(work)
    shutil.copyfile(package, os.path.join(SERVED, name + ".cab"))
    cache = "C:\\ovpack\\" + name
    status, text = wine(env, [packages.system_program("reg"), "add", CACHE_KEY, "/v", "0", "/d",
                              cache, "/f"], os.path.join(work, "reg"), attempts=3)
    assert status == 0, text
    codebase = "http://cdn.%s.net/pkgs/ovpack/%s.cab" % (os.environ["OV_PORTAL_DOMAIN"], name)
    _, text = wine(env, [RUN_JOB, codebase, clsid, need_version], os.path.join(work, "job.txt"))
    match = re.search(r"^result (-?\d+)", text, re.M)
    assert match, text
    return int(match.group(1)), os.path.join(env["WINEPREFIX"], "drive_c", "ovpack", name)


def registered_server(env, work, clsid):
    _, text = wine(env, [packages.system_program("reg"), "query",
                         r"HKLM\Software\Classes\CLSID\%s\InprocServer32" % clsid, "/ve"],
                   os.path.join(work, "query"))
    match = re.search(r"REG_SZ\s+(.+?)\s*$", text, re.M)
    return match.group(1) if match else None


def test_manifest_package_installs_through_the_engine(env, pki, work):
    folder = folder_of(work, {"OVSample.dll": "OVSample.dll", "OVHelper.dll": "OVHelper.dll",
                              "readme.txt": b"Ovelin\r\n"})
    manifest = os.path.join(work, "package.json")
    with open(manifest, "w") as f:
        f.write('{"clsid": "%s", "main": "OVSample.dll", "version": "1.0.0.4",\n'
                ' "files": ["OVSample.dll", {"name": "OVHelper.dll", "dest": "system"},'
                ' "readme.txt"]}\n' % CLSID_MAIN)
    out = os.path.join(work, "out", "sample.cab")

    status, output = ovpack(env, "build", "--manifest", manifest, "--folder", folder,
                            "--out", out, "--ca", pki.ca, *signing(pki.signer))
    assert (status, reported(output)) == (0, (0, "SUCCESS")), output
    assert "OVHelper.dll -> System folder" in output
    # The thumbprint that publisher pinning lists for this signer.
    assert "signed with: CN=Ovelin Test Signer signer SHA-256 %s" % \
        packages.sha256_thumbprint(pki.signer.cert) in output.splitlines()

    code, cache = install(env, work, out, CLSID_MAIN, "1.0.0.4")
    assert code == 0
    assert installed_files(cache) == ["OVSample.dll", "OVSample.inf", "readme.txt"]
    assert os.path.isfile(os.path.join(env["WINEPREFIX"], "drive_c", "windows", "system32",
                                       "OVHelper.dll"))
    assert registered_server(env, work, CLSID_MAIN).lower() == \
        ("C:\\ovpack\\%s\\OVSample.dll" % os.path.basename(work)).lower()


def test_package_from_an_existing_setup_information_file_installs(env, pki, work):
    folder = folder_of(work, {"OVSample.dll": "OVSample.dll", "OVHelper.dll": "OVHelper.dll",
                              "old.inf": b"[Add.Code]\r\n"})
    inf = os.path.join(work, "OVSample.inf")
    with open(inf, "w", newline="") as f:
        f.write(setup_info([("OVSample.dll", main_keys("1,0,0,4")),
                            ("OVHelper.dll", dict(THIS_CAB))]))
    out = os.path.join(work, "sample.cab")

    status, output = ovpack(env, "build", "--inf", inf, "--folder", folder, "--clsid",
                            CLSID_MAIN, "--need-version", "1.0.0.4", "--out", out,
                            *signing(pki.signer))
    assert (status, reported(output)) == (0, (0, "SUCCESS")), output
    assert "old.inf left out" in output

    code, cache = install(env, work, out, CLSID_MAIN, "1.0.0.4")
    assert code == 0
    assert installed_files(cache) == ["OVHelper.dll", "OVSample.dll", "OVSample.inf"]


THIS_CAB = {"file-win32-x86": "thiscab"}


def main_keys(version, **extra):
    keys = dict(THIS_CAB, clsid=CLSID_MAIN, FileVersion=version, RegisterServer="yes")
    keys.update(extra)
    return keys


def setup_info(items, add_code=True):
    """A setup information file: items is [(name, {key: value})]."""
    lines = ["[Add.Code]"] + ["%s=%s" % (name, name) for name, _ in items] if add_code else []
    for name, keys in items:
        lines += ["", "[%s]" % name] + ["%s=%s" % kv for kv in keys.items()]
    return "\r\n".join(lines) + "\r\n"


TYPICAL = [("OVSample.dll", main_keys("1,0,0,4")), ("OVHelper.dll", dict(THIS_CAB))]
TYPICAL_FILES = {"OVSample.dll": "OVSample.dll", "OVHelper.dll": "OVHelper.dll"}

# (case, setup information, files packed beside it, clsid, needed version,
#  the code both ovpack and a whole install job give)
FAULTS = [
    ("no_addcode", setup_info(TYPICAL, add_code=False), TYPICAL_FILES, CLSID_MAIN, "1.0.0.4", 5101),
    ("empty_addcode", "[Add.Code]\r\n\r\n[OVSample.dll]\r\nfile-win32-x86=thiscab\r\n",
     TYPICAL_FILES, CLSID_MAIN, "1.0.0.4", 5101),
    ("name_parent", setup_info([("..\\OVSample.dll", main_keys("1,0,0,4"))]), TYPICAL_FILES,
     CLSID_MAIN, "1.0.0.4", 5102),
    ("name_drive", setup_info([("C:\\OVSample.dll", main_keys("1,0,0,4"))]), TYPICAL_FILES,
     CLSID_MAIN, "1.0.0.4", 5102),
    ("hook", setup_info([("OVSample.dll", main_keys("1,0,0,4", hook="run.exe"))]),
     TYPICAL_FILES, CLSID_MAIN, "1.0.0.4", 5103),
    ("url", setup_info([("OVSample.dll", main_keys("1,0,0,4", **{"file-win32-x86": "URL"}))]),
     TYPICAL_FILES, CLSID_MAIN, "1.0.0.4", 5103),
    ("duplicate", setup_info([("OVSample.dll", main_keys("1,0,0,4")),
                              ("ovsample.DLL", main_keys("1,0,0,4"))]),
     TYPICAL_FILES, CLSID_MAIN, "1.0.0.4", 5105),
    ("src_missing", setup_info([("OVSample.dll", {"clsid": CLSID_MAIN})]), TYPICAL_FILES,
     CLSID_MAIN, "1.0.0.4", 5107),
    ("src_empty", setup_info([("OVSample.dll", main_keys("1,0,0,4", **{"file-win32-x86": ""}))]),
     TYPICAL_FILES, CLSID_MAIN, "1.0.0.4", 5107),
    ("file_missing", setup_info(TYPICAL + [("OVMissing.dll", dict(THIS_CAB))]), TYPICAL_FILES,
     CLSID_MAIN, "1.0.0.4", 5108),
    ("dest_12", setup_info([("OVSample.dll", main_keys("1,0,0,4", DestDir="12"))]),
     TYPICAL_FILES, CLSID_MAIN, "1.0.0.4", 5109),
    ("dest_x", setup_info([("OVSample.dll", main_keys("1,0,0,4", DestDir="x"))]),
     TYPICAL_FILES, CLSID_MAIN, "1.0.0.4", 5109),
    ("register_true", setup_info([("OVSample.dll", main_keys("1,0,0,4", RegisterServer="true"))]),
     TYPICAL_FILES, CLSID_MAIN, "1.0.0.4", 5110),
    ("other_clsid", setup_info(TYPICAL), TYPICAL_FILES, CLSID_NOVERSION, "", 5110),
    ("all_ignored", setup_info([("OVSample.dll", main_keys("1,0,0,4", **{"file-win32-x86": "IGNORE"}))]),
     TYPICAL_FILES, CLSID_MAIN, "1.0.0.4", 5110),
    # Declared 1,0,0,3 although the file carries 1.0.0.4.
    ("declared_old", setup_info([("OVSample.dll", main_keys("1,0,0,3"))]), TYPICAL_FILES,
     CLSID_MAIN, "1.0.0.4", 5112),
    ("need_newer", setup_info(TYPICAL), TYPICAL_FILES, CLSID_MAIN, "1.0.0.5", 5112),
    ("no_resource", setup_info([("OVNoVersion.dll", dict(THIS_CAB, clsid=CLSID_NOVERSION,
                                                        RegisterServer="yes"))]),
     {"OVNoVersion.dll": "OVNoVersion.dll"}, CLSID_NOVERSION, "", 5112),
    # The reader takes it; the copy into a folder that does not exist fails.
    ("sub_folder", setup_info([("OVSample.dll", main_keys("1,0,0,4")),
                               ("bin\\OVHelper.dll", dict(THIS_CAB))]),
     {"OVSample.dll": "OVSample.dll", "bin\\OVHelper.dll": "OVHelper.dll"},
     CLSID_MAIN, "1.0.0.4", 5017),
    # Registration fails only after every file has been copied.
    ("register_text", setup_info(TYPICAL + [("readme.txt", dict(THIS_CAB, RegisterServer="yes"))]),
     dict(TYPICAL_FILES, **{"readme.txt": b"Ovelin\r\n"}), CLSID_MAIN, "1.0.0.4", 5016),
    ("register_no_export", setup_info(TYPICAL + [("NoExports.dll",
                                                  dict(THIS_CAB, RegisterServer="yes"))]),
     dict(TYPICAL_FILES, **{"NoExports.dll": "NoExports.dll"}), CLSID_MAIN, "1.0.0.4", 5016),
    ("register_decorated", setup_info(TYPICAL + [("OVDecorated.dll",
                                                  dict(THIS_CAB, RegisterServer="yes"))]),
     dict(TYPICAL_FILES, **{"OVDecorated.dll": "OVDecorated.dll"}), CLSID_MAIN, "1.0.0.4", 5016),
]


@pytest.mark.parametrize("case,text,files,clsid,need,expected", FAULTS,
                         ids=[case[0] for case in FAULTS])
def test_reported_fault_is_the_code_the_install_job_ends_with(env, pki, work, case, text, files,
                                                             clsid, need, expected):
    folder = folder_of(work, files)
    inf = os.path.join(work, "OVSample.inf")
    with open(inf, "w", newline="") as f:
        f.write(text)
    out = os.path.join(work, "faulty.cab")

    status, output = ovpack(env, "build", "--inf", inf, "--folder", folder, "--clsid", clsid,
                            "--need-version", need, "--out", out, "--keep-rejected",
                            *signing(pki.signer))
    code, name = reported(output)
    assert (status, code) == (1, expected), output
    assert re.search(r"^hint: \S", output, re.M)

    assert install(env, work, out, clsid, need)[0] == expected


def test_rejected_package_is_not_written(env, pki, work):
    folder = folder_of(work, TYPICAL_FILES)
    inf = os.path.join(work, "OVSample.inf")
    with open(inf, "w", newline="") as f:
        f.write(setup_info([("OVSample.dll", main_keys("1,0,0,4", DestDir="12"))]))
    out = os.path.join(work, "faulty.cab")
    status, output = ovpack(env, "build", "--inf", inf, "--folder", folder, "--clsid",
                            CLSID_MAIN, "--out", out, *signing(pki.signer))
    assert (status, reported(output)) == (1, (5109, "DLL_LOADINF_INVALID_DESTINFO"))
    assert not os.path.exists(out)


@pytest.mark.parametrize("flags,status,written", [([], 2, False), (["--no-check"], 0, True)])
def test_without_the_checking_program_nothing_is_vouched_for(env, pki, work, flags, status,
                                                              written):
    folder = folder_of(work, TYPICAL_FILES)
    inf = os.path.join(work, "OVSample.inf")
    with open(inf, "w", newline="") as f:
        f.write(setup_info(TYPICAL))
    out = os.path.join(work, "unchecked.cab")
    result, output = ovpack(env, "build", "--inf", inf, "--folder", folder, "--clsid",
                            CLSID_MAIN, "--out", out, "--infcheck", os.path.join(work, "none.exe"),
                            *flags, *signing(pki.signer))
    assert (result, os.path.exists(out)) == (status, written), output
    assert ("not checked" if written else "no infcheck.exe at") in output


@pytest.mark.parametrize("hostile", ["parent", "deep_parent", "slash_parent", "rooted", "drive",
                                     "drive_relative", "dots_parent"])
def test_cabinet_with_a_name_outside_its_folder_is_not_unpacked(env, hostile):
    package = os.path.join(os.environ["OV_PKG_ROOT"], "pkgs", "cabinet", "hostile_%s.cab" % hostile)
    status, output = ovpack(env, "check", package, "--clsid", CLSID_MAIN)
    assert status == 2
    assert "a name that leads outside its folder; not unpacked" in output


def test_package_without_setup_information_file(env, pki, work):
    out = os.path.join(work, "noinf.cab")
    packages.build_package({"OVSample.dll": os.path.join(BUILD, SAMPLE_FILES["OVSample.dll"])},
                           out, signer=pki.signer)
    status, output = ovpack(env, "check", out, "--clsid", CLSID_MAIN)
    assert (status, reported(output)) == (1, (5106, "DLL_LOADINF_MISSING_INFFILE"))
    assert install(env, work, out, CLSID_MAIN, "1.0.0.4")[0] == 5106


def pkcs12_signing(signer, work):
    """The signer as a password-protected PKCS#12 file."""
    password = os.path.join(work, "password")
    with open(password, "w") as f:
        f.write("s3cret\n")
    bundle = os.path.join(work, "signer.p12")
    subprocess.run(["openssl", "pkcs12", "-export", "-in", signer.cert, "-inkey", signer.key,
                    "-out", bundle, "-passout", "file:" + password], check=True,
                   stdin=subprocess.DEVNULL, capture_output=True)
    return ["--pkcs12", bundle, "--pass-file", password]


def test_of_several_setup_information_files_the_one_the_engine_reads_is_named(env):
    # The engine's own test package: its install reads a_good.INF.
    package = os.path.join(os.environ["OV_PKG_ROOT"], "pkgs", "install", "twoinfs.cab")
    status, output = ovpack(env, "check", package, "--clsid", CLSID_MAIN,
                            "--need-version", "1.0.0.4")
    assert (status, reported(output)) == (0, (0, "SUCCESS")), output
    assert "holds 2 setup information files; the installer reads only a_good.INF," in output


@pytest.mark.parametrize("package,clsid,need,code,note", [
    ("main4", CLSID_MAIN, "1.0.0.4", 0, None),
    ("inf_declared_old", CLSID_MAIN, "1.0.0.4", 5112,
     "OVSample.dll declares FileVersion 1,0,0,3 but its version resource says 1.0.0.5"),
    ("inf_no_resource", CLSID_NOVERSION, "", 5112, "OVNoVersion.dll has no version resource"),
])
def test_main_control_version_against_its_version_resource(env, package, clsid, need, code,
                                                             note):
    # The engine's own test packages of the same names.
    path = os.path.join(os.environ["OV_PKG_ROOT"], "pkgs", "install", package + ".cab")
    status, output = ovpack(env, "check", path, "--clsid", clsid, "--need-version", need)
    assert reported(output)[0] == code, output
    notes = re.findall(r"^note: (.*)$", output, re.M)
    assert notes == ([note] if note else []), output


@pytest.mark.parametrize("signer,expected", [("signer", "trusted by"), ("pkcs12", "trusted by"),
                                             ("untrusted", "REJECTED")])
def test_signature_is_verified_against_the_given_ca(env, pki, work, signer, expected):
    folder = folder_of(work, TYPICAL_FILES)
    inf = os.path.join(work, "OVSample.inf")
    with open(inf, "w", newline="") as f:
        f.write(setup_info(TYPICAL))
    out = os.path.join(work, "signed.cab")
    how = pkcs12_signing(pki.signer, work) if signer == "pkcs12" else \
        signing(getattr(pki, signer))
    status, output = ovpack(env, "build", "--inf", inf, "--folder", folder, "--clsid",
                            CLSID_MAIN, "--ca", pki.ca, "--out", out, *how)
    assert re.search("^signature: .*" + expected, output, re.M), output
    assert (status, os.path.exists(out)) == ((0, True) if expected == "trusted by" else (1, False))


@pytest.mark.parametrize("manifest,complaint", [
    ('{"main": "OVSample.dll", "version": "1.0.0.4"}', '"clsid" is required'),
    ('{"clsid": "%s", "main": "OVSample.dll", "version": "1.0.4"}' % CLSID_MAIN,
     "not four numbers"),
    ('{"clsid": "%s", "main": "OVSample.dll", "version": "1.0.0.70000"}' % CLSID_MAIN,
     "above 65535"),
    ('{"clsid": "not-a-clsid", "main": "OVSample.dll", "version": "1.0.0.4"}', "not a CLSID"),
    ('{"clsid": "%s", "main": "OVSample.dll", "version": "1.0.0.4", "files": ["a=b.dll"]}'
     % CLSID_MAIN, 'may not hold "="'),
    ('{"clsid": "%s", "main": "OVSample.dll", "version": "1.0.0.4", "files": ["bin/x.dll"]}'
     % CLSID_MAIN, "creates no sub-folders"),
    ('{"clsid": "%s", "main": "OVSample.dll", "version": "1.0.0.4",'
     ' "files": [{"name": "x.dll", "dest": "12"}]}' % CLSID_MAIN, "is not \"cache\""),
    ('{"clsid": "%s", "main": "\u00c4.dll", "version": "1.0.0.4"}' % CLSID_MAIN,
     "printable ASCII"),
    ('{"clsid": "%s", "main": "OVSample.dll", "version": "1.0.0.4", "extra": 1}' % CLSID_MAIN,
     "unknown keys extra"),
    ('{"clsid": "%s", "main": "OVSample.dll", "version": "1.0.0.4", "files": ["old.INF"]}'
     % CLSID_MAIN, "a second *.inf could be read in its place"),
])
def test_faulty_manifest_is_refused_before_anything_is_built(env, pki, work, manifest,
                                                            complaint):
    path = os.path.join(work, "package.json")
    with open(path, "w", encoding="utf-8") as f:
        f.write(manifest)
    folder = folder_of(work, TYPICAL_FILES)
    out = os.path.join(work, "out.cab")
    status, output = ovpack(env, "build", "--manifest", path, "--folder", folder, "--out", out,
                            *signing(pki.signer))
    assert status == 2
    assert complaint in output
    assert not os.path.exists(out)


def test_manifest_defaults_main_file_settings_and_lists_the_whole_folder(env, work):
    folder = folder_of(work, {"OVSample.dll": "OVSample.dll", "b.txt": b"b", "a.txt": b"a"})
    path = os.path.join(folder, "package.json")
    # Without braces: written with them, as pages pass the CLSID.
    with open(path, "w") as f:
        f.write('{"clsid": "%s", "main": "OVSample.dll", "version": "1.0.0.4"}' % CLSID_MAIN[1:-1])
    status, output = ovpack(env, "inf", "--manifest", path, "--folder", folder)
    assert status == 0
    assert output == ("[Add.Code]\nOVSample.dll=OVSample.dll\na.txt=a.txt\nb.txt=b.txt\n\n"
                      "[OVSample.dll]\nfile-win32-x86=thiscab\nclsid=%s\nFileVersion=1,0,0,4\n"
                      "RegisterServer=yes\n\n[a.txt]\nfile-win32-x86=thiscab\n\n"
                      "[b.txt]\nfile-win32-x86=thiscab\n" % CLSID_MAIN)


def packed(work, pki, text=None, files=TYPICAL_FILES, signer="signer"):
    """A package of files and a setup information file (default: the typical
    one), signed by pki's signer of that name, or unsigned for None."""
    inf = os.path.join(work, "OVSample.inf")
    with open(inf, "w", newline="") as f:
        f.write(text or setup_info(TYPICAL))
    contents = {"OVSample.inf": inf}
    folder = folder_of(work, files)
    contents.update((name, os.path.join(folder, name)) for name in files)
    out = os.path.join(work, "package.cab")
    return packages.build_package(contents, out, sign=signer is not None,
                                  signer=signer and getattr(pki, signer))


def inf_build(work, pki, text, files=TYPICAL_FILES, *extra):
    inf = os.path.join(work, "OVSample.inf")
    with open(inf, "w", newline="") as f:
        f.write(text)
    return ["build", "--inf", inf, "--folder", folder_of(work, files), "--clsid", CLSID_MAIN,
            "--need-version", "1.0.0.4", "--out", os.path.join(work, "out.cab")] + \
        list(extra or signing(pki.signer))


TYPO = setup_info([("OVSample.dll", dict(main_keys("1,0,0,4"), FileVerison="1,0,0,4"))])
UNKNOWN_KEY = 'OVSample.inf, section [OVSample.dll]: unknown key "FileVerison"; a file\'s section ' \
              "takes file-win32-x86, clsid, FileVersion, RegisterServer, DestDir, hook"
TEXT_MAIN = {"OVSample.dll": b"Ovelin sample\r\n", "OVHelper.dll": "OVHelper.dll"}

# (case, the arguments from (work, pki), exit status, result line or None,
#  a line the output must hold)
TOLD_FAULTS = [
    ("unsigned", lambda w, p: ["check", packed(w, p, signer=None), "--clsid", CLSID_MAIN],
     1, "5002 DLL_INVALID_SIGNCODE", "signature: REJECTED: the package is not signed"),
    ("unsigned_ca", lambda w, p: ["check", packed(w, p, signer=None), "--clsid", CLSID_MAIN,
                                  "--ca", p.ca],
     1, "5002 DLL_INVALID_SIGNCODE", "signature: REJECTED: the package is not signed"),
    ("untrusted_ca", lambda w, p: ["check", packed(w, p, signer="untrusted"), "--clsid",
                                   CLSID_MAIN, "--ca", p.ca],
     1, "5002 DLL_INVALID_SIGNCODE",
     "signature: REJECTED: the signer /CN=Ovelin Test Signer untrusted does not chain to "
     "%(ca)s: unable to get local issuer certificate"),
    ("expired_ca", lambda w, p: ["check", packed(w, p, signer="expired"), "--clsid",
                                 CLSID_MAIN, "--ca", p.ca],
     1, "5002 DLL_INVALID_SIGNCODE",
     "signature: REJECTED: the signer /CN=Ovelin Test Signer expired does not chain to "
     "%(ca)s: certificate has expired"),
    ("signed_no_ca", lambda w, p: ["check", packed(w, p), "--clsid", CLSID_MAIN],
     0, "0 SUCCESS",
     "signature: signed by /CN=Ovelin Test Signer signer, not time-stamped: stops installing "
     "when the certificate expires on %(signer_expiry)s; its chain was not checked (give --ca)"),
    ("clsid_without_braces", lambda w, p: ["check", packed(w, p), "--clsid", CLSID_MAIN[1:-1]],
     0, "0 SUCCESS", "  OVSample.dll -> downloaded-controls folder, registered, main control, "
                     "%s, version 1,0,0,4" % CLSID_MAIN),
    ("clsid_one_brace", lambda w, p: ["check", packed(w, p), "--clsid", CLSID_MAIN[:-1]],
     2, None, "ovpack: --clsid %r is not a CLSID: 32 hexadecimal digits written as "
              "{8-4-4-4-12}" % CLSID_MAIN[:-1]),
    ("unknown_key_build", lambda w, p: inf_build(w, p, TYPO), 2, None,
     "ovpack: %(work)s/" + UNKNOWN_KEY),
    ("unknown_key_check", lambda w, p: ["check", packed(w, p, TYPO), "--clsid", CLSID_MAIN],
     1, None, "REJECTED: " + UNKNOWN_KEY),
    ("unlisted_sub_folder", lambda w, p: inf_build(w, p, setup_info(TYPICAL), dict(
        TYPICAL_FILES, **{"data\\level1.dat": b"level"})), 2, None,
     "ovpack: data\\level1.dat is in a sub-folder and [Add.Code] does not list it, so it would "
     "never be installed (the installer creates no sub-folders): move it to the top of "
     "--folder and list it"),
    ("no_folder", lambda w, p: ["build", "--inf", "x.inf", "--folder", w + "/none", "--clsid",
                                CLSID_MAIN, "--out", w + "/x.cab"] + signing(p.signer),
     2, None, "ovpack: --folder %(work)s/none: no such folder"),
    ("pkcs12_wrong_password", lambda w, p: inf_build(
        w, p, setup_info(TYPICAL), TYPICAL_FILES,
        *pkcs12_signing(p.signer, w)[:3] + [write(w, "wrong", "nope\n")]), 2, None,
     "ovpack: signing failed: cannot open the PKCS#12 file %(work)s/signer.p12: wrong password"),
    ("pkcs12_no_pass_file", lambda w, p: inf_build(
        w, p, setup_info(TYPICAL), TYPICAL_FILES, *pkcs12_signing(p.signer, w)[:2]), 2, None,
     "ovpack: signing failed: cannot open the PKCS#12 file %(work)s/signer.p12: wrong password "
     "(give its password with --pass-file)"),
    ("decorated_export", lambda w, p: inf_build(
        w, p, setup_info(TYPICAL + [("OVDecorated.dll", dict(THIS_CAB, RegisterServer="yes"))]),
        dict(TYPICAL_FILES, **{"OVDecorated.dll": "OVDecorated.dll"})), 1,
     "5016 DLL_CANT_REGISTSERVER",
     'hint: OVDecorated.dll is to be registered ("RegisterServer=yes") but exports '
     'DllRegisterServer only as "DllRegisterServer@0", a decorated name that the installer '
     "does not find; export it undecorated (a .def file, or the linker option --kill-at), so "
     "its registration would fail and every install of the package would be undone. "
     "Register only COM servers."),
    ("text_as_main", lambda w, p: inf_build(w, p, setup_info(TYPICAL), TEXT_MAIN), 1,
     "5112 DLL_LOADINF_NOTMATCH_NEEDVERSION",
     "note: OVSample.dll is not a DLL (not a Windows program file)"),
]


def write(work, name, text):
    path = os.path.join(work, name)
    with open(path, "w") as f:
        f.write(text)
    return path


@pytest.mark.parametrize("case,args,status,result,line", TOLD_FAULTS,
                         ids=[case[0] for case in TOLD_FAULTS])
def test_fault_is_told_in_one_line(env, pki, work, case, args, status, result, line):
    code, output = ovpack(env, *args(work, pki))
    assert code == status, output
    lines = output.splitlines()
    assert line % {"work": work, "ca": pki.ca, "signer_expiry": certificate_expiry(pki.signer)} \
        in lines, output
    if result is None:
        assert not re.search(r"^result:", output, re.M), output
    else:
        assert "result: " + result in lines, output
    if status == 2:
        assert len(lines) == 1, output


def certificate_expiry(signer):
    """The end of signer's validity, as ovpack writes times."""
    text = subprocess.run(["openssl", "x509", "-in", signer.cert, "-noout", "-enddate", "-dateopt",
                           "iso_8601"], check=True, capture_output=True, text=True).stdout
    return text.split("=", 1)[1].strip().replace("Z", " UTC")


UNREGISTERED = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A0F}"


# A package whose control registers the CLSID it names, and one that names
# a CLSID its control never registers: the reading passes both.
@pytest.mark.parametrize("clsid,status,told", [
    (CLSID_MAIN, 0, ["trial: result 0 SUCCESS",
                     "trial: control %s created; version 1.0.0.4 "
                     "(C:\\windows\\Downloaded Program Files\\OVSample.dll)" % CLSID_MAIN]),
    (UNREGISTERED, 1, ["trial: result 2001 MODULE_NOTEXIST_REGINFO",
                       "hint: The package installed without error, but nothing is registered "
                       "as %s: the control's DllRegisterServer registers another CLSID. The "
                       "package's clsid must be the one the control registers." % UNREGISTERED]),
], ids=["registers_its_clsid", "registers_another_clsid"])
def test_trial_install_creates_the_control_by_its_clsid(env, pki, work, clsid, status, told):
    package = packed(work, pki, setup_info([("OVSample.dll", main_keys("1,0,0,4", clsid=clsid)),
                                            ("OVHelper.dll", dict(THIS_CAB))]))
    code, output = ovpack(env, "check", package, "--clsid", clsid, "--need-version", "1.0.0.4",
                          "--ca", pki.ca, "--trial", "--build", BUILD)
    assert code == status, output
    assert "result: 0 SUCCESS" in output.splitlines(), output
    for line in told:
        assert line in output.splitlines(), output


DATE = r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC"
CRL = packages.CRL_HOST + "/ca/ca.crl"
UNKNOWN_INSTALLS = "installs unless the engine is built with OV_REQUIRE_REVOCATION=ON"
IN_VALIDITY = "2020-07-01 00:00:00 UTC"  # packages.EXPIRED_SIGNING_TIME
# (case, signer, time stamp: "now" from the loopback authority, "inside" the
#  expired signer's validity, or None; ovpack's signature line, with DATE
#  for a time of this run; the result of the whole install job)
SIGNER_TRUST = [
    ("stamped", "signer", "now",
     "signed at DATE by /CN=Ovelin Test Signer signer, time stamp by /CN=Ovelin Test Signer tsa; "
     "trusted by CA", 0),
    ("plain", "signer", None,
     "signed by /CN=Ovelin Test Signer signer, not time-stamped: stops installing when the "
     "certificate expires on DATE; trusted by CA", 0),
    ("expired_stamped_inside", "expired", "inside",
     "signed at %s by /CN=Ovelin Test Signer expired, time stamp by /CN=Ovelin Test Signer tsa; "
     "trusted by CA" % IN_VALIDITY, 0),
    ("expired_plain", "expired", None,
     "REJECTED: the signer /CN=Ovelin Test Signer expired does not chain to CA: certificate has "
     "expired", 5002),
    ("expired_stamped_late", "expired", "now",
     "REJECTED: the signer /CN=Ovelin Test Signer expired does not chain to CA at the time "
     "stamped (DATE): certificate has expired", 5002),
    ("selfsigned", "selfsigned", None,
     "REJECTED: the signer /CN=Ovelin Test Signer selfsigned does not chain to CA: self-signed "
     "certificate", 5002),
    ("no_code_signing", "web", None,
     "REJECTED: the signer /CN=Ovelin Test Signer web does not chain to CA: the certificate is "
     "not for code signing", 5002),
    ("md5_link", "md5", None,
     "REJECTED: the signer /CN=Ovelin Test Signer md5 does not chain to CA: a link of its chain "
     "is signed with md5WithRSAEncryption", 5002),
    # Revocation, by the lists that the certificates' distribution points
    # serve: ovpack's revocation line.
    ("revoked", "revoked", None,
     "revocation: REJECTED: the signer has been revoked (lists from %s)" % CRL, 5002),
    ("revoked_stamped", "revoked", "now",
     "revocation: REJECTED: the signer has been revoked (lists from %s)" % CRL, 5002),
    ("revoked_tsa", "signer", "revoked_tsa",
     "revocation: REJECTED: the time-stamping authority has been revoked (lists from %s)" % CRL,
     5002),
    ("unrevoked", "unrevoked", None, "revocation: not revoked (lists from %s)" % CRL, 0),
    ("crl_unreachable", "offline", None,
     "revocation: unknown for the signer (no list; %s/status/404/ca/ca.crl did not answer): %s"
     % (packages.CRL_HOST, UNKNOWN_INSTALLS), 0),
    ("crl_forged", "forged", None,
     "revocation: unknown for the signer (no list; %s/ca/forged.crl is not signed by its "
     "issuer): %s" % (packages.CRL_HOST, UNKNOWN_INSTALLS), 0),
]


# ovpack check and the engine judge a signer by the same rules: a trusted
# chain, a leaf for code signing, checked when a time stamp says it signed,
# or else now; refused when it or its time-stamping authority is revoked.
@pytest.mark.parametrize("case,signer,stamp,line,result", SIGNER_TRUST,
                         ids=[case[0] for case in SIGNER_TRUST])
def test_check_and_install_judge_the_signer_at_the_time_stamped(env, pki, work, case, signer,
                                                                 stamp, line, result):
    package = os.path.join(work, "signed.cab")
    unsigned = packed(work, pki, signer=None)
    if stamp == "now":
        with timestamp_server.TimeStampServer(pki) as url:
            packages.sign_file(unsigned, package, getattr(pki, signer), timestamp_url=url)
    else:
        when = {"inside": packages.EXPIRED_SIGNING_TIME, "revoked_tsa": int(time.time())}
        packages.sign_file(unsigned, package, getattr(pki, signer), stamped_at=when.get(stamp),
                           tsa=pki.revoked_tsa if stamp == "revoked_tsa" else pki.tsa)
    _, output = ovpack(env, "check", package, "--clsid", CLSID_MAIN, "--ca", pki.ca)
    expected = re.escape(line) if line.startswith("revocation: ") else \
        re.escape("signature: " + line).replace("DATE", DATE).replace("CA", re.escape(pki.ca))
    assert re.search("^%s$" % expected, output, re.M), output
    assert install(env, work, package, CLSID_MAIN, "1.0.0.4")[0] == result


# --crl: a list the operator gives judges the signer where no distribution
# point answers (the proxy leads nowhere); a list that its issuer did not
# sign judges nothing.
@pytest.mark.parametrize("signer,given,line", [
    ("revoked", "ca.crl",
     "revocation: REJECTED: the signer has been revoked (lists from LIST; %s did not answer)" % CRL),
    ("unrevoked", "ca.crl", "revocation: not revoked (lists from LIST; %s did not answer)" % CRL),
    ("signer", "forged.crl",
     "revocation: unknown for the signer (no list; LIST is not signed by its issuer): "
     + UNKNOWN_INSTALLS),
])
def test_check_judges_revocation_by_a_given_list(env, pki, work, signer, given, line):
    offline = dict(env, http_proxy="http://127.0.0.1:9")
    listed = os.path.join(pki.folder, given)
    status, output = ovpack(offline, "check", packed(work, pki, signer=signer), "--clsid",
                            CLSID_MAIN, "--ca", pki.ca, "--crl", listed)
    assert line.replace("LIST", listed) in output.splitlines(), output
    assert status == (1 if "REJECTED" in line else 0), output


# Time stamps end to end: ovpack signs, the loopback authority stamps, as
# an RFC 3161 token or as an Authenticode countersignature.
@pytest.mark.parametrize("option,path", [("--timestamp", ""),
                                         ("--authenticode-timestamp", "authenticode/%d")])
def test_build_time_stamps_through_the_authority(env, pki, work, option, path):
    # The bench's HTTP proxy leads to the package server, not to the authority.
    direct = {name: value for name, value in env.items() if name.lower() != "http_proxy"}
    with timestamp_server.TimeStampServer(pki) as url:
        status, output = ovpack(direct, *inf_build(work, pki, setup_info(TYPICAL)), "--ca", pki.ca,
                                option, url + (path % time.time() if path else ""))
    assert status == 0, output
    assert re.search(r"^signature: signed at %s by /CN=Ovelin Test Signer signer, time stamp by "
                     r"/CN=Ovelin Test Signer tsa; trusted by " % DATE, output, re.M), output
