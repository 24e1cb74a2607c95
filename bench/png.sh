#!/bin/bash
# bench/png.sh [RUNS]
# m32 to PNG against ImageMagick writing a PNG of the same pixels at its defaults
# (`convert x.tga x.png`), in the same run (times are medians of RUNS, default 3):
#   the 417 real textures of Debian's openarena-081-textures (bench/corpus.sh), each made
#   an m32 by the converter first: total bytes at most ImageMagick's, no file of 16 KB or
#   more above 1.20 times its, and at least 3 times faster in all;
#   our synthetic patterns at 1024 x 1024, a flat image among them: each at most 1.10
#   times ImageMagick's bytes;
#   a 4096 x 4096 texture: PNG to m32 against ImageMagick reading that PNG and writing a
#   TGA, at most 1.5 times; m32 to PNG shown beside ImageMagick.
# Every PNG written is read back and must give the m32's pixels. Builds in $BUILD
# (default build); installs ImageMagick when missing; exits 1 when a bar is missed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
runs=${1:-3}

. bench/measure.sh
install_missing imagemagick
magick=/usr/bin/convert  # ImageMagick's own, not a wrapper earlier on PATH
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target Pellicar.exe m32make >/dev/null
pellicar=$build/bin/Pellicar.exe
work=$build/bench-png
mkdir -p "$work/corpus" "$work/ours" "$work/magick" "$work/back"

. bench/corpus.sh

# The corpus as m32 files, numbered in the list's order.
mapfile -t tgas < <(corpus_tgas "$work/tga")
for i in "${!tgas[@]}"; do
  [ -f "$work/corpus/$i.m32" ] || "$pellicar" -o "$work/corpus/$i.m32" "${tgas[$i]}"
done

ours_corpus()   { for i in "${!tgas[@]}"; do "$pellicar" -o "$work/ours/$i.png" "$work/corpus/$i.m32"; done; }
magick_corpus() { for i in "${!tgas[@]}"; do "$magick" "${tgas[$i]}" "$work/magick/$i.png"; done; }

# Read back, every pixel must be the m32's: the m32 made again from the PNG is the same
# file but for the name, which comes from the file's name.
same_pixels() {  # M32 PNG
  "$pellicar" -o "$work/back/$(basename "$1")" "$2" && cmp -s -i 132 "$work/back/$(basename "$1")" "$1" ||
    { echo "$2 does not read back as $1" >&2; exit 1; }
}

side=4096
marble=$work/marble4096.m32
[ -f "$marble" ] || "$build/tools/m32make" marble $side $side "$marble"
"$pellicar" -o "$work/marble4096.tga" "$marble"
"$pellicar" -o "$work/marble4096.png" "$marble"
to_png()     { "$pellicar" -o "$work/out.png" "$marble"; }
magick_png() { "$magick" "$work/marble4096.tga" "$work/magick4096.png"; }
from_png()   { "$pellicar" -o "$work/out.m32" "$work/marble4096.png"; }
magick_tga() { "$magick" "$work/marble4096.png" "$work/magick4096.tga"; }

names="ours_corpus magick_corpus to_png magick_png from_png magick_tga"
declare -A times
for ((i = 0; i < runs; i++)); do
  for name in $names; do times[$name]+="$(seconds $name) "; done
done
for name in $names; do times[$name]=$(tr ' ' '\n' <<<"${times[$name]}" | grep . | median); done

for i in "${!tgas[@]}"; do same_pixels "$work/corpus/$i.m32" "$work/ours/$i.png"; done
sizes=$work/sizes.txt  # index, our bytes, ImageMagick's bytes, name
for i in "${!tgas[@]}"; do
  echo "$i $(stat -c %s "$work/ours/$i.png") $(stat -c %s "$work/magick/$i.png") ${tgas[$i]#"$work/tga/"}"
done >"$sizes"

patterns=$work/patterns.txt  # name, our bytes, ImageMagick's bytes
for pattern in marble rings sunset bricks checker flat; do
  "$build/tools/m32make" $pattern 1024 1024 "$work/$pattern.m32"
  "$pellicar" --alpha -o "$work/$pattern.tga" "$work/$pattern.m32"
  "$pellicar" -o "$work/$pattern.png" "$work/$pattern.m32"
  same_pixels "$work/$pattern.m32" "$work/$pattern.png"
  "$magick" "$work/$pattern.tga" "$work/$pattern-magick.png"
  echo "$pattern $(stat -c %s "$work/$pattern.png") $(stat -c %s "$work/$pattern-magick.png")"
done >"$patterns"

awk -v ours="${times[ours_corpus]}" -v magick="${times[magick_corpus]}" -v runs="$runs" \
  -v to="${times[to_png]}" -v magickPng="${times[magick_png]}" -v from="${times[from_png]}" \
  -v magickTga="${times[magick_tga]}" -v ourBig="$(stat -c %s "$work/out.png")" \
  -v magickBig="$(stat -c %s "$work/magick4096.png")" -v patterns="$patterns" '
  function verdict(ok) { if (!ok) failed = 1; return ok ? "met" : "MISSED" }
  {
    files++; ourBytes += $2; magickBytes += $3
    if ($3 >= 16384 && $2 / $3 > worst) { worst = $2 / $3; worstLine = sprintf("%s, %d bytes against %d", $4, $2, $3) }
  }
  END {
    printf "%d real textures, m32 to PNG against ImageMagick TGA to PNG, median of %d runs\n", files, runs
    growth = ourBytes / magickBytes
    printf "  bytes in all: %d, ImageMagick %d: %.3f times (bar 1.00): %s\n", ourBytes, magickBytes, growth, verdict(growth <= 1)
    printf "  worst file of 16 KB or more: %.3f times (bar 1.20): %s\n    %s\n", worst, verdict(worst <= 1.2), worstLine
    speedup = magick / ours
    printf "  time in all: %.2f s, ImageMagick %.2f s: %.2f times faster (bar 3): %s\n", ours, magick, speedup, verdict(speedup >= 3)
    printf "Patterns, 1024 x 1024, bytes against ImageMagick (bar 1.10 each)\n"
    while ((getline line < patterns) > 0) {
      split(line, f, " "); growth = f[2] / f[3]
      printf "  %-8s %8d, ImageMagick %8d: %.3f times: %s\n", f[1], f[2], f[3], growth, verdict(growth <= 1.1)
    }
    printf "A 4096 x 4096 texture\n"
    printf "  m32 to PNG: %.3f s, %d bytes; ImageMagick %.3f s, %d bytes: %.2f times faster, %.3f times the bytes\n", \
      to, ourBig, magickPng, magickBig, magickPng / to, ourBig / magickBig
    ratio = from / magickTga
    printf "  PNG to m32: %.3f s, ImageMagick PNG to TGA %.3f s: %.2f times (bar 1.5): %s\n", from, magickTga, ratio, verdict(ratio <= 1.5)
    exit failed
  }' "$sizes"
