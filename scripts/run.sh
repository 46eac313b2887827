#!/usr/bin/env bash
# Builds Brevant and runs the monitor. Without other configuration it watches the simulated UPS
# (change it with build/bin/halvic-sim) and only pretends to shut the machine down.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BREVANT_BUILD_DIR:-$root/build}
bash "$root/scripts/build.sh"
bin="$build/bin"

if [ -z "${HALVIC_BACKEND:-}" ] && [ ! -f "$bin/Halvic.conf" ]; then
    export HALVIC_BACKEND=sim
fi
if [ "${HALVIC_BACKEND:-}" = sim ] && [ -z "${BREVANT_SHUTDOWN_COMMAND+set}" ]; then
    # A simulated outage must never power off the machine it runs on.
    export BREVANT_SHUTDOWN_COMMAND="$root/scripts/pretend-shutdown.sh"
    echo "Simulated UPS: change it with $bin/halvic-sim online|onbattery|lowbattery|lowonline|silent"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: running on a virtual one (xvfb-run)."
    exec xvfb-run -a "$bin/brevant"
fi
exec "$bin/brevant"
