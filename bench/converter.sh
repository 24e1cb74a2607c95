#!/bin/bash
# bench/converter.sh [RUNS]
# Converts a 4096 x 4096 m32 texture and measures, in the same run, the median time
# against copying the same file with cp and against ImageMagick converting the same raw
# RGBA pixels to TGA, and the converter's peak memory against input + output + 1 MiB.
# Bars: at most 1.3 times cp, at least 10 times faster than ImageMagick, memory within.
# Then converts the 32-bit TGA of that texture back to an m32 with all its mip levels,
# against cp of the m32 it writes. Bars: at most 1.15 times cp, peak memory below a
# quarter of that m32 + 1 MiB; from a run-length encoded TGA at most 2 times cp; with
# --mips linear at most 1.3 times the plain average.
# Builds in $BUILD (default build); installs ImageMagick and GNU time when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
runs=${1:-7}
side=4096

. bench/measure.sh
install_missing imagemagick time
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target Pellicar.exe m32make >/dev/null

work=$build/bench-work
mkdir -p "$work"
input=$work/big.m32
raw=$work/pixels.raw
[ -f "$input" ] && [ -f "$raw" ] || "$build/tools/m32make" rings $side $side "$input" "$raw"

tga=$work/big32.tga
rle=$work/big-rle.tga
written=$work/written.m32
# Made again each time, by the converter as it is built now.
"$build/bin/Pellicar.exe" --alpha -o "$tga" "$input"
/usr/bin/convert "$tga" -compress RLE "$rle"
"$build/bin/Pellicar.exe" -o "$written" "$tga"

copy()      { cp "$input" "$work/copy.m32"; }
pellicar()  { "$build/bin/Pellicar.exe" "$input"; }
magick()    { /usr/bin/convert -size ${side}x${side} -depth 8 "rgba:$raw" "$work/magick.tga"; }
copy_m32()  { cp "$written" "$work/copy-written.m32"; }
to_m32()    { "$build/bin/Pellicar.exe" -o "$work/back.m32" "$tga"; }
rle_to_m32() { "$build/bin/Pellicar.exe" -o "$work/back-rle.m32" "$rle"; }
linear_mips() { "$build/bin/Pellicar.exe" --mips linear -o "$work/back-linear.m32" "$tga"; }
clean()     { rm -f "$work/copy.m32" "$work/big.tga" "$work/magick.tga" "$work/copy-written.m32" "$work/back.m32" \
                    "$work/back-rle.m32" "$work/back-linear.m32"; }


names="copy pellicar magick copy_m32 to_m32 rle_to_m32 linear_mips"
declare -A times
for name in $names; do clean; $name; done  # warm up once
for ((i = 0; i < runs; i++)); do
  for name in $names; do
    clean
    times[$name]+="$(seconds $name) "
  done
done
for name in $names; do
  times[$name]=$(tr ' ' '\n' <<<"${times[$name]}" | grep . | median)
done

clean
peak_kib=$(/usr/bin/time -f %M "$build/bin/Pellicar.exe" "$input" 2>&1 >/dev/null | tail -1)
input_bytes=$(stat -c %s "$input")
output_bytes=$(stat -c %s "$work/big.tga")
to_m32_kib=$(/usr/bin/time -f %M "$build/bin/Pellicar.exe" -o "$work/back.m32" "$tga" 2>&1 >/dev/null | tail -1)
rle_kib=$(/usr/bin/time -f %M "$build/bin/Pellicar.exe" -o "$work/back-rle.m32" "$rle" 2>&1 >/dev/null | tail -1)
written_bytes=$(stat -c %s "$written")
# The same but for the name, which comes from the output's file name.
cmp -s -i 132 "$work/back.m32" "$written" && cmp -s -i 132 "$work/back-rle.m32" "$written" ||
  { echo "the m32s from the plain and the run-length TGA differ" >&2; exit 1; }
clean

awk -v cp="${times[copy]}" -v us="${times[pellicar]}" -v im="${times[magick]}" \
    -v peak="$peak_kib" -v in_b="$input_bytes" -v out_b="$output_bytes" -v runs="$runs" \
    -v cp_m32="${times[copy_m32]}" -v to_m32="${times[to_m32]}" -v rle="${times[rle_to_m32]}" \
    -v linear="${times[linear_mips]}" \
    -v to_peak="$to_m32_kib" -v rle_peak="$rle_kib" -v m32_b="$written_bytes" '
function mib(bytes) { return bytes / 1048576 }
function verdict(ok) { if (!ok) missed = 1; return ok ? "met" : "MISSED" }
BEGIN {
  allowed = in_b + out_b + 1048576
  printf "Pellicar.exe on a 4096 x 4096 m32, median of %d runs\n", runs
  printf "  cp of the same file   %7.3f s\n", cp
  printf "  Pellicar.exe          %7.3f s   %5.2f x cp            (bar <= 1.30: %s)\n", us, us / cp, verdict(us <= 1.3 * cp)
  printf "  ImageMagick convert   %7.3f s   %5.1f x Pellicar.exe  (bar >= 10: %s)\n", im, im / us, verdict(im >= 10 * us)
  printf "  peak memory           %7.1f MiB of %.1f MiB = input %.1f + output %.1f + 1 (%s)\n", \
         mib(peak * 1024), mib(allowed), mib(in_b), mib(out_b), verdict(peak * 1024 <= allowed)
  below = m32_b / 4 + 1048576
  printf "Pellicar.exe from the 32-bit TGA of that texture back to an m32 with its mip levels\n"
  printf "  cp of the m32 written %7.3f s\n", cp_m32
  printf "  Pellicar.exe          %7.3f s   %5.2f x cp            (bar <= 1.15: %s)\n", to_m32, to_m32 / cp_m32, verdict(to_m32 <= 1.15 * cp_m32)
  printf "  from run-length TGA   %7.3f s   %5.2f x cp            (bar <= 2: %s)\n", rle, rle / cp_m32, verdict(rle <= 2 * cp_m32)
  printf "  --mips linear         %7.3f s   %5.2f x the plain one (bar <= 1.30: %s)\n", linear, linear / to_m32, verdict(linear <= 1.3 * to_m32)
  printf "  peak memory           %7.1f MiB, below %.1f MiB = m32 %.1f / 4 + 1 (%s)\n", \
         mib(to_peak * 1024), mib(below), mib(m32_b), verdict(to_peak * 1024 < below)
  printf "  from run-length TGA   %7.1f MiB (no bar)\n", mib(rle_peak * 1024)
  exit missed
}'
