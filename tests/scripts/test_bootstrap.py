"""scripts/bootstrap's decisions, with apt-get, dpkg and locale replaced by
fakes on PATH that fail the ways a real mirror does."""
import os
import re
import subprocess
import textwrap

import pytest

BOOTSTRAP = os.path.join(os.environ.get("OV_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "../..")),
                         "scripts", "bootstrap")
RELEASE = subprocess.run(["sh", "-c", ". /etc/os-release; echo $VERSION_CODENAME"],
                         capture_output=True, text=True).stdout.strip()

# What apt prints, as measured on a security mirror in the middle of a sync.
MIRROR_SYNC = """\
Err:6 http://deb.debian.org/debian-security bookworm-security/main i386 Packages
E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?
E: Some index files failed to download. They have been ignored, or old ones used instead."""
SKEW = """\
The following packages have unmet dependencies:
 libcurl4:i386 : Depends: libbrotli1:i386 (>= 0.6.0) but it is not going to be installed
E: Unable to correct problems, you have held broken packages."""
OFFLINE = """\
Err:1 http://deb.debian.org/debian bookworm InRelease
  Temporary failure resolving 'deb.debian.org'
E: Some index files failed to download. They have been ignored, or old ones used instead."""
NOT_FOUND = "E: Unable to locate package wine32:i386"
LOCKED = "E: Could not get lock /var/lib/apt/lists/lock. It is held by process 4242 (apt-get)"

# Each step's answer: (output, exit status); missing steps succeed quietly.
CASES = {
    "mirror_sync": ({"install": (SKEW, 100), "update": (MIRROR_SYNC, 100), "install-t": ("", 0)},
                    0, ["File has unexpected size", "could not fetch every index",
                        f"installing from {RELEASE} alone"],
                    ["install", "update", "install", "install-t"]),
    "offline": ({"install": (NOT_FOUND, 100), "update": (OFFLINE, 100)},
                1, ["Temporary failure resolving", NOT_FOUND, "bootstrap: apt-get install failed"],
                ["install", "update", "install"]),
    "locked": ({"install": (NOT_FOUND, 100), "update": (LOCKED, 100)},
               1, [LOCKED, "bootstrap: apt-get update failed"], ["install", "update"]),
    "skew_everywhere": ({"install": (SKEW, 100), "install-t": (SKEW, 100)},
                        1, ["libcurl4:i386 : Depends", f"bootstrap: apt-get install -t {RELEASE} failed"],
                        ["install", "update", "install", "install-t"]),
    "lists_fresh": ({}, 0, [], ["install"]),
}

# Answers a step from FAKE_DIR/answers/<step>.out and .status.
FAKE_APT = """\
#!/bin/sh
step=$1; [ "$step" = install ] && case " $* " in *" -t "*) step="install-t";; esac
echo "$step" >>"$FAKE_DIR/calls"
answer=$FAKE_DIR/answers/$step
[ -f "$answer.out" ] || exit 0
cat "$answer.out"; exit "$(cat "$answer.status")"
"""


def write_tool(folder, name, text):
    path = folder / name
    path.write_text(textwrap.dedent(text))
    path.chmod(0o755)


@pytest.fixture
def fake_system(tmp_path):
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    write_tool(bin_dir, "apt-get", FAKE_APT)
    write_tool(bin_dir, "dpkg", "#!/bin/sh\necho i386\n")
    # Nothing is installed unless the case says so.
    write_tool(bin_dir, "dpkg-query", '#!/bin/sh\n[ -n "$FAKE_ALL_INSTALLED" ] && echo "install ok installed"\n:\n')
    write_tool(bin_dir, "locale", "#!/bin/sh\nprintf 'en_US.utf8\\nko_KR.utf8\\n'\n")
    return tmp_path


def run_bootstrap(folder, answers, all_installed=False):
    (folder / "answers").mkdir()
    for step, (out, status) in answers.items():
        (folder / "answers" / f"{step}.out").write_text(out + "\n")
        (folder / "answers" / f"{step}.status").write_text(str(status))
    env = dict(os.environ, PATH=f"{folder}/bin:{os.environ['PATH']}", FAKE_DIR=str(folder),
               TMPDIR=str(folder), FAKE_ALL_INSTALLED="1" if all_installed else "")
    result = subprocess.run(["bash", BOOTSTRAP], env=env, capture_output=True, text=True, timeout=60)
    calls_file = folder / "calls"
    calls = calls_file.read_text().split("\n")[:-1] if calls_file.exists() else []
    return result, calls


@pytest.mark.parametrize("case", CASES)
def test_apt_failures_are_reported_and_got_through_where_they_can_be(fake_system, case):
    answers, status, said, calls = CASES[case]
    result, made = run_bootstrap(fake_system, answers)
    output = result.stdout + result.stderr
    assert result.returncode == status, output
    assert made == calls
    for text in said:
        assert text in output
    if status:
        # The last thing said names the step that failed.
        assert output.strip().splitlines()[-1].startswith("bootstrap: apt-get")


def test_nothing_missing_asks_apt_nothing(fake_system):
    result, made = run_bootstrap(fake_system, {}, all_installed=True)
    assert (result.returncode, made, result.stdout) == (0, [], "")


def test_test_and_demo_builds_share_a_folder_in_either_order(tmp_path):
    """scripts/test configures the shipped build without its tests and the
    demo builds its sample controls there; each must set the folder right
    for itself, whichever ran before."""
    script = os.path.join(os.path.dirname(BOOTSTRAP), "build")
    arch = os.environ.get("OV_ARCH", "x86_64")
    folder = tmp_path / arch
    for purpose in ("shipped", "demo", "shipped", "demo"):
        result = subprocess.run(["bash", script, str(folder), arch, purpose],
                                capture_output=True, text=True, timeout=900)
        assert result.returncode == 0, f"{purpose}:\n{result.stdout[-3000:]}{result.stderr[-3000:]}"
        testing = re.search(r"^BUILD_TESTING:BOOL=(\w+)$", (folder / "CMakeCache.txt").read_text(), re.M)
        assert testing.group(1) == ("OFF" if purpose == "shipped" else "ON")
    for built in ("control/OVSetupAgent.dll", "engine/OVSetupCore.dll", "tools/ovhost/ovhost.exe"):
        assert (folder / built).is_file(), built
