#!/usr/bin/env bash
# Setup wizard benchmark, run by hand:
#   bench/wizard_bench.sh BUILD_DIR [SIZE_MIB] [ROUNDS]   (defaults: 100 3)
# BUILD_DIR is an i686 or x86_64 build, measured as built, with the
# wizard_bench target and the sample controls built. A signed package of the sample control and a data file of
# SIZE_MIB is served by the package server; wizard_bench.exe installs it
# with no listener and with the wizard, ROUNDS times each, alternating, and
# prints the times and the wizard's overhead.
# Everything it starts (Wine bench, package server) it stops again.
set -eu
build=$(realpath "$1")
mib=${2:-100}
rounds=${3:-3}
. "$(dirname "$0")/bench_env.sh"

start_bench
python3 - "$src" "$build" "$work" "$mib" <<'PY'
import os, random, sys
src, build, work, mib = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
sys.path.insert(0, os.path.join(src, "tests", "support"))
import packages
from install_packages import CLSID_MAIN, THIS_CAB, setup_info
pki = packages.make_pki(os.path.join(work, "ca"))
packages.trust_ca_in_prefix(pki, os.path.join(work, "bench"))
big = os.path.join(work, "OVBig.bin")
with open(big, "wb") as f:
    rng = random.Random(5)
    for _ in range(mib):
        f.write(rng.randbytes(1 << 20))
inf = os.path.join(work, "OVSample.inf")
with open(inf, "w", newline="") as f:
    f.write(setup_info([("OVSample.dll", dict(THIS_CAB, clsid=CLSID_MAIN, FileVersion="1,0,0,4",
                                               RegisterServer="yes")),
                        ("OVBig.bin", dict(THIS_CAB))]))
os.makedirs(os.path.join(work, "root", "pkgs"))
packages.build_package({"OVSample.inf": inf, "OVBig.bin": big,
                        "OVSample.dll": os.path.join(build, "tests", "samples", "sample_main_4",
                                                     "OVSample.dll")},
                       os.path.join(work, "root", "pkgs", "big.cab"), signer=pki.signer,
                       compress=False)
os.remove(big)
PY
start_package_server
clsid=$(python3 -c "import sys; sys.path.insert(0, '$src/tests/support'); from install_packages import CLSID_MAIN; print(CLSID_MAIN)")
echo "package: $(stat -c %s "$work/root/pkgs/big.cab") bytes"
"$src/scripts/wine-run" "$work/bench" "$build/tests/wizard/wizard_bench.exe" \
  "http://cdn.ovelin.net/pkgs/big.cab" "$clsid" 1.0.0.4 "$rounds" 2>/dev/null | tr -d '\r'
