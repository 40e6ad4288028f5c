#!/bin/sh
# Runs every libFuzzer target for a bounded time, each starting from its
# checked-in seed corpus. Exits non-zero only when a target found something
# (its crash, leak or time-out input is left in build-fuzz/artifacts) or
# could not run at all; each such target is named at the end.
#   run-fuzzers.sh [BUILD [SECONDS_EACH]]
#   FUZZ_RUNS=N    run each target for N executions instead of a time
#   FUZZ_TARGETS   names of the targets to run (all by default)
# Each target's output goes to BUILD/fuzz-logs/<name>.log as well, and a
# summary line per target (executions, seconds, result) to
# BUILD/fuzz-logs/summary.txt.
BUILD=${1:-build-fuzz}
SECONDS_EACH=${2:-60}
mkdir -p "$BUILD/artifacts" "$BUILD/fuzz-logs"
: > "$BUILD/fuzz-logs/summary.txt"
if [ -n "${FUZZ_RUNS:-}" ]; then
    limit="-runs=$FUZZ_RUNS"
    what="$FUZZ_RUNS executions"
else
    limit="-max_total_time=$SECONDS_EACH"
    what="${SECONDS_EACH}s"
fi
# Leaks that Qt makes itself are not findings (see the file).
LSAN_OPTIONS="suppressions=$(pwd)/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export LSAN_OPTIONS
failed=""
ran=0
for f in "$BUILD"/fuzz/fuzz_*; do
    # Only the fuzz executables: the build also leaves folders such as
    # fuzz_*_autogen beside them.
    [ -f "$f" ] && [ -x "$f" ] || continue
    name=$(basename "$f")
    if [ -n "${FUZZ_TARGETS:-}" ]; then
        case " $FUZZ_TARGETS " in *" $name "*) ;; *) continue ;; esac
    fi
    corpus="$BUILD/corpus/$name"
    mkdir -p "$corpus"
    seeds="fuzz/corpus/$name"
    [ -d "$seeds" ] || seeds=""
    echo "== $name for $what"
    ran=$((ran + 1))
    log="$BUILD/fuzz-logs/$name.log"
    start=$(date +%s)
    # The status of the fuzzer, not of tee, decides.
    status=$( { { "$f" "$limit" -artifact_prefix="$BUILD/artifacts/$name-" \
        -print_final_stats=1 "$corpus" $seeds 2>&1; echo $? >&3; } | tee "$log" >&2; } 3>&1)
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    result="nothing found"
    if [ "$status" -ne 0 ]; then
        failed="$failed $name"
        result="FOUND SOMETHING (exit $status)"
    fi
    echo "$name: ${runs:-?} executions in $(( $(date +%s) - start )) s: $result" | tee -a "$BUILD/fuzz-logs/summary.txt"
done
if [ "$ran" -eq 0 ]; then
    echo "no fuzz target found in $BUILD/fuzz" >&2
    exit 1
fi
if [ -n "$failed" ]; then
    echo "found something:$failed (inputs in $BUILD/artifacts)" >&2
    exit 1
fi
echo "$ran fuzz targets ran for $what each; nothing found"
