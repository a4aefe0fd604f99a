#!/usr/bin/env bash
# Regenerates the factory bank (resources/banks/QS Factory.xml), the preamp
# descriptions (resources/preamps) and the measurements at the end of
# docs/factory-bank.md, from the demo clip.
#
# The band balance is compared with a reference: the demo clip rendered
# through Guitarix's amplifier and cabinet at their default settings by the
# real-host tool ardour-render (set ARDOUR_RENDER to its path; without it the
# comparison is left out).
#
# usage: tools/make_factory_bank.sh [BUILD-FOLDER]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/tools/make-demo-clip" "$work/clip.wav" > /dev/null
reference=()
renderer=${ARDOUR_RENDER:-$(command -v ardour-render || true)}
if [ -n "$renderer" ]; then
  "$renderer" http://guitarix.sourceforge.net/plugins/gx_amp#GUITARIX \
    --chain http://guitarix.sourceforge.net/plugins/gx_cabinet#CABINET "$work/clip.wav" "$work/reference.wav"
  reference=(--reference "$work/reference.wav")
else
  echo "make_factory_bank.sh: no ardour-render (set ARDOUR_RENDER): no comparison with the reference" >&2
fi

status=0
"$build/tools/make-factory-bank" "${reference[@]}" --report "$work/report.md" \
  "$work/clip.wav" "$root/resources/impulses" "$root/resources" || status=$?

# The document keeps its text up to the marker; the measurements follow it.
doc=$root/docs/factory-bank.md
marker='<!-- measurements: written by tools/make_factory_bank.sh -->'
{ awk -v m="$marker" '{ print } $0 == m { exit }' "$doc"; echo; cat "$work/report.md"; } > "$work/doc.md"
mv "$work/doc.md" "$doc"
exit $status
