#!/bin/bash
# bench/trees.sh [RUNS]
# Whole trees: 10,000 m32 textures in 100 folders, sides 64 to 512, measured in the same
# run against the standard tools (medians of RUNS, default 3):
#   -r -o to TGA                  at most 1.2 times cp -r of the m32 tree
#   -j 2 against -j 1             at least 1.7 times faster
#   4,000 64 x 64 files by name   at most 5 times 1,000: linear, not quadratic (below 4 is
#                                 the fixed cost of a run shared by more files)
#   back to m32, folder --like    at most 1.5 times cp -r of the m32 tree it writes
#   -u over an unchanged tree     at most 1.5 times find over the m32 tree (and, for
#                                 context, against a find that reads every file's time)
#   peak memory with -j N         at most N times one 512 x 512 conversion's + 8 MiB
# Builds in $BUILD (default build) and works in $WORK (default $BUILD/bench-trees, about
# 10 GB); installs GNU time when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
runs=${1:-3}
work=${WORK:-$build/bench-trees}

. bench/measure.sh
install_missing time
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target Pellicar.exe m32make >/dev/null
pellicar=$PWD/$build/bin/Pellicar.exe

# Seven shapes, as a game has them, copied in turn into 100 folders of 100.
tree=$work/textures
mkdir -p "$work"
if [ ! -f "$tree/done" ]; then
  rm -rf "$tree" && mkdir -p "$tree" "$work/seeds"
  shapes=(64x64 128x64 128x128 256x128 256x256 512x256 512x512)
  for shape in "${shapes[@]}"; do "$build/tools/m32make" rings "${shape%x*}" "${shape#*x}" "$work/seeds/$shape.m32"; done
  for ((f = 0; f < 100; f++)); do
    folder=$(printf '%s/area%02d/walls' "$tree" $f)
    mkdir -p "$folder"
    for ((t = 0; t < 100; t++)); do
      cp "$work/seeds/${shapes[$(((f * 100 + t) % 7))]}.m32" "$(printf '%s/Tex%03d.m32' "$folder" $t)"
    done
  done
  touch "$tree/done"
fi
small=$work/small
if [ ! -f "$small/done" ]; then
  rm -rf "$small" && mkdir -p "$small"
  for ((t = 0; t < 4000; t++)); do cp "$work/seeds/64x64.m32" "$(printf '%s/Small%04d.m32' "$small" $t)"; done
  touch "$small/done"
fi


mapfile -t named < <(find "$small" -name '*.m32' | sort)
copy_tree()   { cp -r "$tree" "$work/copy"; }
to_tga()      { "$pellicar" -r "$tree" -o "$work/edit" >/dev/null; }
to_tga_j1()   { "$pellicar" -j 1 -r "$tree" -o "$work/edit" >/dev/null; }
to_tga_j2()   { "$pellicar" -j 2 -r "$tree" -o "$work/edit" >/dev/null; }
by_name_1000() { "$pellicar" -- "${named[@]:0:1000}" >/dev/null; }
by_name_4000() { "$pellicar" -- "${named[@]}" >/dev/null; }
back_to_m32() { "$pellicar" -r "$work/edit" --to m32 --like "$tree" -o "$work/back" >/dev/null; }
copy_back()   { cp -r "$work/back" "$work/back-copy"; }
update()      { "$pellicar" -u -r "$tree" -o "$work/edit" >/dev/null; }
walk()        { find "$tree" >/dev/null; }
# The least any -u must do: read both trees and each file's time (find stats nothing above).
walk_times()  { find "$tree" "$work/edit" -newer "$tree/done" >/dev/null; }
clean()       { rm -rf "$work/copy" "$work/edit" "$work/back-copy"; rm -f "$small"/*.tga; }

declare -A times
time_of() {  # name, and what must be there before: clean for nothing
  local name=$1 before=$2
  $before
  times[$name]+="$(seconds "$name") "
}
keep() { :; }
for ((i = 0; i <= runs; i++)); do  # the first round warms up and is not counted
  [ "$i" = 1 ] && times=()
  time_of copy_tree clean
  time_of to_tga clean
  time_of to_tga_j1 clean
  time_of by_name_1000 clean
  time_of by_name_4000 clean
  time_of to_tga_j2 clean
  time_of back_to_m32 keep
  time_of copy_back keep
  time_of update keep
  time_of walk keep
  time_of walk_times keep
  rm -rf "$work/back"
done
for name in "${!times[@]}"; do times[$name]=$(tr ' ' '\n' <<<"${times[$name]}" | grep . | median); done

clean
single=$(peak_kib "$pellicar" -o "$work/single.tga" "$work/seeds/512x512.m32")
peak1=$(peak_kib "$pellicar" -j 1 -r "$tree" -o "$work/edit")
clean
peak2=$(peak_kib "$pellicar" -j 2 -r "$tree" -o "$work/edit")
clean
peak4=$(peak_kib "$pellicar" -j 4 -r "$tree" -o "$work/edit")
clean
rm -f "$work/single.tga"

echo "Conditions: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) after the run"
awk -v runs="$runs" -v cp="${times[copy_tree]}" -v tga="${times[to_tga]}" -v j1="${times[to_tga_j1]}" \
    -v j2="${times[to_tga_j2]}" -v n1="${times[by_name_1000]}" -v n4="${times[by_name_4000]}" \
    -v back="${times[back_to_m32]}" -v cpback="${times[copy_back]}" -v upd="${times[update]}" \
    -v walk="${times[walk]}" -v times="${times[walk_times]}" -v single="$single" -v p1="$peak1" -v p2="$peak2" -v p4="$peak4" '
function verdict(ok) { if (!ok) missed = 1; return ok ? "met" : "MISSED" }
function memory(n, peak) {
  allowed = n * single + 8192
  printf "  -j %d                   %7.1f MiB, allowed %d x %.1f + 8 = %.1f MiB (%s)\n", \
         n, peak / 1024, n, single / 1024, allowed / 1024, verdict(peak <= allowed)
}
BEGIN {
  printf "10,000 m32 textures in 100 folders, sides 64 to 512; medians of %d runs\n", runs
  printf "  cp -r of the m32 tree   %7.3f s\n", cp
  printf "  -r -o to TGA            %7.3f s   %5.2f x cp -r        (bar <= 1.20: %s)\n", tga, tga / cp, verdict(tga <= 1.2 * cp)
  printf "  the same with -j 1      %7.3f s\n", j1
  printf "  the same with -j 2      %7.3f s   %5.2f x faster       (bar >= 1.70: %s)\n", j2, j1 / j2, verdict(j1 >= 1.7 * j2)
  printf "  1,000 64 x 64 by name   %7.3f s\n", n1
  printf "  4,000 64 x 64 by name   %7.3f s   %5.2f x 1,000        (bar <= 5.00: %s)\n", n4, n4 / n1, verdict(n4 <= 5 * n1)
  printf "  cp -r of the m32 back   %7.3f s\n", cpback
  printf "  back to m32, --like     %7.3f s   %5.2f x cp -r        (bar <= 1.50: %s)\n", back, back / cpback, verdict(back <= 1.5 * cpback)
  printf "  find over the tree      %7.3f s\n", walk
  printf "  -u, nothing changed     %7.3f s   %5.2f x find         (bar <= 1.50: %s)\n", upd, upd / walk, verdict(upd <= 1.5 * walk)
  printf "  find -newer, both trees %7.3f s   -u is %.2f x that\n", times, upd / times
  printf "Peak memory over the tree; one 512 x 512 conversion %.1f MiB\n", single / 1024
  memory(1, p1); memory(2, p2); memory(4, p4)
  exit missed
}'
