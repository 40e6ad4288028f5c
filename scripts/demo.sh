#!/bin/sh
# Starts the simulated site and the manager, which finds it by itself.
# The simulator stops when the manager's window is closed.
set -e
BUILD=${1:-build-release}
SIM="$BUILD/sim/sentrova-sim"
MANAGER="$BUILD/src/App/sentrova-manager"
GUI=""
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: running under xvfb-run (nothing will be visible)."
    GUI="xvfb-run -a"
fi
SIM_PID=""
cleanup() { [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null; wait 2>/dev/null; }
trap cleanup EXIT INT TERM
if [ -x "$SIM" ]; then
    "$SIM" &
    SIM_PID=$!
    echo "Simulated site running (pid $SIM_PID)."
fi
QT_LOGGING_RULES="${QT_LOGGING_RULES:-sentrova.console=true}" $GUI "$MANAGER" "$@"
