"""Benchmark, run by hand: how many registry calls one GetActiveXObject of
an installed control makes, counted with Wine's "+reg" trace.

    python3 bench/control_registry_calls.py BUILD_DIR [CALLS]

Runs two pages in ovhost.exe on a bench of its own (BUILD_DIR/bench-reg):
one that creates the update control and makes CALLS (default 40) calls of
GetActiveXObject for the installed test control OVInPlace.dll, and one that
makes none. The difference, divided by CALLS, is what one call costs: key
opens, value queries and enumerations as they reach the registry server,
and the calls of each function that the trace names.
"""

import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile

from page_bench import SOURCE, page_bench
# What reaches the registry server, whatever API the caller used.
KINDS = (("key opens", r"Nt(Open|Create)Key"), ("value queries", r"NtQuery(Value)?Key"),
         ("enumerations", r"NtEnumerate"))


def count_calls(trace):
    """{function name: calls} of the registry functions in a +reg trace."""
    counts = collections.Counter()
    for line in trace.splitlines():
        # A call is traced once; "<-" lines trace what it returned.
        match = re.search(r"trace:reg:(\w+) (?!<-)", line)
        if match:
            counts[match.group(1)] += 1
    return counts


def main():
    build = os.path.abspath(sys.argv[1])
    calls = int(sys.argv[2]) if len(sys.argv) > 2 else 40
    traced = os.path.join(build, "bench-reg-traced")
    with page_bench(build, "bench-reg") as (support, env, bench):
        try:
            # The same prefix, its programs run with the registry traced.
            os.makedirs(traced, exist_ok=True)
            with open(os.path.join(bench, "env")) as f:
                settings = f.read().replace("WINEDEBUG=-all", "WINEDEBUG=+reg")
            with open(os.path.join(traced, "env"), "w") as f:
                f.write(settings)
            per_page = []
            for n in (calls, 0):
                with tempfile.NamedTemporaryFile("w", suffix=".js", delete=False, dir=build) as page:
                    page.write("""
                        var m = new ActiveXObject("OVManagerX.OvelinAutoUpdater.1");
                        for (var i = 0; i < %d; i++) m.GetActiveXObject("%s", "http://cdn.ovelin.net/unused.cab", "");
                        if (m.GetLastError() != 0) host.fail(m.GetLastErrorCodeString());
                    """ % (n, support.INPLACE_CLSID))
                # To a file, not a pipe: Wine's background processes would hold a pipe open.
                with tempfile.TemporaryFile() as out:
                    try:
                        status = subprocess.run([os.path.join(SOURCE, "scripts", "wine-run"), traced, support.OVHOST,
                                                 "http://game.ovelin.net/", support.winpath(page.name)],
                                                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                                env=dict(env, OV_WINVER="winxp"), timeout=600).returncode
                    finally:
                        os.unlink(page.name)
                    out.seek(0)
                    output = out.read().decode("utf-8", "replace")
                if status != 0:
                    print("\n".join(line for line in output.splitlines() if "trace:" not in line))
                    return 1
                if os.environ.get("OV_KEEP_TRACE"):
                    with open(os.environ["OV_KEEP_TRACE"] + ".%d" % n, "w") as f:
                        f.write(output)
                per_page.append(count_calls(output))
            with_calls, without = per_page
            print("calls: %d" % calls)
            for name in sorted(set(with_calls) | set(without)):
                extra = (with_calls[name] - without[name]) / calls
                if extra:
                    print("  %-22s %6.2f per call" % (name, extra))
            for kind, pattern in KINDS:
                total = sum(with_calls[n] - without[n] for n in set(with_calls) | set(without) if re.match(pattern, n))
                print("%-14s %6.2f per call" % (kind, total / calls))
            return 0
        finally:
            shutil.rmtree(traced, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
