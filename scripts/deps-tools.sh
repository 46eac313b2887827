#!/usr/bin/env bash
# Installs, only when missing, the Debian 12 packages that the fault-finding tools need beyond the
# normal build: Clang with its sanitizer and libFuzzer runtimes (scripts/fuzz.sh) and the sqlite3
# command line (scripts/faults.sh checks the record databases with it).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/deps.sh"

packages=(clang libclang-rt-14-dev sqlite3)

missing=()
for pkg in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$pkg")
    fi
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
