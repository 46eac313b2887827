#!/usr/bin/env bash
# Brevant side by side with Network UPS Tools' upsmon, measured on this machine, written into
# docs/performance.md: detection latency, idle CPU, wakeups, memory, and the shutdown path.
#
#   bench/compare-upsmon.sh                 the full run (about 9 minutes)
#   bench/compare-upsmon.sh --quick         a smoke run: few samples, short windows (about 2 minutes)
#   bench/compare-upsmon.sh --help          every option (sample counts, window length, output file)
#
# Everything runs privately and on loopback: a NUT server from the tests' fixture (dummy-ups +
# upsd), upsmon in a mount namespace of its own (root only; otherwise it is skipped), two
# monitors on a virtual display (xvfb-run), one through that NUT server and one on the simulated
# UPS. Every shutdown command is a recorder script: nothing is powered off.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BREVANT_BUILD_DIR:-$root/build}

for tool in xvfb-run xdotool /usr/bin/python3; do
    command -v "$tool" > /dev/null || { echo "$tool is missing: run scripts/deps.sh" >&2; exit 1; }
done
for program in brevant halvic-sim libHalvic.so; do
    [ -e "$build/bin/$program" ] || { echo "no $build/bin/$program: build first (scripts/build.sh)" >&2; exit 1; }
done

exec xvfb-run -a -s "-screen 0 2400x1200x24" /usr/bin/python3 "$root/bench/compare_upsmon.py" \
    --root "$root" --build "$build" "$@"
