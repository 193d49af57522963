"""The package check: the engine's own setup information reader, run under
Wine on the unpacked package.

infcheck.exe is built from the engine's sources (tools/ovpack/infcheck.cpp
linked with the engine library), so the verdict is the engine's and not a
second reading of its rules: a rule changed in the engine changes the
check with the next build.
"""

import os
import subprocess
import tempfile

import pe_exports
from cabinet import ToolError

# Plain-language advice for each result code the reader can return.
HINTS = {
    0: "The package installs: its setup information file reads as the installer reads it.",
    1001: "The check was called without a folder or a CLSID.",
    1002: "The checking program ran out of memory.",
    5004: "The check was cancelled.",
    5101: 'The setup information file has no [Add.Code] section, or the section lists no '
          'files. List every file of the package there, one "name=name" line each.',
    5102: "A name in [Add.Code] points outside the package: a drive letter, a leading "
          '"\\" or "/", a ":" or a ".." folder. Use plain names or sub-folders of the package.',
    5103: 'A file section has a "hook" key, or "file-win32-x86=url". The installer supports '
          'neither: remove the hook, and pack the file with "file-win32-x86=thiscab".',
    5104: "The reader was not given a folder to read.",
    5105: "A file is listed twice in [Add.Code]; names are compared without regard to case.",
    5106: "The cabinet holds no setup information file (*.inf) at its top level.",
    5107: 'A file listed in [Add.Code] has no section of its own, or its section lacks '
          '"file-win32-x86" (or leaves it empty). Add "file-win32-x86=thiscab".',
    5108: "A file listed in [Add.Code] is not in the cabinet. Pack it, or correct its name "
          "(sub-folders as in the cabinet, separated by \"\\\").",
    5109: 'A "DestDir" is neither 10 (the Windows folder) nor 11 (the System folder). Leave it '
          "out for the browser's downloaded-controls folder.",
    5002: "The install checks the signature first and stops here: {item}. Sign with a "
          "code-signing certificate that chains to a root the players' Windows trusts.",
    5110: "No file is the control that pages ask for: the control's own section needs "
          '"clsid" equal to the CLSID checked, written with braces as pages pass it, and '
          '"RegisterServer=yes".',
    5016: '{item} is to be registered ("RegisterServer=yes") but {why}, so its registration '
          "would fail and every install of the package would be undone. Register only "
          "COM servers.",
    5017: "{item} has a folder in its name. The installer copies every file straight into "
          "its destination folder and creates no folder below it, so this copy would fail. "
          "Pack the file at the top of the cabinet and list it by its plain name.",
    5112: "The control is older than the version needed, or its file has no version "
          'resource. Both the "FileVersion" of its section and the version resource of the '
          "file itself must be at least the needed version.",
}

DEST_NAMES = {0: "downloaded-controls folder", 1: "Windows folder", 2: "System folder"}


class Item:
    def __init__(self, name, dest, register, clsid, version):
        self.name = name
        self.dest = dest
        self.register = register
        self.clsid = clsid
        self.version = version


class Verdict:
    """What the engine's reader made of one unpacked package."""

    def __init__(self, code, name, items, main, culprit="", inf=None, resource=None, why=""):
        self.code = code
        self.name = name
        self.items = items      # Item list, in install order (those read before a fault)
        self.main = main        # the main control item's name, or None
        self.culprit = culprit  # the item a fault found after the reading names
        self.inf = inf          # the setup information file read whole, or None
        self.resource = resource  # the main item's version resource FileVersion, or None
        self.why = why          # what is wrong with the culprit, where the hint needs it

    @property
    def hint(self):
        return HINTS.get(self.code, "The reader returned a code it does not document.").format(
            item=self.culprit, why=self.why)


def install_fault(verdict, folder):
    """Faults of a package that the reader accepts but the install stage
    would end with, in the order that stage meets them: a Verdict for the
    first, or None.

    The copy of each item goes to "<destination folder>\\<name>" and creates
    no folder in between, so a name with a folder fails with
    DLL_CANT_COPYFILE. After all copies, each item to register is loaded
    and its DllRegisterServer called, so one that is no DLL exporting that
    function fails with DLL_CANT_REGISTSERVER; by then the old version of
    the control has already been removed."""
    if verdict.code != 0:
        return None
    for item in verdict.items:
        if "\\" in item.name or "/" in item.name:
            return Verdict(5017, "DLL_CANT_COPYFILE", verdict.items, verdict.main, item.name,
                           verdict.inf, verdict.resource)
    for item in verdict.items:
        if not item.register:
            continue
        why = registration_fault(os.path.join(folder, item.name))
        if why:
            return Verdict(5016, "DLL_CANT_REGISTSERVER", verdict.items, verdict.main, item.name,
                           verdict.inf, verdict.resource, why)
    return None


def registration_fault(path):
    """Why the file at path cannot be registered, or "" when it exports
    DllRegisterServer. The installer looks the export up by its plain name,
    so a name decorated the stdcall way ("DllRegisterServer@0") is not
    found."""
    names = pe_exports.exported_names(path)
    if names is None:
        return "is not a DLL (not a Windows program file)"
    if "DllRegisterServer" in names:
        return ""
    decorated = sorted(n for n in names if n.lstrip("_").startswith("DllRegisterServer@"))
    if decorated:
        return ('exports DllRegisterServer only as "%s", a decorated name that the installer '
                'does not find; export it undecorated (a .def file, or the linker option '
                '--kill-at)' % decorated[0])
    return "exports no DllRegisterServer"


def version_numbers(text):
    """The four numbers of a version text ("1, 0, 0, 4" or "1.0.0.4"), or None."""
    parts = text.replace(" ", "").replace(",", ".").split(".")
    if len(parts) != 4 or not all(part.isdigit() for part in parts):
        return None
    return tuple(int(part) & 0xFFFF for part in parts)


def default_infcheck():
    """OVPACK_INFCHECK, else infcheck.exe beside this tool."""
    return os.environ.get("OVPACK_INFCHECK") or os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "infcheck.exe")


def windows_path(path):
    """The path as Wine's programs see it through drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def parse(output):
    """Reads infcheck's tab-separated lines into a Verdict."""
    code, name, items, main, inf, resource = None, "", [], None, None, None
    for line in output.splitlines():
        fields = line.rstrip("\r").split("\t")
        if fields[0] == "result" and len(fields) == 3:
            code, name = int(fields[1]), fields[2]
        elif fields[0] == "item" and len(fields) == 6:
            items.append(Item(fields[1], int(fields[2]), fields[3] == "1", fields[4], fields[5]))
        elif fields[0] == "main" and len(fields) == 2:
            main = fields[1]
        elif fields[0] == "inf" and len(fields) == 2:
            inf = fields[1]
        elif fields[0] == "resource" and len(fields) == 2:
            resource = fields[1]
    if code is None:
        raise ToolError("infcheck gave no result: %r" % output[-500:])
    return Verdict(code, name, items, main, inf=inf, resource=resource)


def _infcheck(args, infcheck):
    """Runs infcheck.exe with args under Wine (WINE names the command,
    default "wine"; WINEPREFIX the prefix); returns its output."""
    if not os.path.isfile(infcheck):
        raise ToolError("no infcheck.exe at %s: build the target infcheck, then pass "
                        "--infcheck or set OVPACK_INFCHECK" % infcheck)
    env = dict(os.environ)
    env.setdefault("WINEDEBUG", "-all")
    args = [env.get("WINE", "wine"), infcheck] + args
    # Output into files, never pipes: Wine's background processes keep
    # inherited pipes open, and a reader would wait for them.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        try:
            status = subprocess.call(args, env=env, stdin=subprocess.DEVNULL,
                                     stdout=out, stderr=err)
        except FileNotFoundError:
            raise ToolError("%s is not installed: the check needs Wine" % args[0])
        out.seek(0)
        err.seek(0)
        output = out.read().decode("latin-1")
        if status != 0:
            raise ToolError("infcheck failed (exit %d): %s"
                            % (status, err.read().decode("latin-1").strip()[-500:]))
    return output


def run_infcheck(folder, clsid, need_version, infcheck):
    """The engine's reading of the unpacked package in folder."""
    return parse(_infcheck([windows_path(folder), clsid, need_version], infcheck))


def names_outside(names, infcheck):
    """The names the engine refuses as leading outside their folder."""
    if not names:
        return []
    output = _infcheck(["--outside"] + list(names), infcheck)
    return [line.rstrip("\r").split("\t", 1)[1] for line in output.splitlines()
            if line.startswith("outside\t")]
