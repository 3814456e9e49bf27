#!/usr/bin/env bash
# Installs the Debian packages the build needs, only when one is missing.
set -euo pipefail
# With --fuzz also clang and its libFuzzer runtime, for the fuzz build (fuzz/CMakeLists.txt).
pkgs=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev libtinyxml-dev pkg-config)
if [ "${1:-}" = "--fuzz" ]; then
  pkgs+=(clang-14 libclang-rt-14-dev)
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
