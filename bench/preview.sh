#!/bin/bash
# bench/preview.sh [RUNS]
# A 256-pixel thumbnail of an 8192 x 8192 m32 texture against the same thumbnail of a
# 256 x 256 texture, in the same run: median time and peak memory of the thumbnailer.
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
cmake --build "$build" --target pellicar-thumbnailer m32make >/dev/null

work=$build/bench-work
mkdir -p "$work"
declare -A input=([large]=$work/rings-8192.m32 [small]=$work/rings-256.m32)
[ -f "${input[large]}" ] || "$build/tools/m32make" rings 8192 8192 "${input[large]}"
[ -f "${input[small]}" ] || "$build/tools/m32make" rings 256 256 "${input[small]}"
thumbnailer=$build/bin/pellicar-thumbnailer

. bench/measure.sh

names="large small"
declare -A times peaks
for name in $names; do "$thumbnailer" -s 256 "${input[$name]}" "$work/$name.png"; done  # warm up once
for ((i = 0; i < runs; i++)); do
  for name in $names; do
    times[$name]+="$(seconds "$thumbnailer" -s 256 "${input[$name]}" "$work/$name.png") "
    peaks[$name]+="$(peak_kib "$thumbnailer" -s 256 "${input[$name]}" "$work/$name.png") "
  done
done
for name in $names; do
  times[$name]=$(tr ' ' '\n' <<<"${times[$name]}" | grep . | median)
  peaks[$name]=$(tr ' ' '\n' <<<"${peaks[$name]}" | grep . | median)
done
file -b "$work/large.png" | grep -q ' 256 x 256,' || { echo "the thumbnail is not 256 x 256" >&2; exit 1; }
rm -f "$work/large.png" "$work/small.png"

awk -v big="${times[large]}" -v little="${times[small]}" -v runs="$runs" \
    -v big_kib="${peaks[large]}" -v little_kib="${peaks[small]}" '
function verdict(ok) { if (!ok) missed = 1; return ok ? "met" : "MISSED" }
BEGIN {
  printf "pellicar-thumbnailer -s 256, median of %d runs\n", runs
  printf "  256 x 256 texture     %7.3f s   %7.1f MiB peak\n", little, little_kib / 1024
  printf "  8192 x 8192 texture   %7.3f s   %7.1f MiB peak\n", big, big_kib / 1024
  printf "  time                  %5.2f x the small texture       (bar <= 2.00: %s)\n", big / little, verdict(big <= 2 * little)
  printf "  peak memory           %+7.2f MiB over the small texture (bar <= +1 MiB: %s)\n", \
         (big_kib - little_kib) / 1024, verdict(big_kib <= little_kib + 1024)
  exit missed
}'
