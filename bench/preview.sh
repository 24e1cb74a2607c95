#!/bin/bash
# bench/preview.sh [RUNS]
# A 256-pixel thumbnail of an 8192 x 8192 m32 texture against the same thumbnail of a
# 256 x 256 texture, in the same run: median time and peak memory of each previewer, the
# Linux thumbnailer and the code of Windows' pellicar-shell.dll (its thumbnail provider's
# portable part, over the converter's file reader, run natively here, 100 thumbnails a
# run so that the work outweighs starting the process).
# Bars: at most 2 times the time, and memory that follows the preview, not the texture:
# at most the small texture's peak + 1 MiB (level 0 alone of the large one is 256 MiB).
# Builds in $BUILD (default build); installs GNU time when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
runs=${1:-9}

if ! dpkg-query -W -f='${Status}' time 2>/dev/null | grep -q "install ok installed"; then
  apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends time
fi
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target pellicar-thumbnailer shell_thumbnail m32make >/dev/null

work=$build/bench-work
mkdir -p "$work"
declare -A input=([large]=$work/rings-8192.m32 [small]=$work/rings-256.m32)
[ -f "${input[large]}" ] || "$build/tools/m32make" rings 8192 8192 "${input[large]}"
[ -f "${input[small]}" ] || "$build/tools/m32make" rings 256 256 "${input[small]}"

. bench/measure.sh

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
names="large small"
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
file -b "$work/large.png" | grep -q ' 256 x 256,' || { echo "the thumbnail is not 256 x 256" >&2; exit 1; }
[ "$(stat -c %s "$work/large.bgra")" = $((256 * 256 * 4)) ] || { echo "the shell's thumbnail is not 256 x 256" >&2; exit 1; }
rm -f "$work"/*.png "$work"/*.bgra

missed=0
for previewer in $previewers; do
  awk -v who="${label[$previewer]}" -v big="${times[$previewer-large]}" -v little="${times[$previewer-small]}" -v runs="$runs" \
      -v big_kib="${peaks[$previewer-large]}" -v little_kib="${peaks[$previewer-small]}" '
  function verdict(ok) { if (!ok) missed = 1; return ok ? "met" : "MISSED" }
  BEGIN {
    printf "%s, median of %d runs\n", who, runs
    printf "  256 x 256 texture     %7.3f s   %7.1f MiB peak\n", little, little_kib / 1024
    printf "  8192 x 8192 texture   %7.3f s   %7.1f MiB peak\n", big, big_kib / 1024
    printf "  time                  %5.2f x the small texture       (bar <= 2.00: %s)\n", big / little, verdict(big <= 2 * little)
    printf "  peak memory           %+7.2f MiB over the small texture (bar <= +1 MiB: %s)\n", \
           (big_kib - little_kib) / 1024, verdict(big_kib <= little_kib + 1024)
    exit missed
  }' || missed=1
done
exit "$missed"
