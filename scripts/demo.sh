#!/bin/sh
# The demo, run inside the private namespace: two simulated controllers, one
# on line at 127.0.0.2 and one still waiting for an IP address, and the
# operator program, which opens its device selection listing both. Without a
# display it says so, lists the controllers with calveroctl and shows a live
# monitor of the first one's readings instead. Ctrl+C ends everything.
#   demo.sh [--monitor]    --monitor: the monitor even when a display exists
set -eu
bin=${CALVERO_BUILD_DIR:-build}
mode=gui
[ "${1:-}" = "--monitor" ] && mode=monitor

if [ "$mode" = gui ]; then
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "No display: DISPLAY and WAYLAND_DISPLAY are both empty, so the operator program"
        echo "cannot open its window. Showing the live monitor of the simulated controller instead."
        echo "(On a desktop, or under xvfb-run, ./run starts the program itself.)"
        echo
        mode=monitor
    elif [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${DISPLAY%%:*}" != "" ] && [ "${DISPLAY%%:*}" != unix ]; then
        # host:N is an X server reached over TCP (ssh -X does this); the
        # private network namespace has its own loopback and cannot reach it.
        echo "DISPLAY=$DISPLAY is a network display, which the private network namespace"
        echo "cannot reach. Showing the live monitor of the simulated controller instead."
        echo "(Run ./run in a local desktop session, or under xvfb-run, for the program.)"
        echo
        mode=monitor
    fi
fi

# Each simulator listens on its own loopback address; they share the
# discovery port and are told apart by their device IDs. The one on line
# starts a bake by itself 3 s after the program connects, at a speed that
# runs its 6-minute profile in one minute.
records=${CALVERO_RECORDS:-${XDG_DOCUMENTS_DIR:-$HOME/Documents}/Calvero}
"$bin/sim/calvero-sim" --bind 127.0.0.2 --device-id 1001 --firmware 1.2.7 --speed 6 --autostart 3 --quiet &
online=$!
"$bin/sim/calvero-sim" --bind 127.0.0.3 --device-id 1002 --ip 0.0.0.0 --firmware 1.1.0 --speed 4 --quiet &
waiting=$!
trap 'kill $online $waiting 2>/dev/null' EXIT INT TERM
sleep 0.5
if [ "$mode" = gui ]; then
    echo "Starting calvero. Its device selection lists two simulated controllers:"
    echo "  1001 at 127.0.0.2, on line; pick it and press OK to connect;"
    echo "  1002 waiting for an address (\"Wait IP\"); \"Set IP\" gives it one."
    echo "Once connected, 1001 starts a bake by itself after 3 s; it runs about a minute and its"
    echo "record is saved as bake-YYYYMMDD-HHMMSS.tvr in $records."
    echo "\"B A K E\" on the Control pane starts another; close the window to end the demo."
    "$bin/src/shell/calvero" --records "$records"
else
    "$bin/cli/calveroctl" discover --wait 1.5
    echo
    "$bin/cli/calveroctl" monitor 127.0.0.2
fi
