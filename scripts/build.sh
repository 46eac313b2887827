#!/usr/bin/env bash
# Configures and builds Brevant into build/ (or $BREVANT_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BREVANT_BUILD_DIR:-$root/build}
bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE:-RelWithDebInfo}
cmake --build "$build" -j2
