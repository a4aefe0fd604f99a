#!/usr/bin/env bash
# Every include of our own code names its folder ("dsp/Filter.h"), so that the
# layer include roots decide what a file can see.
set -euo pipefail
root=$1
bad=$(grep -rnE '^\s*#\s*include\s+"[^/"]+"' "$root/source" "$root/platform" "$root/mac" || true)
if [[ -n "$bad" ]]; then
    echo "includes without their folder:"
    echo "$bad"
    exit 1
fi
