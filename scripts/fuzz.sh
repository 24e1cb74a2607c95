#!/bin/sh
# scripts/fuzz.sh SECONDS
# Builds the libFuzzer targets with clang in build-fuzz/: the m32 reader with the TGA
# writer, the TGA reader with the m32 writer, the PNG reader and writer, what the
# Windows shell DLL reads with, and the m8 and WAL readers with their writer.
# Seeds a corpus for each with a few of our own files, fuzzes each for SECONDS and
# prints how many inputs ran.
set -eu
seconds=${1:?usage: scripts/fuzz.sh SECONDS}
cd "$(dirname "$0")/.."
build=build-fuzz

mkdir -p "$build"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DPELLICAR_FUZZ=ON >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log" >&2; exit 1; }
cmake --build "$build" --target m32_fuzzer tga_fuzzer png_fuzzer shell_fuzzer m8_fuzzer wal_fuzzer m32make Pellicar.exe

m32_corpus=$build/corpus
tga_corpus=$build/tga-corpus
shell_corpus=$build/shell-corpus
png_corpus=$build/png-corpus
m8_corpus=$build/m8-corpus
wal_corpus=$build/wal-corpus
mkdir -p "$m32_corpus" "$tga_corpus" "$shell_corpus" "$png_corpus" "$m8_corpus" "$wal_corpus"
for size in "1 1" "3 5" "17 1" "8 8" "2 9"; do
  set -- $size
  "$build/tools/m32make" checker "$1" "$2" "$m32_corpus/seed-$1x$2.m32"
  cp "$m32_corpus/seed-$1x$2.m32" "$shell_corpus/"
  "$build/bin/Pellicar.exe" -o "$tga_corpus/seed-$1x$2.tga" "$m32_corpus/seed-$1x$2.m32"
  "$build/bin/Pellicar.exe" --alpha -o "$tga_corpus/seed-$1x$2-alpha.tga" "$m32_corpus/seed-$1x$2.m32"
  "$build/bin/Pellicar.exe" -o "$png_corpus/seed-$1x$2.png" "$m32_corpus/seed-$1x$2.m32"
done
"$build/tools/m32make" checker 64 40 "$shell_corpus/seed-64x40.m32"  # thumbnails of every size below it

# Small TGAs of the other types, byte by byte: colour-mapped, grey, run-length encoded.
seed() {
  name=$1
  shift
  for byte in "$@"; do printf "\\$(printf %o "$byte")"; done >"$tga_corpus/$name.tga"
}
seed mapped 0 1 1 0 0 2 0 24 0 0 0 0 2 0 1 0 8 0 1 2 3 4 5 6 0 1
seed mapped-packets 0 1 9 2 0 3 0 16 0 0 0 0 3 0 2 0 8 1 0 252 224 3 31 128 131 3 1 2 4
seed grey-alpha 0 0 3 0 0 0 0 0 0 0 0 0 2 0 1 0 16 8 10 20 30 40
seed grey-packets 0 0 11 0 0 0 0 0 0 0 0 0 2 0 2 0 8 48 130 64 0 144
seed colour-packets 0 0 10 0 0 0 0 0 0 0 0 0 2 0 2 0 24 0 129 1 2 3 1 4 5 6 7 8 9

# An m8 of 4 x 4, 2 x 2 and 1 x 1 and a WAL of 16 x 8, their fields written little-endian.
put32() {  # put32 FILE OFFSET VALUE
  printf "\\$(printf %o $(($3 & 255)))\\$(printf %o $(($3 >> 8 & 255)))\\$(printf %o $(($3 >> 16 & 255)))\\$(printf %o $(($3 >> 24)))" |
    dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
m8=$m8_corpus/seed.m8
head -c $((1040 + 21)) /dev/urandom >"$m8"
put32 "$m8" 0 2
for level in "0 4 1040" "1 2 1056" "2 1 1060"; do
  set -- $level
  put32 "$m8" $((36 + 4 * $1)) "$2"
  put32 "$m8" $((100 + 4 * $1)) "$2"
  put32 "$m8" $((164 + 4 * $1)) "$3"
done
put32 "$m8" 48 0
cp "$m8" "$shell_corpus/"
"$build/bin/Pellicar.exe" --to png -o "$png_corpus/seed-palette.png" "$m8"  # its palette and indices
wal=$wal_corpus/seed.wal
head -c $((100 + 128 + 32 + 8 + 2)) /dev/urandom >"$wal"
put32 "$wal" 32 16
put32 "$wal" 36 8
for level in "0 100" "1 228" "2 260" "3 268"; do
  set -- $level
  put32 "$wal" $((40 + 4 * $1)) "$2"
done

fuzz() {  # fuzz TARGET CORPUS WHAT
  log=$build/$1.log
  "$build/fuzz/$1" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/" "$2" >"$log" 2>&1 || { tail -40 "$log" >&2; exit 1; }
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "$3 fuzzed for $seconds s: $runs inputs run, no failure (log: $log)"
}
fuzz m32_fuzzer "$m32_corpus" "m32 reader"
fuzz tga_fuzzer "$tga_corpus" "TGA reader"
fuzz png_fuzzer "$png_corpus" "PNG reader and writer"
fuzz shell_fuzzer "$shell_corpus" "shell DLL's thumbnails and copies"
fuzz m8_fuzzer "$m8_corpus" "m8 reader and writer"
fuzz wal_fuzzer "$wal_corpus" "WAL reader and writer"
