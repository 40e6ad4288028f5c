#!/bin/sh
# Starts the simulated site and the manager connected to it.
#
# The simulator listens on loopback only, so the demo never answers or
# announces anything on the real network; the manager finds it by the
# announcements the simulator sends to port 8783 on loopback. Settings and
# captures go to build-release/demo. The simulator stops when the manager's
# window is closed.
set -e
BUILD=${1:-build-release}
shift 2>/dev/null || true
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SIM="$ROOT/$BUILD/sim/sentrova-sim"
MANAGER="$ROOT/$BUILD/src/App/sentrova-manager"
DEMO_DIR="$ROOT/$BUILD/demo"

mkdir -p "$DEMO_DIR"

GUI=""
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: running under xvfb-run (nothing will be visible)."
    GUI="xvfb-run -a"
fi

SIM_PID=""
cleanup() { [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null; wait 2>/dev/null; }
trap cleanup EXIT INT TERM

cd "$DEMO_DIR"
"$SIM" --bind 127.0.0.1 --quiet > sim.log 2>&1 &
SIM_PID=$!
echo "Simulated site running on 127.0.0.1 (pid $SIM_PID, log $DEMO_DIR/sim.log)."
echo "Manager console also on this terminal; settings and captures in $DEMO_DIR."
QT_LOGGING_RULES="${QT_LOGGING_RULES:-sentrova.console.info=true}" $GUI "$MANAGER" "$@"
