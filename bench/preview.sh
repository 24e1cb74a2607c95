#!/bin/bash
# bench/preview.sh [RUNS]
# A 256-pixel thumbnail of large m32 textures against the same thumbnail of a 256 x 256
# texture, in the same run: median time and peak memory of each previewer, the Linux
# thumbnailer and the code of Windows' pellicar-shell.dll (its thumbnail provider's
# portable part, over the converter's file reader, run natively here, 100 thumbnails a
# run so that the work outweighs starting the process). The large textures: 8192 x 8192
# with its mip levels, the same with level 0 alone, and 16384 x 16384 and 65535 x 65535
# with level 0 alone, sparse files whose pixels are a hole that reads as zeros (17 GB for
# the last): without a level small enough, a preview samples rows of level 0.
# Bars: memory that follows the preview, not the texture: at most the small texture's
# peak + 1 MiB (level 0 alone of the 8192 one is 256 MiB). Time: with mip levels at most
# 2 times the small texture's; with level 0 alone a preview reads one whole row of it for
# each row of the preview, so its time follows the preview's rows times the texture's
# width, not the texture: at most 2 times per 4,096 pixels of width (reading all of
# level 0 would be 1,024 to 65,536 times the small texture's pixels).
# Builds in $BUILD (default build); installs GNU time when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
runs=${1:-9}

. bench/measure.sh
install_missing time
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target pellicar-thumbnailer shell_thumbnail m32make >/dev/null

work=$build/bench-work
mkdir -p "$work"
declare -A input=([large]=$work/rings-8192.m32 [small]=$work/rings-256.m32 [bare]=$work/rings-8192-level0.m32
                  [bare16k]=$work/hole-16384.m32 [bare64k]=$work/hole-65535.m32)
[ -f "${input[large]}" ] || "$build/tools/m32make" rings 8192 8192 "${input[large]}"
[ -f "${input[small]}" ] || "$build/tools/m32make" rings 256 256 "${input[small]}"

u32() { for i in 0 1 2 3; do printf "\\$(printf %03o $(($1 >> 8 * i & 255)))"; done; }  # little-endian
# Level 1 to 15's widths, heights and offsets made 0 in m32 file $1: level 0 alone.
drop_mips() {
  for at in 520 584 648; do dd if=/dev/zero of="$1" bs=1 seek=$at count=60 conv=notrunc status=none; done
}
# m32 file $2, $1 pixels square, level 0 alone and its pixels a hole (version 4, level 0 at 968).
hole_texture() {
  { u32 4; head -c 512 /dev/zero; u32 "$1"; head -c 60 /dev/zero; u32 "$1"; head -c 60 /dev/zero
    u32 968; head -c 320 /dev/zero; } >"$2"
  truncate -s $((968 + $1 * $1 * 4)) "$2"
}
if [ ! -f "${input[bare]}" ]; then
  head -c $((968 + 8192 * 8192 * 4)) "${input[large]}" >"${input[bare]}" && drop_mips "${input[bare]}"
fi
[ -f "${input[bare16k]}" ] || hole_texture 16384 "${input[bare16k]}"
[ -f "${input[bare64k]}" ] || hole_texture 65535 "${input[bare64k]}"


# Sets `run` to the command line of previewer $1 making the thumbnail of texture $2.
command_of() {
  case $1 in
    pellicar-thumbnailer) run=("$build/bin/pellicar-thumbnailer" -s 256 "${input[$2]}" "$work/$2.png") ;;
    shell_thumbnail) run=("$build/bench/bin/shell_thumbnail" 256 "${input[$2]}" "$work/$2.bgra" 100) ;;
  esac
}

previewers="pellicar-thumbnailer shell_thumbnail"
declare -A label=([pellicar-thumbnailer]="pellicar-thumbnailer -s 256"
                  [shell_thumbnail]="shell_thumbnail 256, 100 thumbnails a run")
names="large bare bare16k bare64k small"
declare -A texture=([large]="8192 x 8192" [bare]="8192 x 8192, level 0 alone" [bare16k]="16384 x 16384, level 0 alone"
                    [bare64k]="65535 x 65535, level 0 alone")
declare -A time_bar=([large]=2 [bare]=4 [bare16k]=8 [bare64k]=32)
declare -A times peaks
for previewer in $previewers; do
  for name in $names; do command_of "$previewer" "$name" && "${run[@]}"; done  # warm up once
done
for ((i = 0; i < runs; i++)); do
  for previewer in $previewers; do
    for name in $names; do
      command_of "$previewer" "$name"
      times[$previewer-$name]+="$(seconds "${run[@]}") "
      peaks[$previewer-$name]+="$(peak_kib "${run[@]}") "
    done
  done
done
for key in "${!times[@]}"; do
  times[$key]=$(tr ' ' '\n' <<<"${times[$key]}" | grep . | median)
  peaks[$key]=$(tr ' ' '\n' <<<"${peaks[$key]}" | grep . | median)
done
for name in large bare bare16k bare64k; do
  command_of pellicar-thumbnailer "$name" && "${run[@]}" && file -b "$work/$name.png" | grep -q ' 256 x 256,' ||
    { echo "the thumbnail of $name is not 256 x 256" >&2; exit 1; }
  command_of shell_thumbnail "$name" && "${run[@]}" && [ "$(stat -c %s "$work/$name.bgra")" = $((256 * 256 * 4)) ] ||
    { echo "the shell's thumbnail of $name is not 256 x 256" >&2; exit 1; }
done
rm -f "$work"/*.png "$work"/*.bgra

missed=0
for previewer in $previewers; do
  echo "${label[$previewer]}, median of $runs runs"
  printf "  %-34s %7.3f s   %7.1f MiB peak\n" "256 x 256" "${times[$previewer-small]}" \
    "$(awk -v k="${peaks[$previewer-small]}" 'BEGIN { print k / 1024 }')"
  for name in large bare bare16k bare64k; do
    awk -v what="${texture[$name]}" -v big="${times[$previewer-$name]}" -v little="${times[$previewer-small]}" \
        -v big_kib="${peaks[$previewer-$name]}" -v little_kib="${peaks[$previewer-small]}" -v bar="${time_bar[$name]}" '
    function verdict(ok) { if (!ok) missed = 1; return ok ? "met" : "MISSED" }
    BEGIN {
      printf "  %-34s %7.3f s   %7.1f MiB peak\n", what, big, big_kib / 1024
      printf "    time %5.2f x the small one (bar <= %.2f: %s), peak %+6.2f MiB over it (bar <= +1 MiB: %s)\n",
             big / little, bar, verdict(big <= bar * little), (big_kib - little_kib) / 1024, verdict(big_kib <= little_kib + 1024)
      exit missed
    }' || missed=1
  done
done
exit "$missed"
