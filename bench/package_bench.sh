#!/usr/bin/env bash
# Package benchmark, run by hand:
#   bench/package_bench.sh BUILD_DIR [CASE...]     (default cases: 1 100)
# BUILD_DIR is an i686 or x86_64 build, measured as built (its
# libovengine.a and libovcommon.a are linked). A CASE is a number of MiB (ten files of random data in
# sub-folders), "files<N>" (N files of 16 bytes in one folder) or
# "folders<N>" (N files of 16 bytes, each in a folder of its own). For each
# case a signed package (MSZIP) is served, and each round takes it through
# download, signature check and extraction three ways, side by side:
#   engine  - the engine under Wine, no listener (package_bench.exe);
#   bare    - the bare platform loop under Wine (bare_package_loop.exe):
#             one WinINet GET, WinVerifyTrust, one FDICopy;
#   curl    - curl and cabextract on the host.
# Revocation: each case is also signed by a signer whose CA names a
# distribution point that the server answers with the CA's list; the engine
# takes that package too ("engine_crl"), first with the platform's cache of
# fetched URLs emptied (the first job of a player: "first_crl"), then with
# the list cached. "crl_cost" is the ratio of the medians of engine_crl and
# engine, whose signer names no distribution point (nothing to fetch).
# Prints each round, then min/median/max of each way and the ratio of the
# medians. ROUNDS (default 3) rounds per case; SERVERS (default
# "pkgserver nginx") picks the servers: the test package server, and nginx
# from Debian (installed when missing), started on loopback with a
# configuration of its own and stopped after.
# Everything it starts (Wine bench, package server, nginx) it stops again.
set -eu
build=$(realpath "$1"); shift
cases=${*:-1 100}
rounds=${ROUNDS:-3}
servers=${SERVERS:-pkgserver nginx}
. "$(dirname "$0")/bench_env.sh"

build_engine_program package_bench
build_engine_program bare_package_loop

start_bench
mkdir -p "$work/root/pkgs"
python3 - "$src/tests/support" "$work" $cases <<'PY'
import os, shutil, sys
sys.path.insert(0, sys.argv[1])
import packages
work = sys.argv[2]
pki = packages.make_pki(os.path.join(work, "ca"))
packages.trust_ca_in_prefix(pki, os.path.join(work, "bench"))
# The list that the distribution point names, where the servers serve it.
os.makedirs(os.path.join(work, "root", "ca"))
shutil.copy(os.path.join(work, "ca", "ca.crl"), os.path.join(work, "root", "ca", "ca.crl"))
for case in sys.argv[3:]:
    source = os.path.join(work, "src-" + case)
    os.makedirs(source)
    files = {}
    if case.isdigit():
        for i in range(10):
            path = os.path.join(source, "f%d.bin" % i)
            with open(path, "wb") as f:
                f.write(os.urandom(int(case) * 1048576 // 10))
            files["bin\\part%d\\f%d.bin" % (i % 3, i)] = path
    else:
        count = int(case.lstrip("filesfolder"))
        for i in range(count):
            path = os.path.join(source, "f%d.bin" % i)
            with open(path, "wb") as f:
                f.write(b"%016d" % i)
            name = "d%d\\f%d.bin" % (i, i) if case.startswith("folders") else "many\\f%d.bin" % i
            files[name] = path
    packages.build_package(files, os.path.join(work, "root", "pkgs", "bench-%s.cab" % case), signer=pki.signer)
    packages.build_package(files, os.path.join(work, "root", "pkgs", "bench-%s-crl.cab" % case),
                           signer=pki.unrevoked)
PY

# nginx from Debian, installed before any server is started: the package
# server's http_proxy would otherwise route apt's own requests to it.
if [[ " $servers " == *" nginx "* ]] && [ ! -x /usr/sbin/nginx ]; then
  env -u http_proxy DEBIAN_FRONTEND=noninteractive apt-get install -y nginx-light >/dev/null 2>&1 ||
    env -u http_proxy DEBIAN_FRONTEND=noninteractive apt-get install -y nginx >/dev/null
fi

start_nginx() {
  nginx_port=$((port + 1))
  # nginx's workers read as an unprivileged user.
  chmod a+x "$work"
  chmod -R a+rX "$work/root"
  mkdir -p "$work/nginx/tmp"
  cat >"$work/nginx/nginx.conf" <<CONF
daemon on;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
worker_processes 1;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/nginx/tmp;
  proxy_temp_path $work/nginx/tmp;
  fastcgi_temp_path $work/nginx/tmp;
  uwsgi_temp_path $work/nginx/tmp;
  scgi_temp_path $work/nginx/tmp;
  sendfile on;
  types { application/vnd.ms-cab-compressed cab; }
  server { listen 127.0.0.1:$nginx_port; root $work/root; }
}
CONF
  /usr/sbin/nginx -c "$work/nginx/nginx.conf" -p "$work/nginx"
  export http_proxy=http://127.0.0.1:$nginx_port
}

stop_nginx() {
  [ -f "$work/nginx/nginx.pid" ] && kill "$(cat "$work/nginx/nginx.pid")" 2>/dev/null || true
  rm -f "$work/nginx/nginx.pid"
}
trap 'stop_nginx; cleanup' EXIT

# summary NAME SECONDS...: "NAME min/median/max"
summary() {
  python3 - "$@" <<'PY'
import statistics, sys
values = sorted(float(v) for v in sys.argv[2:])
print("%s %.3f/%.3f/%.3f" % (sys.argv[1], values[0], statistics.median(values), values[-1]))
PY
}

# field NAME LINE: the number after "NAME=" in LINE.
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" <<<"$2"; }

# ratio A B: the median of the numbers in A over that of those in B.
ratio() {
  python3 -c "import statistics as s,sys; print('%.2f' % (s.median(map(float,sys.argv[1].split()))/max(s.median(map(float,sys.argv[2].split())),1e-6)))" "$1" "$2"
}

# The platform's cache of fetched URLs (WinINet's, which the revocation
# list retrieval uses), emptied for a first job.
forget_fetched_urls() { rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Local/Microsoft/Windows/INetCache; }

drive_c=$WINEPREFIX/drive_c
for server in $servers; do
  case $server in
    pkgserver) start_package_server ;;
    nginx) start_nginx ;;
  esac
  for case in $cases; do
    url=http://cdn.ovelin.net/pkgs/bench-$case.cab
    engine=() engine_crl=() bare=() curl=()
    forget_fetched_urls
    line=$("$src/scripts/wine-run" "$work/bench" "$work/package_bench.exe" "${url%.cab}-crl.cab" 'C:\ovpkg-bench' 2>&1 | tr -d '\r')
    echo "server=$server case=$case first_crl: $line"
    first_crl=$(field total_seconds "$line")
    for round in $(seq "$rounds"); do
      start=$(date +%s.%N)
      curl -s -x "$http_proxy" -o "$work/curl.cab" "$url"
      cabextract -q -d "$work/curl_x" "$work/curl.cab" 2>/dev/null
      end=$(date +%s.%N)
      rm -rf "$work/curl.cab" "$work/curl_x"
      curl+=("$(python3 -c "print('%.3f' % ($end - $start))")")
      line=$("$src/scripts/wine-run" "$work/bench" "$work/bare_package_loop.exe" "$url" 'C:\ovbare-bench' 2>&1 | tr -d '\r')
      rm -rf "$drive_c/ovbare-bench"
      bare+=("$(field total_seconds "$line")")
      line=$("$src/scripts/wine-run" "$work/bench" "$work/package_bench.exe" "$url" 'C:\ovpkg-bench' 2>&1 | tr -d '\r')
      engine+=("$(field total_seconds "$line")")
      echo "server=$server case=$case round=$round curl_cabextract=${curl[-1]} bare=${bare[-1]} engine: $line"
      line=$("$src/scripts/wine-run" "$work/bench" "$work/package_bench.exe" "${url%.cab}-crl.cab" 'C:\ovpkg-bench' 2>&1 | tr -d '\r')
      engine_crl+=("$(field total_seconds "$line")")
      echo "server=$server case=$case round=$round engine_crl: $line"
    done
    echo "server=$server case=$case $(summary engine "${engine[@]}") $(summary engine_crl "${engine_crl[@]}") first_crl=$first_crl" \
      "$(summary bare "${bare[@]}") $(summary curl_cabextract "${curl[@]}")" \
      "crl_cost=$(ratio "${engine_crl[*]}" "${engine[*]}")" \
      "engine_to_bare=$(ratio "${engine[*]}" "${bare[*]}")" \
      "engine_to_curl=$(ratio "${engine[*]}" "${curl[*]}")"
  done
  case $server in
    pkgserver) python3 "$src/tests/support/pkgserver.py" stop --port "$port" || true ;;
    nginx) stop_nginx ;;
  esac
done
