#!/usr/bin/env bash
# Builds the Debian packages of BUILD_DIR into OUT_DIR (emptied first).
#   package_build.sh BUILD_DIR OUT_DIR
set -euo pipefail
build=$1
out=$2
rm -rf "$out"
mkdir -p "$out"
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; exit 1; }
ls "$out"/kavo_*_amd64.deb "$out"/kavo-server_*_amd64.deb
