#!/bin/sh
# Folds what a fuzz run grew (BUILD/corpus/<target>) into the repository's
# corpus (fuzz/corpus/<target>), keeping only inputs that add coverage, so
# that every later run starts where this one stopped.
#   keep-fuzz-corpus.sh [BUILD]
set -e
BUILD=${1:-build-fuzz}
LSAN_OPTIONS="suppressions=$(pwd)/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export LSAN_OPTIONS
for grown in "$BUILD"/corpus/fuzz_*; do
    [ -d "$grown" ] || continue
    name=$(basename "$grown")
    f="$BUILD/fuzz/$name"
    [ -x "$f" ] || continue
    kept="fuzz/corpus/$name"
    mkdir -p "$kept"
    before=$(find "$kept" -type f | wc -l)
    "$f" -merge=1 "$kept" "$grown" > "$BUILD/fuzz-logs/$name-merge.log" 2>&1
    echo "$name: $before -> $(find "$kept" -type f | wc -l) inputs"
done
