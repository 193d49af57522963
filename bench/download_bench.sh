#!/usr/bin/env bash
# Download stage benchmark, run by hand:
#   bench/download_bench.sh BUILD_DIR [SIZE_MIB...]   (default sizes: 1 100)
# BUILD_DIR is an i686 or x86_64 build, measured as built (its
# libovengine.a and libovcommon.a are linked). For each size, a generated package of that size is fetched from
# the package server through the HTTP proxy route the tests use, once with
# curl into a file and once by the engine's download stage under Wine, and
# both times are printed with their ratio (engine: probe + transfer) and
# the engine's peak memory.
# Everything it starts (Wine bench, package server) it stops again.
set -eu
build=$(realpath "$1"); shift
sizes=${*:-1 100}
. "$(dirname "$0")/bench_env.sh"

build_engine_program download_bench

start_bench
start_package_server

for mib in $sizes; do
  bytes=$((mib * 1048576))
  url=http://cdn.ovelin.net/gen/$bytes/bench$mib.cab
  curl_s=$(curl -s -x "$http_proxy" -o "$work/curl.cab" -w '%{time_total}' "$url")
  rm -f "$work/curl.cab"
  line=$("$src/scripts/wine-run" "$work/bench" "$work/download_bench.exe" "$url" 'C:\ovdl-bench' 2>/dev/null | tr -d '\r')
  probe_s=$(sed -n 's/.*probe_seconds=\([0-9.]*\).*/\1/p' <<<"$line")
  transfer_s=$(sed -n 's/.*transfer_seconds=\([0-9.]*\).*/\1/p' <<<"$line")
  ratio=$(python3 -c "print('%.2f' % (($probe_s + $transfer_s) / max($curl_s, 1e-6)))")
  echo "size=${mib}MiB curl_seconds=$curl_s engine: $line ratio=$ratio"
done
