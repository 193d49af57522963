"""Benchmark, run by hand: what GetActiveXObject costs a page for a control
that is already installed, against creating the same control directly.

    python3 bench/control_get_activex_object.py BUILD_DIR [CALLS]

In one page run by ovhost.exe: CALLS (default 10000) calls of
GetActiveXObject for the installed test control OVInPlace.dll, then CALLS
"new ActiveXObject(progid)" of the same control; then the same for the
sample control OVSample.dll 1.0.0.4 with a needed version, which has the
call read the file's version resource. Prints the per-call times and their
ratios. Starts its own Wine bench under BUILD_DIR/bench-perf
and stops it again.
"""

import os
import sys

from page_bench import SOURCE, page_bench


def main():
    build = os.path.abspath(sys.argv[1])
    calls = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
    with page_bench(build, "bench-perf") as (support, _, _):
        sys.path.insert(0, os.path.join(SOURCE, "tests", "support"))
        from install_packages import CLSID_MAIN
        support.regsvr32(os.path.join(build, "tests", "samples", "sample_main_4", "OVSample.dll"))
        # The sample registers no ProgID of its own; "new ActiveXObject" needs one.
        support.reg_set(r"HKLM\Software\Classes\OVBench.Sample\CLSID", "", CLSID_MAIN)
        status, lines = support.run_page("http://game.ovelin.net/", """
            var n = %d, m = new ActiveXObject("OVManagerX.OvelinAutoUpdater.1");
            // Milliseconds for n calls of f, after one that is not timed.
            function time(f) {
              f();
              var start = new Date().getTime();
              for (var i = 0; i < n; i++) f();
              var end = new Date().getTime();
              if (m.GetLastError() != 0) host.fail("GetActiveXObject: " + m.GetLastErrorCodeString());
              return end - start;
            }
            host.echo(
              time(function () { m.GetActiveXObject("%s", "http://cdn.ovelin.net/unused.cab", ""); }),
              time(function () { new ActiveXObject("OVTest.InPlaceControl"); }),
              time(function () { m.GetActiveXObject("%s", "http://cdn.ovelin.net/unused.cab", "1.0.0.4"); }),
              time(function () { new ActiveXObject("OVBench.Sample"); }));
        """ % (calls, support.INPLACE_CLSID, CLSID_MAIN), winver="winxp", timeout=3600)
        if status != 0:
            print("\n".join(lines))
            return 1
        get_ms, new_ms, get_versioned_ms, new_sample_ms = (float(x) for x in lines[-1].split())
        print("calls: %d" % calls)
        for name, get, new in (("no version", get_ms, new_ms), ("a version", get_versioned_ms, new_sample_ms)):
            print("%-10s GetActiveXObject: %8.1f us per call, new ActiveXObject: %8.1f us, ratio %5.2f"
                  % (name, get * 1000 / calls, new * 1000 / calls, get / new if new else float("inf")))
        return 0


if __name__ == "__main__":
    sys.exit(main())
