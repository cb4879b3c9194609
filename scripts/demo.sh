#!/bin/sh
# The demo, run inside the private namespace: a simulated controller and a
# monitor of its live readings. Ctrl+C ends both.
set -eu
bin=${CALVERO_BUILD_DIR:-build}
"$bin/sim/calvero-sim" --bind 127.0.0.1 --speed 4 &
sim=$!
trap 'kill $sim 2>/dev/null' EXIT INT TERM
sleep 0.5
"$bin/cli/calveroctl" monitor 127.0.0.1
