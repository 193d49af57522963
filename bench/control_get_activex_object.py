"""Benchmark, run by hand: what GetActiveXObject costs a page for a control
that is already installed, against creating the same control directly.

    python3 bench/control_get_activex_object.py BUILD_DIR [CALLS]

In one page run by ovhost.exe: CALLS (default 10000) calls of
GetActiveXObject for the installed test control OVInPlace.dll, then CALLS
"new ActiveXObject(progid)" of the same control. Prints both per-call
times and their ratio. Starts its own Wine bench under BUILD_DIR/bench-perf
and stops it again.
"""

import os
import subprocess
import sys
import tempfile

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def main():
    build = os.path.abspath(sys.argv[1])
    calls = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
    bench = os.path.join(build, "bench-perf")
    env = dict(os.environ, OV_BUILD_DIR=build, OV_BENCH_DIR=bench, OV_SOURCE_DIR=SOURCE)
    subprocess.run([os.path.join(SOURCE, "scripts", "bench"), "start", bench,
                    "x86_64" if "x86_64" in open(os.path.join(build, "CMakeCache.txt")).read() else "i686"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        os.environ.update(env)
        sys.path.insert(0, os.path.join(SOURCE, "tests", "control"))
        import control_support as support
        support.regsvr32(support.AGENT_DLL)
        support.regsvr32(support.INPLACE_DLL)
        status, lines = support.run_page("http://game.ovelin.net/", """
            var n = %d, clsid = "%s", m = new ActiveXObject("OVManagerX.OvelinAutoUpdater.1");
            m.GetActiveXObject(clsid, "http://cdn.ovelin.net/unused.cab", "");  // warm up
            new ActiveXObject("OVTest.InPlaceControl");
            var start = new Date().getTime();
            for (var i = 0; i < n; i++) m.GetActiveXObject(clsid, "http://cdn.ovelin.net/unused.cab", "");
            var middle = new Date().getTime();
            for (var i = 0; i < n; i++) new ActiveXObject("OVTest.InPlaceControl");
            var end = new Date().getTime();
            if (m.GetLastError() != 0) host.fail("GetActiveXObject: " + m.GetLastErrorCodeString());
            host.echo(middle - start, end - middle);
        """ % (calls, support.INPLACE_CLSID), winver="winxp", timeout=3600)
        if status != 0:
            print("\n".join(lines))
            return 1
        get_ms, new_ms = (float(x) for x in lines[-1].split())
        print("calls: %d" % calls)
        print("GetActiveXObject:      %8.1f us per call" % (get_ms * 1000 / calls))
        print("new ActiveXObject:     %8.1f us per call" % (new_ms * 1000 / calls))
        print("ratio:                 %8.2f" % (get_ms / new_ms if new_ms else float("inf")))
        return 0
    finally:
        subprocess.run([os.path.join(SOURCE, "scripts", "bench"), "stop", bench],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


if __name__ == "__main__":
    sys.exit(main())
