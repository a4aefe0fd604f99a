#!/usr/bin/env bash
# Every include of our own code names its folder ("dsp/Filter.h"), so that the
# layer include roots decide what a file can see; and no include climbs out
# of a folder with "..", which would reach a layer's neighbours through its
# own root ("effects/../amp/Tube.h").
set -euo pipefail
root=$1
folders=("$root/source" "$root/platform" "$root/mac")
status=0
bad=$(grep -rnE '^\s*#\s*include\s+"[^/"]+"' "${folders[@]}" || true)
if [[ -n "$bad" ]]; then
    echo "includes without their folder:"
    echo "$bad"
    status=1
fi
bad=$(grep -rnE '^\s*#\s*include\s*[<"]([^">]*/)?\.\.(/|[">])' "${folders[@]}" "$root/tests" "$root/tools" || true)
if [[ -n "$bad" ]]; then
    echo "includes that climb out of a folder:"
    echo "$bad"
    status=1
fi
exit $status
