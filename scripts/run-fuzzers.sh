#!/bin/sh
# Runs every libFuzzer target for a bounded time, each starting from its
# checked-in seed corpus. Exits non-zero only when a target found something
# (its crash, leak or time-out input is left in build-fuzz/artifacts) or
# could not run at all; each such target is named at the end.
#   run-fuzzers.sh [BUILD [SECONDS_EACH]]
#   FUZZ_RUNS=N    run each target for N executions instead of a time
#   FUZZ_TARGETS   names of the targets to run (all by default)
#   FUZZ_MAX_SECONDS  with FUZZ_RUNS, stop a target after this time anyway
#   FUZZ_MAX_LEN   largest input instead of each target's own limit
#   FUZZ_SUMMARY   summary file name in BUILD/fuzz-logs (summary.txt), so
#                  that two runs side by side keep their own
# Inputs are kept to what the target's transport can carry (a datagram, a
# line of the service channel, a DNS packet): longer ones only slow the
# fuzzer down on work no peer can cause.
# Each target's output goes to BUILD/fuzz-logs/<name>.log as well, and a
# summary line per target (executions, seconds, result) to
# BUILD/fuzz-logs/summary.txt.
BUILD=${1:-build-fuzz}
SECONDS_EACH=${2:-60}
mkdir -p "$BUILD/artifacts" "$BUILD/fuzz-logs"
: "${FUZZ_SUMMARY:=summary.txt}"
summary="$BUILD/fuzz-logs/$FUZZ_SUMMARY"
: > "$summary"
if [ -n "${FUZZ_RUNS:-}" ]; then
    limit="-runs=$FUZZ_RUNS"
    what="$FUZZ_RUNS executions"
    if [ -n "${FUZZ_MAX_SECONDS:-}" ]; then
        limit="$limit -max_total_time=$FUZZ_MAX_SECONDS"
        what="$what or ${FUZZ_MAX_SECONDS}s"
    fi
else
    limit="-max_total_time=$SECONDS_EACH"
    what="${SECONDS_EACH}s"
fi
# Leaks that Qt makes itself are not findings (see the file).
LSAN_OPTIONS="suppressions=$(pwd)/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export LSAN_OPTIONS
# An Ethernet datagram's payload for the location stream, a service line or
# a DNS answer for the others.
max_len_for() {
    case "$1" in
        fuzz_stream_tlv|fuzz_stream_jsonlines|fuzz_model_tlv) echo 1472 ;;
        fuzz_stream_jsonparsers) echo 1024 ;;
        fuzz_comm_svc|fuzz_sim_service) echo 2048 ;;
        *) echo 4096 ;;
    esac
}
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
    max_len=${FUZZ_MAX_LEN:-$(max_len_for "$name")}
    # $limit is one or two options: split on purpose.
    # shellcheck disable=SC2086
    status=$( { { "$f" $limit -max_len="$max_len" -artifact_prefix="$BUILD/artifacts/$name-" \
        -print_final_stats=1 "$corpus" $seeds 2>&1; echo $? >&3; } | tee "$log" >&2; } 3>&1)
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    result="nothing found"
    if [ "$status" -ne 0 ]; then
        failed="$failed $name"
        result="FOUND SOMETHING (exit $status)"
    fi
    echo "$name: ${runs:-?} executions in $(( $(date +%s) - start )) s: $result" | tee -a "$summary"
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
