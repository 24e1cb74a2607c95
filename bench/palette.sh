#!/bin/bash
# bench/palette.sh [RUNS]
# The palette mapping on the 417 real textures of bench/corpus.sh, all mapped to one
# palette made from them: ImageMagick's 254 colours (-colors 254) of a montage of them all,
# at indices 1 to 254, with 0 and 255, which m8 reserves, repeating their neighbours, so
# that both sides have the same 254 colours to choose from. Alpha is left out on both
# sides, as the 8-bit formats have none.
#   error: the mean squared error in linear light after a small blur (bench/palette_bench.cpp),
#     over all pixels; bars: ours nearest at most ImageMagick's -remap with -dither None,
#     ours --dither at most its -dither FloydSteinberg;
#   speed: one process mapping every texture, ours (reading the TGAs, writing m8 files of
#     level 0 alone, the pixels ImageMagick maps) against ImageMagick's (reading them,
#     writing colour-mapped TGAs); bars: at least 10 times faster, nearest and dithered;
#   and ours against cp of the m8 files written (the converter's bar, printed here as it
#     stands), and the error of each distance the mapping could use.
# Our side is a benchmark program over the formats library, so that both sides map every
# texture in one process. Medians of RUNS (default 3) for ours and cp; ImageMagick runs
# once each.
# Builds in $BUILD (default build); installs ImageMagick when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
runs=${1:-3}

. bench/measure.sh
install_missing imagemagick
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target palette_bench >/dev/null
bench=$build/bench/bin/palette_bench

work=$build/bench-palette
mkdir -p "$work"
. bench/corpus.sh
list=$work/textures.list
corpus_tgas "$work/corpus" >"$list"
mapfile -t textures <"$list"

if [ ! -f "$work/palette.lmp" ]; then
  montage "${textures[@]}" -alpha off -geometry 64x64+0+0 -tile 21x "$work/montage.png"
  convert "$work/montage.png" -colors 254 -unique-colors -depth 8 "rgb:$work/colours.raw"
  colours=$(($(stat -c %s "$work/colours.raw") / 3))
  convert -size "${colours}x1" -depth 8 "rgb:$work/colours.raw" "$work/palette.png"
  # The first colour again at 0, the last again up to 255.
  { head -c 3 "$work/colours.raw"; cat "$work/colours.raw"; for _ in $(seq "$colours" 254); do tail -c 3 "$work/colours.raw"; done; } \
    >"$work/palette.lmp"
fi

ours_nearest()  { "$bench" map --level0 "$work/palette.lmp" "$work/ours-nearest" "$list"; }
ours_dither()   { "$bench" map --level0 --dither "$work/palette.lmp" "$work/ours-dither" "$list"; }
ours_m8()       { "$bench" map "$work/palette.lmp" "$work/ours-m8" "$list"; }
magick_remap()  { convert "${textures[@]}" -alpha off -dither "$1" -remap "$work/palette.png" +adjoin "$work/$2/%d.tga"; }
magick_nearest() { magick_remap None magick-nearest; }
magick_dither() { magick_remap FloydSteinberg magick-dither; }
copy_m8()       { rm -rf "$work/copy" && cp -r "$work/ours-m8" "$work/copy"; }
# The converter itself, a process per texture as a user or the window runs it, against cp
# of each file it writes, a process per file too.
pellicar=$build/bin/Pellicar.exe
each() { for i in "${!textures[@]}"; do "$@"; done; }
to_m8()         { each eval '"$pellicar" --to m8 --palette "$work/palette.lmp" -o "$work/each-m8/$i.m8" "${textures[$i]}"'; }
copy_each_m8()  { each eval 'cp "$work/each-m8/$i.m8" "$work/each-copy/$i.m8"'; }
m8_to_tga()     { each eval '"$pellicar" -o "$work/each-tga/$i.tga" "$work/each-m8/$i.m8"'; }
copy_each_tga() { each eval 'cp "$work/each-tga/$i.tga" "$work/each-copy/$i.tga"'; }
mkdir -p "$work/ours-nearest" "$work/ours-dither" "$work/ours-m8" "$work/magick-nearest" "$work/magick-dither" \
  "$work/each-m8" "$work/each-tga" "$work/each-copy"

declare -A times
for name in magick_nearest magick_dither; do times[$name]=$(seconds $name); done
cmake --build "$build" --target Pellicar.exe >/dev/null
ours_nearest && ours_dither && ours_m8 && copy_m8 && to_m8 && copy_each_m8 && m8_to_tga && copy_each_tga  # warm up once
for name in ours_nearest ours_dither ours_m8 copy_m8 to_m8 copy_each_m8 m8_to_tga copy_each_tga; do
  for ((i = 0; i < runs; i++)); do times[$name]+="$(seconds $name) "; done
  times[$name]=$(tr ' ' '\n' <<<"${times[$name]}" | grep . | median)
done

error() { "$bench" error "$list" "$work/$1" "$2"; }
echo "each distance the mapping could use (the table holds all but Oklab):"
"$bench" metrics "$work/palette.lmp" "$list"
echo "palette: $work/palette.lmp; error = mean squared error in linear light after a 3 x 3 blur"
awk -v on="$(error ours-nearest m8)" -v mn="$(error magick-nearest tga)" \
  -v od="$(error ours-dither m8)" -v md="$(error magick-dither tga)" \
  -v tn="${times[ours_nearest]}" -v tmn="${times[magick_nearest]}" \
  -v td="${times[ours_dither]}" -v tmd="${times[magick_dither]}" -v tm8="${times[ours_m8]}" -v tcp="${times[copy_m8]}" \
  -v to="${times[to_m8]}" -v tocp="${times[copy_each_m8]}" -v back="${times[m8_to_tga]}" -v backcp="${times[copy_each_tga]}" '
  function verdict(ok) { if (!ok) failed = 1; return ok ? "met" : "MISSED" }
  BEGIN {
    printf "nearest: error %.4e, ImageMagick -remap -dither None %.4e: %.3f times (bar 1): %s\n", on, mn, on / mn, verdict(on <= mn)
    printf "dither: error %.4e, ImageMagick -dither FloydSteinberg %.4e: %.3f times (bar 1): %s\n", od, md, od / md, verdict(od <= md)
    printf "nearest: %.3f s, ImageMagick %.3f s: %.1f times faster (bar 10): %s\n", tn, tmn, tmn / tn, verdict(tmn / tn >= 10)
    printf "dither: %.3f s, ImageMagick %.3f s: %.1f times faster (bar 10): %s\n", td, tmd, tmd / td, verdict(tmd / td >= 10)
    printf "TGA to m8 (nearest, every level), one process: %.3f s, cp of the m8 files %.3f s: %.2f times\n", tm8, tcp, tm8 / tcp
    printf "Pellicar.exe TGA to m8, a process each: %.3f s, cp of each m8 %.3f s: %.2f times (bar 2): %s\n", to, tocp, to / tocp, verdict(to <= 2 * tocp)
    printf "Pellicar.exe m8 to TGA, a process each: %.3f s, cp of each TGA %.3f s: %.2f times (bar 1.2): %s\n", back, backcp, back / backcp, verdict(back <= 1.2 * backcp)
    exit failed
  }'
