"""The XP check of dll_imports.py on small 32-bit DLLs built here: one that
XP SP3 can load passes, and each way of needing something newer fails with
the name of what is missing."""
import os
import subprocess
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import dll_imports  # noqa: E402

OBJDUMP = "i686-w64-mingw32-objdump"
EXPORTS = dll_imports.read_exports(os.path.join(HERE, "xp_sp3_exports.txt"))

CASES = [
    # name, code, extra link options, expected fault (None: loads on XP)
    ("xp", "GetTickCount();", [], None),
    ("vista_import", "GetTickCount64();", [], "KERNEL32.dll!GetTickCount64"),
    ("vista_subsystem", "GetTickCount();", ["-Wl,--major-subsystem-version,6"], "subsystem version 6.0"),
    ("unlisted_dll", "GetTickCount(); MessageBeep(0); PlaySoundA(0, 0, 0);", ["-lwinmm"], "winmm.dll"),
]


@pytest.mark.parametrize("name,code,options,fault", CASES, ids=[c[0] for c in CASES])
def test_xp_check(tmp_path, name, code, options, fault):
    source = tmp_path / f"{name}.c"
    source.write_text("#define _WIN32_WINNT 0x0600\n#include <windows.h>\n#include <mmsystem.h>\n"
                      f"__declspec(dllexport) void Probe(void) {{ {code} }}\n")
    dll = tmp_path / f"{name}.dll"
    subprocess.run(["i686-w64-mingw32-gcc-win32", "-shared", "-o", str(dll), str(source), *options],
                   check=True)
    _, subsystem, imports = dll_imports.describe(OBJDUMP, str(dll))
    faults = dll_imports.xp_faults(subsystem, imports, EXPORTS)
    if fault is None:
        assert faults == []
    else:
        assert len(faults) == 1 and fault.lower() in faults[0].lower(), faults
