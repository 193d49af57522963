"""The package manifest and the setup information file written from it.

A manifest is a small JSON file beside (or inside) the folder of files:

    {
      "clsid":   "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A01}",
      "main":    "OVSample.dll",
      "version": "1.0.0.4",
      "inf":     "OVSample.inf",
      "files": [
        "OVSample.dll",
        "OVHelper.dll",
        {"name": "OVShared.dll", "dest": "system"},
        {"name": "OVPlugin.dll", "register": true, "clsid": "{...}", "version": "2.0.0.1"}
      ]
    }

clsid    the CLSID that pages name; the main file implements it. Required.
         Written with braces into the setup information file, as pages
         pass it, also when the manifest leaves them out.
main     the control's own file, as named in the folder. Required. It is
         registered, and carries clsid and version, unless its entry says
         otherwise.
version  the control's version, four numbers ("1.0.0.4"; "1,0,0,4" is the
         same). Required. Pages that ask for this version or an older one
         accept the package; the main file's version resource must be at
         least this.
inf      the name of the setup information file in the package. Optional;
         default: the main file's name with the extension ".inf".
files    the files to pack, in install order. Optional; default: every file
         in the folder itself, sorted by name (the manifest and *.inf files
         left out). No entry may be a *.inf file: the installer reads the
         first *.inf of a package by name, which could be the wrong one.
         An entry is a name, or an object with:
           name      the file's name in the folder
           dest      "cache" (default: the browser's downloaded-controls
                     folder), "windows" (DestDir 10) or "system" (DestDir 11)
           register  true: the installer calls the file's DllRegisterServer
           clsid     the COM class the file implements
           version   the file's version (written as FileVersion)
         The main file is added when the list leaves it out.

Names must be printable ASCII without "=", "[", "]" or a leading ";": the
setup information file is an INI-style file that players read in their own
ANSI code page, and those characters would change its meaning. Names are
plain file names: the installer copies every file straight into its
destination folder and creates no folder below it.
"""

import json
import os
import re

# DestDir values of the setup information file, by manifest word.
DEST_DIR = {"cache": "", "windows": "10", "system": "11", "10": "10", "11": "11"}

_VERSION = re.compile(r"^\s*\d+\s*([.,]\s*\d+\s*){3}$")
_GUID = re.compile(r"^[0-9A-Fa-f]{8}-([0-9A-Fa-f]{4}-){3}[0-9A-Fa-f]{12}$")


class ManifestError(Exception):
    """A manifest that cannot describe a package; the text says why."""


class Entry:
    """One file of the package as the setup information file lists it."""

    def __init__(self, name, dest, register, clsid, version):
        self.name = name
        self.dest = dest          # "", "10" or "11"
        self.register = register  # True, False, or None when the manifest does not say
        self.clsid = clsid
        self.version = version    # as written, "." or ","


class Manifest:
    def __init__(self, clsid, main, version, inf, entries):
        self.clsid = clsid
        self.main = main
        self.version = version
        self.inf = inf
        self.entries = entries


def check_name(name, what):
    """Refuses names that the INI-style file or a player's code page would
    read differently from what the operator wrote."""
    if not name or not all(" " <= c <= "~" for c in name):
        raise ManifestError("%s %r: names must be non-empty printable ASCII" % (what, name))
    if any(c in name for c in "=[]") or name.startswith(";") or name != name.strip():
        raise ManifestError('%s %r: names may not hold "=", "[", "]", start with ";" '
                            "or start or end with a space" % (what, name))


def braced_clsid(text, what):
    """The CLSID text with braces, the form pages pass and the installer
    compares with: the installer compares texts, so a CLSID written
    without braces would never match a page's."""
    bare = text.strip()
    if bare.startswith("{") and bare.endswith("}"):
        bare = bare[1:-1]
    if not _GUID.match(bare):
        raise ManifestError('%s %r is not a CLSID: 32 hexadecimal digits written as '
                            '{8-4-4-4-12}' % (what, text))
    return "{%s}" % bare


def check_version(version, what):
    if not _VERSION.match(version):
        raise ManifestError('%s: version %r is not four numbers such as "1.0.0.4"'
                            % (what, version))
    if any(int(part) > 0xFFFF for part in re.split(r"[.,]", version.replace(" ", ""))):
        raise ManifestError("%s: version %r has a number above 65535" % (what, version))


def _text(data, key, required, where="manifest"):
    value = data.get(key, "")
    if not isinstance(value, str):
        raise ManifestError('%s: "%s" must be a text' % (where, key))
    if required and not value.strip():
        raise ManifestError('%s: "%s" is required' % (where, key))
    return value.strip()


def _entry(item, index):
    if isinstance(item, str):
        item = {"name": item}
    if not isinstance(item, dict):
        raise ManifestError("files[%d]: a name or an object" % index)
    where = "files[%d]" % index
    unknown = set(item) - {"name", "dest", "register", "clsid", "version"}
    if unknown:
        raise ManifestError("%s: unknown keys %s" % (where, ", ".join(sorted(unknown))))
    name = _text(item, "name", True, where)
    check_name(name, where)
    if "/" in name or "\\" in name:
        raise ManifestError("%s %r: a plain file name; the installer creates no sub-folders"
                            % (where, name))
    if name.lower().endswith(".inf"):
        raise ManifestError("%s %r: ovpack writes the package's one setup information file; "
                            "a second *.inf could be read in its place" % (where, name))
    dest = str(item.get("dest", "cache")).lower()
    if dest not in DEST_DIR:
        raise ManifestError('%s: dest %r is not "cache", "windows" or "system"' % (where, dest))
    register = item.get("register", None)
    if register is not None and not isinstance(register, bool):
        raise ManifestError('%s: "register" must be true or false' % where)
    clsid = _text(item, "clsid", False, where)
    if clsid:
        clsid = braced_clsid(clsid, where + ": clsid")
    version = _text(item, "version", False, where)
    if version:
        check_version(version, where)
    return Entry(name, DEST_DIR[dest], register, clsid, version)


def _folder_files(folder, skip):
    return sorted(name for name in os.listdir(folder)
                  if os.path.isfile(os.path.join(folder, name))
                  and not name.lower().endswith(".inf")
                  and os.path.abspath(os.path.join(folder, name)) != skip)


def load(path, folder):
    """Reads the manifest at path for the files under folder."""
    try:
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
    except (OSError, ValueError) as error:
        raise ManifestError("cannot read %s: %s" % (path, error))
    if not isinstance(data, dict):
        raise ManifestError("manifest: a JSON object is expected")
    unknown = set(data) - {"clsid", "main", "version", "inf", "files"}
    if unknown:
        raise ManifestError("manifest: unknown keys %s" % ", ".join(sorted(unknown)))

    clsid = braced_clsid(_text(data, "clsid", True), "manifest: clsid")
    main = _text(data, "main", True)
    check_name(main, "main")
    version = _text(data, "version", True)
    check_version(version, "manifest")
    inf = _text(data, "inf", False) or os.path.splitext(main)[0] + ".inf"
    check_name(inf, "inf")
    if "/" in inf or "\\" in inf or not inf.lower().endswith(".inf"):
        raise ManifestError('inf %r: a file name ending in ".inf", without folders' % inf)

    files = data.get("files")
    if files is None:
        files = _folder_files(folder, os.path.abspath(path))
    if not isinstance(files, list):
        raise ManifestError('manifest: "files" must be a list')
    entries = [_entry(item, i) for i, item in enumerate(files)]
    if not any(e.name.lower() == main.lower() for e in entries):
        entries.insert(0, _entry(main, len(entries)))
    for entry in entries:
        if entry.name.lower() == main.lower():
            entry.clsid = entry.clsid or clsid
            entry.version = entry.version or version
            if entry.register is None:
                entry.register = True
    return Manifest(clsid, main, version, inf, entries)


def setup_info_text(entries):
    """The setup information file for entries: "Add.Code" lists every name
    in order, and each name's own section says where the file comes from
    (this cabinet), where it goes, whether to register it, its CLSID and
    its version. CRLF line ends, as Windows' own tools write them."""
    lines = ["[Add.Code]"]
    lines += ["%s=%s" % (e.name, e.name) for e in entries]
    for e in entries:
        lines += ["", "[%s]" % e.name, "file-win32-x86=thiscab"]
        if e.clsid:
            lines.append("clsid=%s" % e.clsid)
        if e.version:
            lines.append("FileVersion=%s" % e.version.replace(".", ","))
        if e.register:
            lines.append("RegisterServer=yes")
        if e.dest:
            lines.append("DestDir=%s" % e.dest)
    return "\r\n".join(lines) + "\r\n"
