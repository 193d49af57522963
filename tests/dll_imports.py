"""Checks what each DLL needs from the system it loads on.

Every DLL imports only Windows' own DLLs: libgcc, libstdc++ and the MinGW
runtime must be linked in, never needed beside the DLL. A 32-bit DLL, the
shipped build, must also load on Windows XP SP3: each function it imports
by name is one that XP SP3 exports (the list in xp_sp3_exports.txt), it
imports nothing by ordinal, and it declares subsystem version 5.1 or lower.

usage: dll_imports.py OBJDUMP XP_EXPORTS DLL...
"""
import re
import subprocess
import sys

WINDOWS_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shlwapi.dll",
    "shell32.dll", "ole32.dll", "oleaut32.dll", "wininet.dll", "winhttp.dll", "wintrust.dll",
    "version.dll", "comctl32.dll", "msvcrt.dll", "crypt32.dll", "uuid.dll",
    "msimg32.dll", "urlmon.dll",
}
XP_SUBSYSTEM = (5, 1)


def read_exports(path):
    """{dll name in lower case: set of function names} from the list."""
    exports, current = {}, None
    with open(path, encoding="ascii") as lines:
        for line in lines:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            if line.startswith("[") and line.endswith("]"):
                current = exports.setdefault(line[1:-1].lower(), set())
            else:
                current.add(line)
    return exports


def describe(objdump, dll):
    """The DLL's format, subsystem version and imports, as objdump -p shows
    them: imports is {dll name: [function names]}, an ordinal import shown
    as "#ordinal"."""
    out = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
    fmt = re.search(r"file format (\S+)", out).group(1)
    major = int(re.search(r"^MajorSubsystemVersion\s+(\d+)", out, re.M).group(1))
    minor = int(re.search(r"^MinorSubsystemVersion\s+(\d+)", out, re.M).group(1))
    imports, current = {}, None
    for line in out.splitlines():
        name = re.match(r"\tDLL Name: (\S+)", line)
        if name:
            current = imports.setdefault(name.group(1), [])
            continue
        if current is None:
            continue
        # "\t<address>\t <hint or ordinal>  <name>"; the table's header and
        # the directory rows between DLLs have other shapes.
        entry = re.match(r"\t[0-9a-f]+\t\s*(\d+)\s+(\S+)$", line)
        if entry:
            current.append(entry.group(2) if entry.group(2) != "<none>" else "#" + entry.group(1))
        elif not line.strip():
            current = None
    return fmt, (major, minor), imports


def xp_faults(subsystem, imports, exports):
    faults = []
    if subsystem > XP_SUBSYSTEM:
        faults.append("declares subsystem version %d.%d, above Windows XP's 5.1" % subsystem)
    for dll, names in sorted(imports.items()):
        known = exports.get(dll.lower())
        if known is None:
            faults.append(f"imports from {dll}, which has no list of Windows XP SP3 exports")
            continue
        for name in names:
            if name.startswith("#"):
                faults.append(f"imports {dll} ordinal {name[1:]}: only names are checked")
            elif name not in known:
                faults.append(f"imports {dll}!{name}, which Windows XP SP3 does not export")
    return faults


def main():
    objdump, exports, dlls = sys.argv[1], read_exports(sys.argv[2]), sys.argv[3:]
    failed = 0
    for dll in dlls:
        fmt, subsystem, imports = describe(objdump, dll)
        names = sorted(n.lower() for n in imports)
        print(f"{dll}: {' '.join(names)}")
        faults = [f"not Windows' own: {n}" for n in names if n not in WINDOWS_DLLS]
        if fmt == "pei-i386":
            count = sum(len(v) for v in imports.values())
            print(f"  {count} functions, subsystem {subsystem[0]}.{subsystem[1]}: checked against Windows XP SP3")
            faults += xp_faults(subsystem, imports, exports)
        for fault in faults:
            print("  " + fault)
        failed += bool(faults)
    print(f"{len(dlls) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
