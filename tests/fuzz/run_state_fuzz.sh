#!/usr/bin/env bash
# Builds the state fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in their own build folder and runs each for a
# while from seeds in the stored formats. Exit 77 (skipped) when clang is
# missing, 1 under CI.
#
#   run_state_fuzz.sh SOURCE-DIR WORK-DIR [SECONDS]
# TONEWRIGHT_FUZZ_SECONDS overrides the running time of each target.
set -euo pipefail
src=$1
work=$2
seconds=${TONEWRIGHT_FUZZ_SECONDS:-${3:-30}}

source "$src/tests/kit/skip_unless_ci.sh"
command -v clang++ >/dev/null || skip_unless_ci "clang++ not found: no fuzzing"

build="$work/build"
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DTONEWRIGHT_FUZZ=ON -DTONEWRIGHT_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target state-reader-fuzz state-chunk-fuzz fuzz-seeds >/dev/null

corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
"$build/tests/fuzz/fuzz-seeds" "$corpus"
for target in state-reader-fuzz state-chunk-fuzz; do
    "$build/tests/fuzz/$target" -max_total_time="$seconds" -max_len=16384 -timeout=20 -rss_limit_mb=4096 \
        -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$work/$target-" "$corpus"
done
