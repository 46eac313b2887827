#!/usr/bin/env bash
# Counts how often the monitor wakes up: the context switches (voluntary and involuntary) of all
# its threads, per second, over a window of time, first with the main window out of sight and
# then with it shown, then out of sight again with the UPS not answering and an XEmbed
# notification area (trayer) showing the icon: the engine replaces the icon on every such poll
# tick. It watches the simulated UPS on a virtual display (xvfb-run) and never shuts anything down.
#
#   bench/wakeups.sh [seconds]        default 60 per measurement
#
# Xvfb has no notification area, so the program shows its window at start; the minimise image
# (clicked with xdotool) takes it out of sight, to the taskbar, as on any desktop without one.
# A second start then brings it up again, as a user's would.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BREVANT_BUILD_DIR:-$root/build}
bin="$build/bin"
seconds=${1:-60}

if [ -z "${BREVANT_WAKEUPS_INSIDE:-}" ]; then
    for tool in xvfb-run xdotool trayer; do
        command -v "$tool" > /dev/null || { echo "$tool is missing: run scripts/deps.sh" >&2; exit 1; }
    done
    [ -x "$bin/brevant" ] || { echo "no $bin/brevant: build first (scripts/build.sh)" >&2; exit 1; }
    export BREVANT_WAKEUPS_INSIDE=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$BASH" "$0" "$seconds"
fi

work=$(mktemp -d)
program=""
tray=""
cleanup() {
    if [ -n "$program" ] && kill -0 "$program" 2> /dev/null; then
        kill -TERM "$program"
        wait "$program" || true
    fi
    if [ -n "$tray" ]; then
        kill -TERM "$tray" 2> /dev/null || true
        wait "$tray" 2> /dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/app" "$work/run"
chmod 700 "$work/run"
export BREVANT_APP_DIR="$work/app" XDG_RUNTIME_DIR="$work/run"
export HALVIC_BACKEND=sim HALVIC_SIM_FILE="$work/app/halvic-sim.state"
export BREVANT_SHUTDOWN_COMMAND="$root/scripts/pretend-shutdown.sh"
"$bin/halvic-sim" online > /dev/null

# "tid switches" for every thread of the program.
switches() {
    local task
    for task in /proc/"$program"/task/*; do
        awk -v tid="${task##*/}" '/^(non)?voluntary_ctxt_switches:/ { n += $2 } END { if (NR) print tid, n }' \
            "$task/status" 2> /dev/null || true
    done
}

# Switches during the measurement: each thread's count at the end less its count at the start (0
# for a thread started meanwhile); a thread that ended meanwhile is not counted.
measure() {
    local before after
    before=$(switches)
    sleep "$seconds"
    after=$(switches)
    awk -v label="$1" -v s="$seconds" -v before="$before" '
        BEGIN { n = split(before, b, "\n"); for (i = 1; i <= n; ++i) { split(b[i], f, " "); start[f[1]] = f[2] } }
        { total += $2 - start[$1] }
        END { printf "%-8s %6d context switches in %d s: %.2f wakeups/s\n", label, total, s, total / s }
    ' <<< "$after"
}

"$bin/brevant" 2> "$work/brevant.log" &
program=$!
window=$(xdotool search --sync --name '^Brevant System $' | head -1)
sleep 3 # the first polls

eval "$(xdotool getwindowgeometry --shell "$window")"
minimise() {
    xdotool mousemove $((X + WIDTH - 32)) $((Y + 15)) click 1 # the minimise image
    sleep 3
}
minimise
measure hidden

"$bin/brevant" 2>> "$work/brevant.log" # a second start knocks, and the window comes up
sleep 3
measure shown

# The first-install USB link without a UPS behind it: every poll finds the link lost.
trayer --expand false --SetDockType true > /dev/null 2>&1 &
tray=$!
"$bin/halvic-sim" silent > /dev/null
sleep 5 # the icon docks in the notification area; the link is found lost
minimise
measure silent
