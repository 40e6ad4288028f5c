#!/bin/sh
# Runs every libFuzzer target for a bounded time, each starting from its
# checked-in seed corpus. Crashes are left in build-fuzz/artifacts.
set -e
BUILD=${1:-build-fuzz}
SECONDS_EACH=${2:-60}
mkdir -p "$BUILD/artifacts"
status=0
for f in "$BUILD"/fuzz/fuzz_*; do
    [ -x "$f" ] || continue
    name=$(basename "$f")
    corpus="$BUILD/corpus/$name"
    mkdir -p "$corpus"
    seeds="fuzz/corpus/$name"
    [ -d "$seeds" ] || seeds=""
    echo "== $name for ${SECONDS_EACH}s"
    "$f" -max_total_time="$SECONDS_EACH" -artifact_prefix="$BUILD/artifacts/$name-" \
        -print_final_stats=1 "$corpus" $seeds || status=1
done
exit $status
