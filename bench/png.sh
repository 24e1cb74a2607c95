#!/bin/bash
# bench/png.sh [RUNS]
# A 4096 x 4096 texture between m32 and PNG, each time against a baseline in the same
# run (medians of RUNS, default 5):
#   m32 to PNG against ImageMagick writing a PNG of the same pixels (`convert x.tga x.png`):
#     bar at least 2 times faster, with a file at most 10% larger;
#   PNG to m32 against ImageMagick reading that PNG and writing a TGA: bar at most 1.5 times;
#   --mips linear against the default plain average, PNG to m32: bar at most 1.5 times.
# Builds in $BUILD (default build); installs ImageMagick when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
runs=${1:-5}
side=4096

if ! dpkg-query -W -f='${Status}' imagemagick 2>/dev/null | grep -q "install ok installed"; then
  apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends imagemagick
fi
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target Pellicar.exe m32make >/dev/null

work=$build/bench-png
mkdir -p "$work"
input=$work/marble.m32
[ -f "$input" ] || "$build/tools/m32make" marble $side $side "$input"
tga=$work/marble.tga
"$build/bin/Pellicar.exe" -o "$tga" "$input"
"$build/bin/Pellicar.exe" -o "$work/marble.png" "$input"

to_png()       { "$build/bin/Pellicar.exe" -o "$work/out.png" "$input"; }
magick_png()   { convert "$tga" "$work/magick.png"; }
from_png()     { "$build/bin/Pellicar.exe" -o "$work/out.m32" "$work/marble.png"; }
magick_tga()   { convert "$work/marble.png" "$work/magick.tga"; }
linear_mips()  { "$build/bin/Pellicar.exe" --mips linear -o "$work/linear.m32" "$work/marble.png"; }

. bench/measure.sh

names="to_png magick_png from_png magick_tga linear_mips"
declare -A times
for name in $names; do $name; done  # warm up once
for ((i = 0; i < runs; i++)); do
  for name in $names; do times[$name]+="$(seconds $name) "; done
done
for name in $names; do times[$name]=$(tr ' ' '\n' <<<"${times[$name]}" | grep . | median); done

ours=$(stat -c %s "$work/out.png")
theirs=$(stat -c %s "$work/magick.png")
awk -v ours="${times[to_png]}" -v magick="${times[magick_png]}" -v ourBytes="$ours" -v magickBytes="$theirs" \
  -v from="${times[from_png]}" -v magickTga="${times[magick_tga]}" -v linear="${times[linear_mips]}" '
  function verdict(ok) { if (!ok) failed = 1; return ok ? "met" : "MISSED" }
  BEGIN {
    speedup = magick / ours; growth = ourBytes / magickBytes
    printf "m32 to PNG: %.3f s, ImageMagick %.3f s: %.2f times faster (bar 2): %s\n", ours, magick, speedup, verdict(speedup >= 2)
    printf "PNG size: %d bytes, ImageMagick %d: %.3f times (bar 1.10): %s\n", ourBytes, magickBytes, growth, verdict(growth <= 1.10)
    ratio = from / magickTga
    printf "PNG to m32: %.3f s, ImageMagick PNG to TGA %.3f s: %.2f times (bar 1.5): %s\n", from, magickTga, ratio, verdict(ratio <= 1.5)
    ratio = linear / from
    printf "--mips linear: %.3f s, plain %.3f s: %.2f times (bar 1.5): %s\n", linear, from, ratio, verdict(ratio <= 1.5)
    exit failed
  }'
