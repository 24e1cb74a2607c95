# Sourced by the benchmark scripts: the real textures they measure beside the synthetic
# patterns. Debian's openarena-081-textures holds 417 TGA textures of a game of the same
# engine family in a zip; `corpus_tgas DIR` unpacks them once into DIR (their folders
# kept) and prints their paths, one a line. Installs the package and unzip when missing.
corpus_pak=/usr/share/games/openarena/baseoa/pak4-textures.pk3

corpus_tgas() {
  local dir=$1
  local missing=""
  for p in openarena-081-textures unzip; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
  done
  if [ -n "$missing" ]; then
    apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing >&2
  fi
  if [ ! -f "$dir/.unpacked" ]; then
    rm -rf "$dir" && mkdir -p "$dir"
    unzip -q -o -C "$corpus_pak" '*.tga' -d "$dir"
    touch "$dir/.unpacked"
  fi
  find "$dir" -type f -iname '*.tga' | LC_ALL=C sort
}
