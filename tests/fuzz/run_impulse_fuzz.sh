#!/usr/bin/env bash
# Builds the impulse reader fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs it for a while from seed files of every
# accepted layout. Exit 77 (skipped) when clang or sox is missing, 1 under CI.
#
#   run_impulse_fuzz.sh SOURCE-DIR WORK-DIR [SECONDS]
# TONEWRIGHT_FUZZ_SECONDS overrides the running time.
set -euo pipefail
src=$1
work=$2
seconds=${TONEWRIGHT_FUZZ_SECONDS:-${3:-45}}

source "$src/tests/kit/skip_unless_ci.sh"
for tool in clang++ sox; do
    command -v "$tool" >/dev/null || skip_unless_ci "$tool not found: no fuzzing"
done

mkdir -p "$work"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -Wall -Wextra -Wpedantic -I"$src/source" -I"$src/platform" \
    "$src/tests/fuzz/ImpulseFileFuzz.cpp" "$src/source/cabinet/ImpulseFile.cpp" \
    "$src/platform/system/ReadableFile.cpp" "$src/platform/system/Diagnostics.cpp" -o "$work/impulse-fuzz"

corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
n=0
for rate in 44100 96000 192000; do
    for channels in 1 2; do
        for layout in "wav unsigned-integer 8" "wav signed-integer 16" "wav signed-integer 24" \
                      "wav signed-integer 32" "wav floating-point 32" "aiff signed-integer 8" \
                      "aiff signed-integer 16" "aiff signed-integer 24" "aiff signed-integer 32"; do
            read -r ext encoding bits <<<"$layout"
            sox -D -n -r "$rate" -c "$channels" -e "$encoding" -b "$bits" "$corpus/seed$((n++)).$ext" \
                synth 12s sine 1000
        done
    done
done

"$work/impulse-fuzz" -max_total_time="$seconds" -max_len=2048 -timeout=10 -rss_limit_mb=2048 \
    -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$work/" "$corpus"
