#!/bin/sh
# scripts/fuzz.sh SECONDS
# Builds the m32 reader's libFuzzer target with clang in build-fuzz/, seeds a corpus with
# a few of our own textures, fuzzes for SECONDS and prints how many inputs it ran.
set -eu
seconds=${1:?usage: scripts/fuzz.sh SECONDS}
cd "$(dirname "$0")/.."
build=build-fuzz

mkdir -p "$build"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DPELLICAR_FUZZ=ON >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log" >&2; exit 1; }
cmake --build "$build" --target m32_fuzzer m32make

corpus=$build/corpus
mkdir -p "$corpus"
for size in "1 1" "3 5" "17 1" "8 8" "2 9"; do
  set -- $size
  "$build/tools/m32make" checker "$1" "$2" "$corpus/seed-$1x$2.m32"
done

log=$build/fuzz.log
"$build/fuzz/m32_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$build/" "$corpus" >"$log" 2>&1 || { tail -40 "$log" >&2; exit 1; }
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
echo "m32 reader fuzzed for $seconds s: $runs inputs run, no failure (log: $log)"
