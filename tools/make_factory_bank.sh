#!/usr/bin/env bash
# Regenerates the factory bank (resources/banks/QS Factory.xml), the preamp
# descriptions (resources/preamps) and the measurements at the end of
# docs/factory-bank.md from the demo clip, after a build. The generator
# refuses to write a bank that breaks one of its rules.
#
# Where Ardour and Guitarix are installed (ARDOUR_RENDER names the render
# tool, default /work/shared/tools/ardour-render or ardour-render on the
# PATH), the reference is rendered anew and must still measure as the band
# balance the designs hold.
#
# usage: tools/make_factory_bank.sh [BUILD-FOLDER]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/tools/make-demo-clip" "$work/clip.wav" > /dev/null
reference=()
renderer=${ARDOUR_RENDER:-$(command -v ardour-render || echo /work/shared/tools/ardour-render)}
if [ -x "$renderer" ] && command -v ardour7-lua > /dev/null; then
  "$renderer" http://guitarix.sourceforge.net/plugins/gx_amp#GUITARIX \
    --chain http://guitarix.sourceforge.net/plugins/gx_cabinet#CABINET "$work/clip.wav" "$work/reference.wav"
  reference=(--reference "$work/reference.wav")
else
  echo "make_factory_bank.sh: no Ardour (set ARDOUR_RENDER): the reference is not rendered anew" >&2
fi

"$build/tools/make-factory-bank" "${reference[@]}" --doc "$root/docs/factory-bank.md" \
  "$work/clip.wav" "$root/resources/impulses" "$root/resources"
