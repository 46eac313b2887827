#!/usr/bin/env bash
# Kill -9 storms against the real programs, then checks that nothing they write was torn.
#   bash scripts/faults.sh [rounds]          default 30 rounds
# Each round starts the monitor (offscreen, portable in a private directory, on the simulated UPS,
# shutting down after 1 s on battery and the alarm window, with application saving, BREVANT_SHUTDOWN_COMMAND a
# recorder: nothing is powered off), a loop of close.exe runs that write the save list and the
# settings' hand-over flags, and a loop that changes the UPS state. At random moments it kills
# close.exe and the monitor with SIGKILL, stops the loops, and checks that every key of the
# settings file is still readable, that CloseApp.ini parses and that both record databases pass
# PRAGMA integrity_check without being replaced as damaged. The next round starts on the files
# the last one left. Then two single runs: SIGTERM while close.exe saves (the shutdown must still
# be carried out, and the monitor end), and FIFOs in place of the settings file and the save list
# (the monitor must start, and end on SIGTERM). Uses build/ (or $BREVANT_BUILD_DIR);
# $BREVANT_FAULTS_SEED repeats a run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BREVANT_BUILD_DIR:-$root/build}
rounds=${1:-30}
RANDOM=${BREVANT_FAULTS_SEED:-$$}
bash "$root/scripts/build.sh" >/dev/null
bash "$root/scripts/deps-tools.sh" >/dev/null
bin="$build/bin"

work=$(mktemp -d "${TMPDIR:-/tmp}/brevant-faults.XXXXXX")
app="$work/app"
mkdir -p "$app"
# Every background job in a process group of its own, so that stopping a loop stops the program
# it is running, and stopping the monitor the close.exe it started.
set -m
started=()
stop_all() {
    local pid
    for pid in "${started[@]}"; do
        kill -9 -- "-$pid" 2>/dev/null || true
    done
    for pid in "${started[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    started=()
}
trap 'stop_all; [ -n "${BREVANT_FAULTS_KEEP:-}" ] || rm -rf "$work"' EXIT

# The applications close.exe closes: copies of sleep under a name no other program has.
app_name="brevant-fault-app-$$"
cp "$(command -v sleep)" "$work/$app_name"
echo "$app_name" >"$app/close.conf"
# The monitor starts close.exe from the application directory.
ln -s "$bin/close.exe" "$app/close.exe"
cat >"$work/recorder.sh" <<RECORDER
#!/bin/sh
echo shutdown >>"$work/shutdowns.log"
RECORDER
chmod +x "$work/recorder.sh"

# The first-install settings with a short way to a shutdown that saves applications first.
sed -e 's/^Saveapllication=.*/Saveapllication=1/' "$root/src/config/UpsConfigure.ini" |
    awk '/^\[/{section=$0} {if (section ~ /Ups(On|Low)Battery/ && /^Shutdown=/) print "Shutdown=1";
        else if (section ~ /Ups(On|Low)Battery/ && /^Delaytime=/) print "Delaytime=0.02"; else print}' \
        >"$app/UpsConfigure.ini"
keys=$(awk -F= '/^\[/{section=$0} /=/{print section $1}' "$root/src/config/UpsConfigure.ini")

export BREVANT_APP_DIR="$app" HALVIC_BACKEND=sim HALVIC_SIM_FILE="$work/halvic-sim.state" \
    BREVANT_SHUTDOWN_COMMAND="$work/recorder.sh" QT_QPA_PLATFORM=offscreen
# A private instance lock, and serial ports that are no devices: even a settings file that some
# fault turned to COM1 never opens the machine's real port.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
for port in 1 2 3 4; do
    export "BREVANT_COM$port=$work/no-serial-port-$port"
done
export ASAN_OPTIONS="detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"

# Milliseconds between lo and hi, as seconds for sleep.
pause() {
    local ms=$(($1 + RANDOM % ($2 - $1)))
    printf '%d.%03d' $((ms / 1000)) $((ms % 1000))
}

# Every key of the first-install file present with a value, every line a section, a key or blank.
settings_readable() {
    local file=$1 present
    awk '!/^[[:space:]]*$/ && !/^\[[^]]+\][[:space:]]*$/ && !/^[^=[]+=/ {bad=1} END {exit bad}' "$file" || return 1
    present=$(awk -F= '/^\[/{section=$0} /=/{if ($2 != "") print section $1}' "$file")
    while read -r key; do
        grep -qxF "$key" <<<"$present" || return 1
    done <<<"$keys"
}

list_readable() {
    local file=$1
    [ -e "$file" ] || return 0
    awk '!/^[[:space:]]*$/ && !/^\[[^]]+\][[:space:]]*$/ && !/^[^=[]+=/ {bad=1} END {exit bad}' "$file" || return 1
    ! grep -q '^Count=' "$file" || grep -qE '^Count=[0-9]+$' "$file"
}

# A copy of each database with its log, checked as the program would open it next.
database_sound() {
    local name=$1 copy="$work/check"
    [ -e "$app/$name" ] || return 0
    rm -rf "$copy" && mkdir "$copy"
    cp "$app/$name" "$copy/" && cp "$app/$name"-wal "$copy/" 2>/dev/null || true
    [ "$(sqlite3 "$copy/$name" 'PRAGMA integrity_check;' 2>&1)" = ok ]
}

# Mostly on battery, so that most rounds reach the shutdown writes (about 7 s on battery: the 1 s
# delay, then the alarm window's 4 s).
states=(onbattery onbattery lowbattery lowbattery online lowonline)
kills=0 failures=0
begin=$(date +%s)
for ((round = 1; round <= rounds; round++)); do
    "$work/$app_name" 600 &
    started+=($!)
    "$bin/halvic-sim" "${states[RANDOM % ${#states[@]}]}" >/dev/null
    "$bin/brevant" >>"$work/brevant.log" 2>&1 &
    monitor=$!
    started+=($monitor)
    (while :; do "$bin/close.exe" >>"$work/close.log" 2>&1 || true; sleep "$(pause 0 300)"; done) &
    writer=$!
    started+=($writer)
    (
        while :; do
            sleep "$(pause 1000 6000)"
            "$bin/halvic-sim" "${states[RANDOM % ${#states[@]}]}" >/dev/null
        done
    ) &
    started+=($!)

    # close.exe first, at a random moment of one of its runs, then the monitor, anywhere from its
    # start-up to the shutdown writes after an outage.
    sleep "$(pause 300 3000)"
    for ((try = 0; try < 100; try++)); do
        if victim=$(pgrep -P "$writer" -x close.exe); then
            kill -9 "$victim" 2>/dev/null && ((++kills))
            break
        fi
        sleep 0.01
    done
    sleep "$(pause 200 12000)"
    kill -9 "$monitor" 2>/dev/null && ((++kills))
    stop_all

    problems=()
    settings_readable "$app/UpsConfigure.ini" || problems+=("settings")
    list_readable "$app/CloseApp.ini" || problems+=("CloseApp.ini")
    database_sound EventRecord.mdb || problems+=("EventRecord.mdb")
    database_sound CloseAppRecord.mdb || problems+=("CloseAppRecord.mdb")
    ! compgen -G "$app/*.damaged-*" >/dev/null || problems+=("a database was replaced as damaged")
    ! grep -q 'Sanitizer' "$work/brevant.log" "$work/close.log" 2>/dev/null || problems+=("sanitizer report")
    if ((${#problems[@]})); then
        ((++failures))
        cp -a "$app" "$work/failure-$round"
        echo "round $round: ${problems[*]} (kept in $work/failure-$round)"
        BREVANT_FAULTS_KEEP=1
    fi
done

# Waits up to $2 seconds for process $1 to end.
ends_within() {
    local pid=$1 tenths=$(($2 * 10))
    while kill -0 "$pid" 2>/dev/null && ((tenths-- > 0)); do sleep 0.1; done
    ! kill -0 "$pid" 2>/dev/null
}

# SIGTERM (a logout) while close.exe saves: the shutdown is carried out before the monitor ends.
single=$work/single
mkdir -p "$single"
cp "$app/UpsConfigure.ini" "$app/close.conf" "$single/"
sed -i 's/^ShutDown=.*/ShutDown=0/; s/^SaveList=.*/SaveList=0/' "$single/UpsConfigure.ini"
printf '#!/bin/sh
sleep 30
' >"$single/close.exe"
chmod +x "$single/close.exe"
before=$( (wc -l <"$work/shutdowns.log") 2>/dev/null || echo 0)
"$bin/halvic-sim" onbattery >/dev/null
BREVANT_APP_DIR="$single" "$bin/brevant" >>"$work/brevant.log" 2>&1 &
monitor=$!
started+=($monitor)
for ((try = 0; try < 300; try++)); do
    pgrep -f "$single/close.exe" >/dev/null && break
    sleep 0.1
done
kill -TERM "$monitor"
if ! ends_within "$monitor" 15 || (($( (wc -l <"$work/shutdowns.log") 2>/dev/null || echo 0) <= before)); then
    ((++failures))
    echo "exit during the hand-over: the monitor did not carry out the shutdown and end"
fi
saver=$(pgrep -f "$single/close.exe" || true)
[ -z "$saver" ] || kill $saver 2>/dev/null || true
stop_all

# FIFOs in place of the settings file and the save list: nothing may block the start or the exit.
rm -rf "$single" && mkdir -p "$single"
mkfifo "$single/UpsConfigure.ini" "$single/CloseApp.ini"
BREVANT_APP_DIR="$single" "$bin/brevant" >>"$work/brevant.log" 2>&1 &
monitor=$!
started+=($monitor)
sleep 4
kill -TERM "$monitor"
if ! ends_within "$monitor" 10; then
    ((++failures))
    echo "special files: the monitor did not end on SIGTERM"
fi
stop_all

shutdowns=$(wc -l <"$work/shutdowns.log" 2>/dev/null || echo 0)
offs=$(wc -l <"$work/halvic-sim.state.off-log" 2>/dev/null || echo 0)
closed=$(sed -n 's/^Count=//p' "$app/CloseApp.ini" 2>/dev/null || echo 0)
echo "Fault runs: $rounds rounds, $kills kills (SIGKILL), $((rounds - failures)) clean, $failures failed;" \
    "$shutdowns power-off requests recorded, $offs UPS-off commands, ${closed:-0} applications listed by close.exe;" \
    "$(($(date +%s) - begin)) s"
((failures == 0))
