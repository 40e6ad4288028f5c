#!/bin/sh
# Pictures of the main window, one per tab, for the README and the
# documentation: starts the simulated site and sentrova-screenshots (the
# manager's window at its first start, talking to the site's master by
# address) under Xvfb, on a screen of the pictures' size.
#
#   scripts/screenshots.sh [BUILD_DIR] [OUT_DIR] [SCREEN]
#       (default build-release, docs/images, 1366x768: a laptop's screen)
#
# The site acceptance tab's report is rendered too: its first page and its
# first page of points (pdftoppm, from poppler-utils).
# Where network namespaces are allowed it runs in a private one, so that the
# protocol's fixed ports collide with nothing; otherwise everything stays on
# loopback. The preference store and settings file are temporary.
set -e
BUILD=${1:-build-release}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${2:-$ROOT/docs/images}
SCREEN=${3:-1366x768}
case "$OUT" in /*) ;; *) OUT="$PWD/$OUT" ;; esac

if [ "${SENTROVA_IN_NETNS:-}" != 1 ] && unshare -n true 2>/dev/null; then
    SENTROVA_IN_NETNS=1 exec unshare -n -- "$0" "$BUILD" "$OUT" "$SCREEN"
fi
if [ "${SENTROVA_IN_NETNS:-}" = 1 ]; then
    ip link set lo up
fi

SIM="$ROOT/$BUILD/sim/sentrova-sim"
SHOT="$ROOT/$BUILD/src/App/sentrova-screenshots"
for binary in "$SIM" "$SHOT"; do
    if [ ! -x "$binary" ]; then
        echo "missing $binary: build first (make release)" >&2
        exit 1
    fi
done

WORK=$(mktemp -d)
SIM_PID=""
cleanup() {
    [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM
cd "$WORK"

"$SIM" --bind 127.0.0.1 --no-mdns --no-broadcast --quiet > sim.log 2>&1 &
SIM_PID=$!
tries=0
until grep -q '^READY' sim.log; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ] || ! kill -0 "$SIM_PID" 2>/dev/null; then
        echo "the simulator did not start:" >&2
        cat sim.log >&2
        exit 1
    fi
    sleep 0.1
done

mkdir -p "$OUT"
HOME="$WORK" XDG_CONFIG_HOME="$WORK/.config" QT_LOGGING_RULES="sentrova.*=false" \
    xvfb-run -a -s "-screen 0 ${SCREEN}x24" "$SHOT" --master 127.0.0.1 --out "$OUT" --report "$WORK/report.pdf"
pdftoppm -r 70 -png -singlefile -f 1 -l 1 "$WORK/report.pdf" "$OUT/site-acceptance-report"
pdftoppm -r 70 -png -singlefile -f 3 -l 3 "$WORK/report.pdf" "$OUT/site-acceptance-points"
