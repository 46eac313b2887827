#!/usr/bin/env bash
# A private Network UPS Tools server for the tests: the dummy-ups driver with one simulated UPS
# "dummy" and upsd on 127.0.0.1 at a free port, configuration and state under <dir>.
#
#   nut-fixture.sh start <dir>   leaves <dir>/port, <dir>/etc/dummy.dev (the UPS's variables;
#                                the driver re-reads it when its time stamp changes) and
#                                <dir>/upsd.log (upsd logs every instant command there)
#   nut-fixture.sh stop <dir>    stops the processes that start recorded, by PID
#
# The driver's socket lives in a short private directory under /tmp (recorded in <dir>/statepath),
# so that a deep build tree cannot push its path past the 108-byte limit of a socket address.
#
# Written against Debian 12's nut-server 2.8.0: upsd -D starts each log line with the seconds since
# its start and logs "set FSD on UPS [dummy]" and "did load.off on dummy" there.
#
# upsd users, all with password "secret": "admin" is an upsmon primary (it logs in, may set the
# forced-shutdown flag) that may also set variables and run every instant command, as a primary
# Brevant needs; "secondary" is an upsmon secondary; "monitor" is an upsmon primary, for a private
# upsmon beside the monitor.
set -euo pipefail

action=${1:?usage: nut-fixture.sh start|stop <dir>}
dir=${2:?usage: nut-fixture.sh start|stop <dir>}
nut_bin=${NUT_BIN_DIR:-/lib/nut}

statepath() { cat "$dir/statepath" 2>/dev/null || true; }

# True while pid is a live process of this fixture (not a stranger that inherited the number).
ours() {
    local pid=$1 state
    [ -r "/proc/$pid/environ" ] && [ -n "$(statepath)" ] || return 1
    state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) || return 1
    [ "$state" != Z ] || return 1
    tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "NUT_STATEPATH=$(statepath)"
}

stop_recorded() {
    local pidfile pid
    for pidfile in "$dir/upsd.pid" "$dir/driver.pid"; do
        [ -f "$pidfile" ] || continue
        pid=$(cat "$pidfile")
        if ours "$pid"; then
            kill -TERM "$pid" 2>/dev/null || true
            for _ in $(seq 50); do ours "$pid" || break; sleep 0.1; done
            if ours "$pid"; then kill -KILL "$pid" 2>/dev/null || true; fi
        fi
        rm -f "$pidfile"
    done
    local state
    state=$(statepath)
    case $state in
    /tmp/brevant-nut.*) rm -rf "$state" ;;
    esac
    rm -f "$dir/statepath"
}

# One request line; prints the first answer line, empty when nobody answers within 2 s.
ask() {
    local port=$1 line=$2 reply=""
    { exec 3<>"/dev/tcp/127.0.0.1/$port"; } 2>/dev/null || return 0
    printf '%s\n' "$line" >&3
    IFS= read -r -t 2 reply <&3 || true
    exec 3>&-
    printf '%s' "$reply"
}

wait_until() {
    local seconds=$1
    shift
    for _ in $(seq $((seconds * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

driver_ready() { [ -S "$(statepath)/dummy-ups-dummy" ]; }
upsd_alive() { ours "$(cat "$dir/upsd.pid")"; }
ups_online() {
    upsd_alive || return 2
    [ "$(ask "$port" "GET VAR dummy ups.status")" = 'VAR dummy ups.status "OL"' ]
}

start() {
    for program in dummy-ups upsd; do
        [ -x "$nut_bin/$program" ] || { echo "missing $nut_bin/$program (install nut-server)" >&2; exit 1; }
    done
    stop_recorded
    rm -rf "$dir"
    mkdir -p "$dir/etc"
    chmod 700 "$dir/etc"
    mktemp -d /tmp/brevant-nut.XXXXXX >"$dir/statepath"
    export NUT_CONFPATH="$dir/etc" NUT_STATEPATH="$(statepath)"
    run_as=()
    [ "$(id -u)" -ne 0 ] || run_as=(-u root)

    printf 'ups.status: OL\nbattery.charge: 100\nbattery.runtime: 1800\nups.mfr: Brevant tests\n' >"$dir/etc/dummy.dev"
    cat >"$dir/etc/ups.conf" <<CONF
[dummy]
    driver = dummy-ups
    port = $dir/etc/dummy.dev
    desc = "Simulated UPS of the Brevant tests"
    pollinterval = 1
CONF
    cat >"$dir/etc/upsd.users" <<CONF
[admin]
    password = secret
    instcmds = ALL
    actions = SET
    upsmon primary
[secondary]
    password = secret
    upsmon secondary
[monitor]
    password = secret
    upsmon primary
CONF
    chmod 600 "$dir/etc/"*

    "$nut_bin/dummy-ups" -a dummy -D "${run_as[@]}" </dev/null >"$dir/driver.log" 2>&1 &
    echo $! >"$dir/driver.pid"
    wait_until 10 driver_ready || { echo "dummy-ups did not start:" >&2; cat "$dir/driver.log" >&2; exit 1; }

    for _ in $(seq 20); do
        port=$((20000 + RANDOM % 40000))
        [ -z "$(ask "$port" "VER")" ] || continue
        echo "LISTEN 127.0.0.1 $port" >"$dir/etc/upsd.conf"
        "$nut_bin/upsd" -D "${run_as[@]}" </dev/null >"$dir/upsd.log" 2>&1 &
        echo $! >"$dir/upsd.pid"
        if wait_until 10 ups_online; then
            echo "$port" >"$dir/port"
            echo "NUT server for the tests on 127.0.0.1:$port"
            return 0
        fi
        upsd_alive && break
    done
    echo "upsd did not come up:" >&2
    cat "$dir/upsd.log" >&2
    stop_recorded
    exit 1
}

case $action in
start) start ;;
stop) stop_recorded ;;
*) echo "usage: nut-fixture.sh start|stop <dir>" >&2; exit 2 ;;
esac
