#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Brevant need, only those missing,
# and any further packages named as arguments (scripts/deps-tools.sh names the fault-finding tools').
set -euo pipefail

packages=(
    cmake make g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-svg-dev libqt6sql6-sqlite qt6-qpa-plugins libgl-dev
    libbenchmark-dev
    nut-server nut-client python3
    dbus xvfb xauth
    desktop-file-utils appstream dpkg-dev lintian
    nodejs
    weston qt6-wayland
    imagemagick xdotool trayer
    "$@"
)

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
