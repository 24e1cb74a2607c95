#!/bin/bash
# bench/png_interlaced.sh [RUNS]
# A PNG whose small file declares a huge image: 28,000 x 28,000 pixels of 1 bit, a
# checkerboard that deflate packs into some 160 KB, interlaced (Adam7). Converted to an
# m32 (4.2 GB), its peak memory must not follow the declared size: bar under 64 MiB.
# Shown beside it, no bar: the time against the same image not interlaced, and four of
# them at once with -j 4 (17 GB of m32s; each is deleted once measured). The two m32s of
# the one image are compared pixel for pixel. Medians of RUNS (default 1): each run
# writes 25 GB, so time and memory are taken from the same run.
# Builds in $BUILD (default build); installs GNU time when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
runs=${1:-1}
side=28000

. bench/measure.sh
install_missing time
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target Pellicar.exe >/dev/null

work=$build/bench-png-interlaced
mkdir -p "$work"
[ -f "$work/interlaced.png" ] || bench/checker_png.py $side 1000 "$work/interlaced.png" interlaced
[ -f "$work/plain.png" ] || bench/checker_png.py $side 1000 "$work/plain.png"
for i in 1 2 3 4; do ln -f "$work/interlaced.png" "$work/copy$i.png"; done


converter=$build/bin/Pellicar.exe
interlaced() { "$converter" -o "$work/interlaced.m32" "$work/interlaced.png"; }
plain() { "$converter" -o "$work/plain.m32" "$work/plain.png"; }
four() { "$converter" -j 4 "$work"/copy?.png; }
clean() { rm -f "$work"/*.m32; }
export converter work
export -f interlaced plain four

clean
# Runs one command; prints its wall time in seconds and its peak memory in KiB.
time_and_peak() { /usr/bin/time -f "%e %M" "$@" 2>&1 >/dev/null | tail -1; }
declare -A times peaks
for ((i = 0; i < runs; i++)); do
  for name in interlaced plain four; do
    read -r t k <<<"$(time_and_peak bash -c "$name")"
    times[$name]+="$t " && peaks[$name]+="$k "
    [ "$name" = interlaced ] && continue
    if [ "$name" = plain ] && ! cmp -s -i 968 "$work/interlaced.m32" "$work/plain.m32"; then
      echo "the interlaced PNG reads otherwise" >&2
      exit 1
    fi
    clean
  done
done
for name in interlaced plain four; do
  times[$name]=$(tr ' ' '\n' <<<"${times[$name]}" | grep . | median)
  peaks[$name]=$(tr ' ' '\n' <<<"${peaks[$name]}" | grep . | median)
done

awk -v size="$(stat -c %s "$work/interlaced.png")" -v t="${times[interlaced]}" -v k="${peaks[interlaced]}" \
    -v plain="${times[plain]}" -v plainKib="${peaks[plain]}" -v four="${times[four]}" -v fourKib="${peaks[four]}" \
    -v runs="$runs" '
  BEGIN {
    printf "28,000 x 28,000, 1 bit, %d bytes of PNG, to m32; median of %d runs\n", size, runs
    printf "  interlaced         %7.1f s   %6.1f MiB peak (bar < 64 MiB: %s)\n", t, k / 1024, k < 65536 ? "met" : "MISSED"
    printf "  not interlaced     %7.1f s   %6.1f MiB peak; the interlaced one takes %.2f times as long\n",
           plain, plainKib / 1024, t / plain
    printf "  four interlaced, -j 4  %7.1f s   %6.1f MiB peak\n", four, fourKib / 1024
    exit k >= 65536
  }'
