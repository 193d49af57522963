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
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "$1"); shift
sizes=${*:-1 100}
work=$(mktemp -d /tmp/ovpkg-bench.XXXXXX)
port=$((30000 + RANDOM % 20000))

cleanup() {
  python3 "$src/tests/support/pkgserver.py" stop --port "$port" || true
  "$src/scripts/bench" stop "$work/bench" || true
  rm -rf "$work"
}
trap cleanup EXIT

x86_64-w64-mingw32-g++ -O2 -std=c++17 -DWIN32_LEAN_AND_MEAN -DNOMINMAX \
  -I "$src/engine" -I "$src/common" "$src/bench/package_bench.cpp" -o "$work/package_bench.exe" \
  -Wl,--start-group "$build/engine/libovengine.a" "$build/common/libovcommon.a" -Wl,--end-group \
  -lwininet -lwintrust -lcrypt32 -lole32 -loleaut32 -luuid -lshlwapi -lversion -ladvapi32 -lpsapi \
  -static -static-libgcc -static-libstdc++

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
python3 "$src/tests/support/pkgserver.py" start --root "$work/root" --port "$port" --log "$work/server.log"
export http_proxy=http://127.0.0.1:$port

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
