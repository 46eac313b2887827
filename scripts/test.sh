#!/usr/bin/env bash
# Builds Brevant and runs the whole test suite.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BREVANT_BUILD_DIR:-$root/build}
bash "$root/scripts/build.sh"
cd "$build"
ctest --output-on-failure -j2 "$@"
