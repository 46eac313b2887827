#!/usr/bin/env bash
# Screenshots of the program's windows, taken from the real program on a virtual display
# (xvfb-run) watching the simulated UPS, saved as PNG files into DIR.
#
#   scripts/screenshots.sh DIR
#
# One function per shot: a new shot is a function that brings the program to what it shows and
# calls `shot NAME`, plus its line in the list at the end.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BREVANT_BUILD_DIR:-$root/build}
bin="$build/bin"
out=${1:?usage: scripts/screenshots.sh DIR}

if [ -z "${BREVANT_SCREENSHOTS_INSIDE:-}" ]; then
    for tool in xvfb-run xdotool import; do
        command -v "$tool" > /dev/null || { echo "$tool is missing: run scripts/deps.sh" >&2; exit 1; }
    done
    for program in brevant windowshots; do
        [ -x "$bin/$program" ] || { echo "no $bin/$program: build first (scripts/build.sh)" >&2; exit 1; }
    done
    mkdir -p "$out"
    export BREVANT_SCREENSHOTS_INSIDE=1
    exec xvfb-run -a -s "-screen 0 1280x800x24" "$BASH" "$0" "$(cd "$out" && pwd)"
fi

work=$(mktemp -d)
program=""
window=""
page=1 # the page button that has the keyboard focus

stop_program() {
    if [ -n "$program" ] && kill -0 "$program" 2> /dev/null; then
        kill -TERM "$program"
        wait "$program" || true
    fi
    program=""
}
trap 'stop_program; rm -rf "$work"' EXIT

mkdir -p "$work/app" "$work/run"
chmod 700 "$work/run"
export BREVANT_APP_DIR="$work/app" XDG_RUNTIME_DIR="$work/run"
export HALVIC_BACKEND=sim HALVIC_SIM_FILE="$work/app/halvic-sim.state"
export BREVANT_SHUTDOWN_COMMAND="$root/scripts/pretend-shutdown.sh"

# The UPS in the given state (halvic-sim: online, onbattery, lowbattery, silent), seen by a poll.
ups() {
    "$bin/halvic-sim" "$1" > /dev/null
    sleep 2.5
}

# The program started on the UPS's state; without a notification area its window comes up at once.
start_program() {
    stop_program
    "$bin/brevant" 2>> "$work/brevant.log" &
    program=$!
    window=$(xdotool search --sync --name '^Brevant System $' | head -1)
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xdotool mousemove $((X + 200)) $((Y + 15)) # keys go to the window under the pointer
    page=1
    sleep 3
}

# A page button's click, from the keyboard: the page buttons come first in the tab order.
choose_page() {
    local target=$1
    while [ "$page" -lt "$target" ]; do xdotool key Tab; page=$((page + 1)); done
    while [ "$page" -gt "$target" ]; do xdotool key shift+Tab; page=$((page - 1)); done
    xdotool key space
    sleep 0.6
}

# The main window as it is on screen, rounded corners included.
shot() {
    eval "$(xdotool getwindowgeometry --shell "$window")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/$1.png"
    echo "$out/$1.png"
}

pages_in_state() {
    local state=$1
    choose_page 1 && shot "status-$state"
    choose_page 2 && shot "log-record-$state"
    choose_page 3 && shot "event-record-$state"
    choose_page 4 && shot "closed-applications-$state"
    choose_page 5 && shot "event-manager-$state"
    choose_page 1
}

main_window_on_line() {
    ups online
    pages_in_state on-line
}

main_window_on_battery() {
    ups onbattery
    pages_in_state on-battery
}

main_window_low_battery() {
    ups lowbattery
    pages_in_state low-battery
}

main_window_usb_lost() {
    ups silent
    pages_in_state usb-lost
}

# The Event Manager page's three sub-pages, chosen by their access keys (which take the keyboard
# focus off the page buttons: this comes last).
event_manager_sub_pages() {
    choose_page 5
    xdotool key alt+b && sleep 0.6 && shot event-manager-on-battery
    xdotool key alt+l && sleep 0.6 && shot event-manager-low-battery
    xdotool key alt+g && sleep 0.6 && shot event-manager-os-event-log
}

# The question the close image asks before the monitor ends, over the main window.
quit_question() {
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xdotool mousemove $((X + WIDTH - 16)) $((Y + 14)) click 1
    local question
    question=$(xdotool search --sync --name '^Quit Brevant\?$' | head -1)
    sleep 0.6
    eval "$(xdotool getwindowgeometry --shell "$question")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/quit-question.png"
    echo "$out/quit-question.png"
}

# The alarm, confirmation and save-list windows, each in the state it shows, rendered offscreen on
# a simulated engine (windowshots).
alarm_window() { "$bin/windowshots" "$out" alarm; }
question_window() { "$bin/windowshots" "$out" question; }
save_list_window() { "$bin/windowshots" "$out" save-list; }

# Records to show: the power events are written when the settings ask for it. The USB link: a
# serial port here would be a real device.
cat > "$work/app/UpsConfigure.ini" << 'INI'
[Mscomm]
ComboPort=0
[OSEvent]
Logcount=1000
Eventcount=1000
Closecount=500
[UpsOnBattery]
Disableevent=0
Recordlog=1
Shutdown=0
Delaytime=2
[UpsLowBattery]
Disableevent=0
Recordlog=1
Shutdown=0
Delaytime=1
INI
"$bin/halvic-sim" online > /dev/null
start_program
main_window_on_line
main_window_on_battery
main_window_low_battery
main_window_usb_lost
event_manager_sub_pages
quit_question
alarm_window
question_window
save_list_window
