#!/bin/sh
# scripts/older-processors.sh
# Runs the converter as GCC builds it (build/) and as clang builds it (build-fuzz/, the
# build of scripts/fuzz.sh) on processors emulated by qemu-user: the baseline x86-64
# (qemu64), one without AVX (Nehalem) and one without AVX-512 (Haswell). Each converts
# textures of odd and even widths through every pixel loop (m32 to 24- and 32-bit TGA
# and to PNG, both TGAs back to m32 with their mip levels, plainly averaged and in
# linear light), and every file must be byte for byte
# what a native run of the same build wrote: a copy of a loop for an instruction set
# the processor lacks dies there, a wrong one writes other bytes. Then the in-process
# tests of the TGA reader and the m32 writer run under each emulated processor.
set -eu
cd "$(dirname "$0")/.."
cpus="qemu64 Nehalem Haswell"

EXTRA_PACKAGES="clang libclang-rt-14-dev qemu-user" scripts/install-deps
[ -f build/CMakeCache.txt ] || cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target Pellicar.exe m32make tga_tests >/dev/null
mkdir -p build-fuzz
[ -f build-fuzz/CMakeCache.txt ] ||
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DPELLICAR_FUZZ=ON >build-fuzz/configure.log 2>&1 ||
  { cat build-fuzz/configure.log >&2; exit 1; }
cmake --build build-fuzz --target Pellicar.exe tga_tests >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for texture in "sunset 17 5" "rings 1031 67" "checker 64 64" "bricks 1 9"; do
  set -- $texture
  build/tools/m32make "$1" "$2" "$3" "$work/$1.m32"
done

# convert BUILD LABEL [EMULATOR...]: every conversion into $work/BUILD/LABEL.
convert() {
  converter=$1/bin/Pellicar.exe
  out=$work/$1/$2
  shift 2
  mkdir -p "$out/tga24" "$out/tga32" "$out/back24" "$out/back32" "$out/linear" "$out/png"
  cp "$work"/*.m32 "$out/tga24/"
  cp "$work"/*.m32 "$out/tga32/"
  cp "$work"/*.m32 "$out/png/"
  "$@" "$converter" "$out"/tga24/*.m32
  "$@" "$converter" --alpha "$out"/tga32/*.m32
  "$@" "$converter" --to png "$out"/png/*.m32
  mv "$out"/tga24/*.tga "$out/back24/"
  mv "$out"/tga32/*.tga "$out/back32/"
  cp "$out"/back32/*.tga "$out/linear/"
  "$@" "$converter" "$out"/back24/*.tga "$out"/back32/*.tga
  "$@" "$converter" --mips linear "$out"/linear/*.tga
}

for build in build build-fuzz; do
  convert "$build" native || { echo "$build/bin/Pellicar.exe failed natively" >&2; exit 1; }
  for cpu in $cpus; do
    log=$work/$build-$cpu.log
    convert "$build" "$cpu" qemu-x86_64 -cpu "$cpu" 2>"$log" ||
      { echo "$build/bin/Pellicar.exe failed on an emulated $cpu:" >&2; grep -v "^qemu-x86_64: warning" "$log" >&2; exit 1; }
    diff -r "$work/$build/native" "$work/$build/$cpu" >&2 ||
      { echo "$build/bin/Pellicar.exe on an emulated $cpu wrote other bytes than natively" >&2; exit 1; }
    qemu-x86_64 -cpu "$cpu" "$build/tests/converter/tga_tests" --gtest_filter='TgaReader.*:M32Writer.*' \
      --gtest_brief=1 >"$log" 2>&1 ||
      { echo "the reader and writer tests of $build failed on an emulated $cpu:" >&2; tail -40 "$log" >&2; exit 1; }
  done
  echo "$build: the converter writes the same bytes on emulated $cpus as natively, and its tests pass there"
done
