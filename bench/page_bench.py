"""The set-up that the page benchmarks share: a Wine bench of their own for
a build, with the update control and the in-place test control registered.

    with page_bench(build, "bench-perf") as (support, env, bench): ...

`support` is tests/control/control_support, set up for that bench; the
bench is stopped when the block ends.
"""

import contextlib
import os
import subprocess
import sys

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def build_arch(build):
    """i686 or x86_64: what the build's programs run on."""
    return subprocess.run([os.path.join(SOURCE, "bench", "build_arch"), build], check=True,
                          capture_output=True, text=True).stdout.split()[1]


@contextlib.contextmanager
def page_bench(build, name):
    bench = os.path.join(build, name)
    env = dict(os.environ, OV_BUILD_DIR=build, OV_BENCH_DIR=bench, OV_SOURCE_DIR=SOURCE)
    subprocess.run([os.path.join(SOURCE, "scripts", "bench"), "start", bench, build_arch(build)],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        os.environ.update(env)
        sys.path.insert(0, os.path.join(SOURCE, "tests", "control"))
        import control_support as support
        support.regsvr32(support.AGENT_DLL)
        support.regsvr32(support.INPLACE_DLL)
        yield support, env, bench
    finally:
        subprocess.run([os.path.join(SOURCE, "scripts", "bench"), "stop", bench],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
