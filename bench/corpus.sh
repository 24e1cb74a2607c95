# Sourced by the benchmark scripts: the real textures they measure beside the synthetic
# patterns. Debian's openarena-081-textures holds 417 TGA textures of a game of the same
# engine family in a zip; `corpus_tgas DIR` unpacks them once into DIR (their folders
# kept) and prints their paths, one a line. Installs the package and unzip when missing
# (install_missing, of bench/measure.sh, sourced before this).
corpus_pak=/usr/share/games/openarena/baseoa/pak4-textures.pk3

corpus_tgas() {
  local dir=$1
  install_missing openarena-081-textures unzip
  if [ ! -f "$dir/.unpacked" ]; then
    rm -rf "$dir" && mkdir -p "$dir"
    unzip -q -o -C "$corpus_pak" '*.tga' -d "$dir"
    touch "$dir/.unpacked"
  fi
  find "$dir" -type f -iname '*.tga' | LC_ALL=C sort
}
