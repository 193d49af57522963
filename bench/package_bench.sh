#!/usr/bin/env bash
# Package benchmark, run by hand:
#   bench/package_bench.sh BUILD_DIR [SIZE_MIB...]   (default sizes: 1 100)
# BUILD_DIR is an x86_64 build (its libovengine.a and libovcommon.a are
# linked). For each size, a signed package of that many MiB (ten files of
# random data in sub-folders, MSZIP) is served by the package server; the
# engine downloads, verifies and extracts it under Wine with no listener,
# and curl plus cabextract do the same from the same server. Both times are
# printed with their ratio, with the engine's peak memory.
# Everything it starts (Wine bench, package server) it stops again.
set -eu
build=$(realpath "$1"); shift
sizes=${*:-1 100}
. "$(dirname "$0")/bench_env.sh"

build_engine_program package_bench

"$src/scripts/bench" start "$work/bench" x86_64
mkdir -p "$work/root/pkgs"
python3 - "$src/tests/support" "$work" $sizes <<'PY'
import os, sys
sys.path.insert(0, sys.argv[1])
import packages
work = sys.argv[2]
pki = packages.make_pki(os.path.join(work, "ca"))
packages.trust_ca_in_prefix(pki, os.path.join(work, "bench"))
for mib in sys.argv[3:]:
    source = os.path.join(work, "src%s" % mib)
    os.makedirs(source)
    files = {}
    for i in range(10):
        path = os.path.join(source, "f%d.bin" % i)
        with open(path, "wb") as f:
            f.write(os.urandom(int(mib) * 1048576 // 10))
        files["bin\\part%d\\f%d.bin" % (i % 3, i)] = path
    packages.build_package(files, os.path.join(work, "root", "pkgs", "bench%s.cab" % mib), signer=pki.signer)
PY
start_package_server

for mib in $sizes; do
  url=http://cdn.ovelin.net/pkgs/bench$mib.cab
  start=$(date +%s.%N)
  curl -s -x "$http_proxy" -o "$work/curl.cab" "$url"
  cabextract -q -d "$work/curl_x" "$work/curl.cab" 2>/dev/null
  end=$(date +%s.%N)
  rm -rf "$work/curl.cab" "$work/curl_x"
  baseline=$(python3 -c "print('%.3f' % ($end - $start))")
  line=$("$src/scripts/wine-run" "$work/bench" "$work/package_bench.exe" "$url" 'C:\ovpkg-bench' 2>/dev/null | tr -d '\r')
  total=$(sed -n 's/.*total_seconds=\([0-9.]*\).*/\1/p' <<<"$line")
  ratio=$(python3 -c "print('%.2f' % ($total / max($baseline, 1e-6)))")
  echo "size=${mib}MiB curl_cabextract_seconds=$baseline engine: $line ratio=$ratio"
done
