#!/usr/bin/env bash
# Fresh machine to running program: installs what is needed, builds, installs the
# library (into ./install unless PREFIX is set) and runs the example program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX="${PREFIX:-$PWD/install}"
cmake --build build -j"$jobs"
cmake --install build
if [ -x build/examples/rover_plan ]; then
  ./build/examples/rover_plan
fi
