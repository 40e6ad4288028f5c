#!/bin/sh
# Runs every benchmark of a build made with -DSENTROVA_BENCH=ON — the
# location stream's micro and end-to-end benchmarks, then each other
# bench/bench_* program (Google Benchmark) — and writes their figures, with
# date, machine and command lines, to <builddir>/bench-results/latest.md
# (copied by hand into docs/PERFORMANCE.md).
#   BENCH_E2E_TAGS      tag counts of the end-to-end runs (100,1000,5000)
#   BENCH_E2E_RATES     total report rates tried, ascending
#   BENCH_E2E_DURATION  seconds per end-to-end run (3)
#   BENCH_MIN_TIME      Google Benchmark minimum time per micro-benchmark (0.5)
#   BENCH_REPETITIONS   repetitions of each micro-benchmark; mean, median and
#                       spread are reported (3)
#   BENCH_MQTT_DURATION seconds per run of the MQTT publishing benchmark (10)
# bench_headless (the service and a remote view of it) needs mosquitto and
# runs in a private network namespace.
set -e
BUILD=${1:-build-bench}
OUT="$BUILD/bench-results"
TAGS=${BENCH_E2E_TAGS:-100,1000,5000}
RATES=${BENCH_E2E_RATES:-10000,20000,40000,80000,160000,320000}
DURATION=${BENCH_E2E_DURATION:-3}
MIN_TIME=${BENCH_MIN_TIME:-0.5}
REPETITIONS=${BENCH_REPETITIONS:-3}
mkdir -p "$OUT"
LOAD_AT_START=$(cut -d' ' -f1-3 /proc/loadavg)

decode_cmd="$BUILD/bench/bench_stream_decode --benchmark_min_time=$MIN_TIME --benchmark_repetitions=$REPETITIONS --benchmark_report_aggregates_only=true"
mqtt_cmd="$BUILD/bench/bench_mqtt --sim $BUILD/sim/sentrova-sim --tags 1000 --rate 10 --duration ${BENCH_MQTT_DURATION:-10}"
e2e_cmd="$BUILD/bench/bench_stream_e2e --sim $BUILD/sim/sentrova-sim --tags $TAGS --rates $RATES --duration $DURATION"

echo "== micro-benchmarks"
$decode_cmd --benchmark_out="$OUT/decode.json" --benchmark_out_format=json | tee "$OUT/decode.txt"

if [ -x "$BUILD/sim/sentrova-sim" ]; then
    echo "== end to end (simulator in load mode over loopback UDP)"
    $e2e_cmd 2> "$OUT/e2e-runs.txt" | tee "$OUT/e2e.md"
else
    echo "== end to end skipped: $BUILD/sim/sentrova-sim not built" | tee "$OUT/e2e.md"
    : > "$OUT/e2e-runs.txt"
fi

# Publishing to an MQTT broker needs Debian's mosquitto.
if [ -x "$BUILD/bench/bench_mqtt" ] && [ -x /usr/sbin/mosquitto ]; then
    echo "== publishing to an MQTT broker (1000 tags x 10 Hz)"
    $mqtt_cmd 2> "$OUT/mqtt-runs.txt" | tee "$OUT/mqtt.md"
else
    echo "== MQTT publishing skipped: bench_mqtt not built or mosquitto not installed" | tee "$OUT/mqtt.md"
    : > "$OUT/mqtt-runs.txt"
fi

others=""
for b in "$BUILD"/bench/bench_*; do
    name=$(basename "$b")
    case "$name" in bench_stream_*|bench_mqtt) continue ;; esac
    [ -x "$b" ] && [ -f "$b" ] || continue
    echo "== $name"
    case "$name" in
    bench_map_memory)
        # The map's GL needs a display; the hub it brings up, the protocol's ports.
        tests/netns-run.sh xvfb-run -a -s "-screen 0 1600x1000x24" "$b" | tee "$OUT/$name.txt" ;;
    bench_headless)
        # The service's fixed stream port: in a private namespace.
        tests/netns-run.sh "$b" --manager "$BUILD/src/App/sentrova-manager" --sim "$BUILD/sim/sentrova-sim" \
            2> "$OUT/$name-runs.txt" | tee "$OUT/$name.txt" ;;
    bench_window)
        # The whole window under the simulator's full stream, then under a
        # flood of 100,000 random ids.
        tests/netns-run.sh xvfb-run -a -s "-screen 0 1600x1000x24" "$b" --sim "$BUILD/sim/sentrova-sim" \
            2> "$OUT/$name-runs.txt" | tee "$OUT/$name.txt"
        echo | tee -a "$OUT/$name.txt"
        tests/netns-run.sh xvfb-run -a -s "-screen 0 1600x1000x24" "$b" --sim "$BUILD/sim/sentrova-sim" \
            --flood 100000 2>> "$OUT/$name-runs.txt" | tee -a "$OUT/$name.txt" ;;
    bench_map)
        tests/netns-run.sh xvfb-run -a -s "-screen 0 1600x1000x24" "$b" --benchmark_min_time="$MIN_TIME" \
            | tee "$OUT/$name.txt" ;;
    *)
        QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$b" --benchmark_min_time="$MIN_TIME" | tee "$OUT/$name.txt" ;;
    esac
    others="$others $name"
done

{
    echo "## Run of $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo
    echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) CPUs (nproc), $(free -h | awk '/^Mem:/{print $2}') memory, $(uname -sr); load average at start: $LOAD_AT_START."
    echo
    echo "Micro-benchmarks: \`$decode_cmd\`"
    echo
    echo '```'
    cat "$OUT/decode.txt"
    echo '```'
    echo
    echo "End to end: \`$e2e_cmd\`"
    echo
    cat "$OUT/e2e.md"
    echo
    echo "Every run (stderr of the end-to-end driver):"
    echo
    echo '```'
    cat "$OUT/e2e-runs.txt"
    echo '```'
    echo
    echo "Publishing to an MQTT broker: \`$mqtt_cmd\`"
    echo
    cat "$OUT/mqtt.md"
    echo
    echo '```'
    cat "$OUT/mqtt-runs.txt"
    echo '```'
    for name in $others; do
        echo
        echo "$name: \`$BUILD/bench/$name --benchmark_min_time=$MIN_TIME\`"
        echo
        echo '```'
        cat "$OUT/$name.txt"
        echo '```'
    done
} > "$OUT/latest.md"
echo "== figures written to $OUT/latest.md"
