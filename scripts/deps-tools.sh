#!/usr/bin/env bash
# Installs, only when missing, the Debian 12 packages that the fault-finding tools need beyond the
# normal build: Clang with its sanitizer and libFuzzer runtimes (scripts/fuzz.sh) and the sqlite3
# command line (scripts/faults.sh checks the record databases with it).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
exec bash "$root/scripts/deps.sh" clang libclang-rt-14-dev sqlite3
