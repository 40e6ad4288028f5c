#!/bin/sh
# Runs every libFuzzer target for a bounded time, each starting from its
# checked-in seed corpus. Exits non-zero only when a target found something
# (its crash, leak or time-out input is left in build-fuzz/artifacts) or
# could not run at all; each such target is named at the end.
BUILD=${1:-build-fuzz}
SECONDS_EACH=${2:-60}
mkdir -p "$BUILD/artifacts"
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
    corpus="$BUILD/corpus/$name"
    mkdir -p "$corpus"
    seeds="fuzz/corpus/$name"
    [ -d "$seeds" ] || seeds=""
    echo "== $name for ${SECONDS_EACH}s"
    ran=$((ran + 1))
    if ! "$f" -max_total_time="$SECONDS_EACH" -artifact_prefix="$BUILD/artifacts/$name-" \
        -print_final_stats=1 "$corpus" $seeds; then
        failed="$failed $name"
    fi
done
if [ "$ran" -eq 0 ]; then
    echo "no fuzz target found in $BUILD/fuzz" >&2
    exit 1
fi
if [ -n "$failed" ]; then
    echo "found something:$failed (inputs in $BUILD/artifacts)" >&2
    exit 1
fi
echo "$ran fuzz targets ran for ${SECONDS_EACH}s each; nothing found"
