# Shared set-up of the hand-run benchmarks, sourced by their scripts after
# they set `build`: a scratch folder `work`, a Wine bench in $work/bench and
# a package server on a random loopback port, all ended on exit. `arch` and
# `compiler` are the build's own, so a 32-bit build is measured as 32-bit.
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
read -r compiler arch < <("$src/bench/build_arch" "$build")
work=$(mktemp -d /tmp/ov-bench.XXXXXX)
port=$((30000 + RANDOM % 20000))

cleanup() {
  python3 "$src/tests/support/pkgserver.py" stop --port "$port" || true
  "$src/scripts/bench" stop "$work/bench" || true
  rm -rf "$work"
}
trap cleanup EXIT

# build_engine_program NAME: bench/NAME.cpp linked with the engine of $build
# into $work/NAME.exe.
build_engine_program() {
  local includes=() folder
  for folder in "$src"/engine "$src"/engine/*/ "$src"/common; do includes+=(-I "$folder"); done
  "$compiler" -O2 -std=c++17 -DWIN32_LEAN_AND_MEAN -DNOMINMAX \
    "${includes[@]}" "$src/bench/$1.cpp" -o "$work/$1.exe" \
    -Wl,--start-group "$build/engine/libovengine.a" "$build/common/libovcommon.a" -Wl,--end-group \
    -lwininet -lwinhttp -lwintrust -lcrypt32 -lcabinet -lole32 -loleaut32 -luuid -lshlwapi -lversion -ladvapi32 -lpsapi \
    -static -static-libgcc -static-libstdc++
}

# start_bench: the Wine bench for this build's programs, its env sourced.
start_bench() {
  "$src/scripts/bench" start "$work/bench" "$arch"
  . "$work/bench/env"
}

# start_package_server: serves $work/root and routes WinINet and curl to it.
start_package_server() {
  mkdir -p "$work/root"
  python3 "$src/tests/support/pkgserver.py" start --root "$work/root" --port "$port" --log "$work/server.log"
  export http_proxy=http://127.0.0.1:$port
}
