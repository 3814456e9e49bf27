#!/usr/bin/env bash
# Fresh machine to running program: installs what is needed, builds, installs the
# library and the example program (into ./install unless PREFIX is set) and runs the example.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
prefix="${PREFIX:-$PWD/install}"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX="$prefix"
cmake --build build -j"$jobs"
cmake --install build
"$prefix/bin/kadrix-rover-plan" examples/rover_plan.xml
