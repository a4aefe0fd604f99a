#!/usr/bin/env bash
# Builds the state fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in their own build folder and runs each twice
# for a while: from small seeds in the stored formats, mutated many times a
# second, and from real-size ones (the factory bank, the chunks of a plug-in
# holding it with a 32768-tap stereo cabinet), each run whole before it is
# mutated. Exit 77 (skipped) when clang is missing, 1 under CI.
#
#   run_state_fuzz.sh SOURCE-DIR WORK-DIR [SECONDS]
# TONEWRIGHT_FUZZ_SECONDS overrides the running time of each run.
set -euo pipefail
src=$1
work=$2
seconds=${TONEWRIGHT_FUZZ_SECONDS:-${3:-25}}

source "$src/tests/kit/skip_unless_ci.sh"
command -v clang++ >/dev/null || skip_unless_ci "clang++ not found: no fuzzing"

build="$work/build"
werror=OFF
under_ci && werror=ON
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DTONEWRIGHT_FUZZ=ON -DTONEWRIGHT_TESTS=OFF -DTONEWRIGHT_WERROR=$werror >/dev/null
cmake --build "$build" -j "${JOBS:-$(nproc)}" --target state-reader-fuzz state-chunk-fuzz fuzz-seeds >/dev/null

temp=$(mktemp -d)
trap 'rm -rf "$temp"' EXIT
mkdir "$temp/small" "$temp/large"
"$build/tests/fuzz/fuzz-seeds" "$temp/small" "$temp/large" "$src/resources/banks/QS Factory.xml"
largest=$(stat -c %s "$temp/large"/* | sort -n | tail -n 1)
count=$(find "$temp/large" -type f | wc -l)

# fuzz TARGET SEEDS MAX-LEN [OPTIONS]: new inputs go to a folder of their own.
fuzz() {
    local target=$1 seeds=$2 length=$3 found
    shift 3
    found=$(mktemp -d -p "$temp")
    "$build/tests/fuzz/$target" -max_total_time="$seconds" -max_len="$length" -timeout=60 -rss_limit_mb=4096 \
        -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$work/$target-" "$@" "$found" "$seeds" \
        2>&1 | tee "$temp/log"
    rm -rf "$found"
}
for target in state-reader-fuzz state-chunk-fuzz; do
    fuzz "$target" "$temp/small" 16384
    # Room for the whole of every seed from the start (-len_control=0), so
    # that none is cut short and their mutations come at once.
    fuzz "$target" "$temp/large" $((largest + 65536)) -len_control=0
    if ! grep -q 'INITED' "$temp/log" || ! grep -q "seed corpus: files: $count .* max: ${largest}b" "$temp/log"; then
        echo "$target did not run every real-size seed within ${seconds} s" >&2
        exit 1
    fi
done
