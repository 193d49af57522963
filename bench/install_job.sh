#!/usr/bin/env bash
# Times whole install jobs of the typical package (three files, ~135 KiB):
#   bench/install_job.sh BUILD_DIR [RUNS]
# Starts the build's Wine bench, builds the test packages, serves them on a
# loopback port, runs install_job_bench RUNS times each way, and stops all
# it started. Run by hand, with no test run using BUILD_DIR at the time.
set -eu
build=$(realpath "$1")
runs=${2:-9}
src=$(cd "$(dirname "$0")/.." && pwd)
read -r _ arch < <("$src/bench/build_arch" "$build")
port=$((30000 + $$ % 10000))
root=$build/pkgroot-bench

stop() {
  python3 "$src/tests/support/pkgserver.py" stop --port "$port" >/dev/null 2>&1 || true
  "$src/scripts/bench" stop "$build/bench"
}
trap stop EXIT

"$src/scripts/bench" start "$build/bench" "$arch"
python3 "$src/tests/support/make_packages.py" "$root" "$build" >/dev/null
python3 "$src/tests/support/pkgserver.py" start --root "$root" --port "$port" --log "$build/pkgserver-bench.log"

# OVSetupCore.dll is found through WINEPATH; the warm-up job is not timed.
export http_proxy=http://127.0.0.1:$port
export WINEPATH="Z:${build//\//\\}\\engine"
domain=$(sed -n "s/^OV_PORTAL_DOMAIN:[A-Z]*=//p" "$build/CMakeCache.txt")
codebase=http://cdn.${domain:-ovelin}.net/pkgs/install/main4.cab
clsid="{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A01}"
"$src/scripts/wine-run" "$build/bench" "$build/benchmarks/install_job_bench.exe" "$codebase" "$clsid" 1.0.0.4 1 >/dev/null 2>&1
"$src/scripts/wine-run" "$build/bench" "$build/benchmarks/install_job_bench.exe" "$codebase" "$clsid" 1.0.0.4 "$runs"
