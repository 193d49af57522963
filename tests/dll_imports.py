"""Checks that each DLL imports only Windows' own DLLs: libgcc, libstdc++
and winpthread must be linked in, never needed beside the DLL.

usage: dll_imports.py OBJDUMP DLL...
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


def imports(objdump, dll):
    out = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
    return sorted({m.lower() for m in re.findall(r"DLL Name: (\S+)", out)})


def main():
    objdump, dlls = sys.argv[1], sys.argv[2:]
    failed = 0
    for dll in dlls:
        names = imports(objdump, dll)
        foreign = [n for n in names if n not in WINDOWS_DLLS]
        print(f"{dll}: {' '.join(names)}")
        if foreign:
            print(f"  not Windows' own: {' '.join(foreign)}")
            failed += 1
    print(f"{len(dlls) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
