#!/bin/bash
# install_test.sh BUILD_DIR
# Installs the build into a DESTDIR under /usr and uses the installed tree with nothing
# of ours on PATH: the pellicar command converts a texture; the window, started through
# its link in bin/, converts a selected file with the converter installed beside it
# (under Xvfb, driven with xdotool); the thumbnailer entry names the installed
# thumbnailer, which writes a thumbnail; the installed plugin reads textures.
set -eu
build=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/pellicar-install-XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

stage=$work/stage
DESTDIR=$stage cmake --install "$build" --prefix /usr >"$work/install.log" || { cat "$work/install.log"; exit 1; }
usr=$stage/usr
clean_env=(env -i HOME="$work" PATH=/usr/bin:/bin LANG=C.UTF-8)

# Everything goes where a Debian system looks for it.
for file in bin/pellicar bin/pellicar-gui libexec/pellicar/Pellicar.exe libexec/pellicar/pellicar-gui \
  libexec/pellicar/pellicar-thumbnailer share/applications/pellicar.desktop \
  share/metainfo/org.example.pellicar.metainfo.xml share/mime/packages/pellicar.xml \
  share/icons/hicolor/16x16/apps/pellicar.png share/icons/hicolor/256x256/apps/pellicar.png \
  share/man/man1/pellicar.1.gz share/man/man1/pellicar-gui.1.gz share/thumbnailers/pellicar.thumbnailer \
  share/doc/pellicar/copyright lib/x86_64-linux-gnu/qt6/plugins/imageformats/libpellicar_m32.so; do
  [ -e "$usr/$file" ] || fail "not installed: /usr/$file"
done
[ "$(readlink "$usr/bin/pellicar")" = ../libexec/pellicar/Pellicar.exe ] || fail "bin/pellicar is not a relative link"
"$(dirname "$0")/../../scripts/check-runpaths" "$stage" || fail "an installed program searches the current directory for libraries"

# The pellicar command converts, and refuses a damaged texture.
mkdir "$work/textures"
cp "$build/samples/rock.m32" "$work/textures/rock.m32"
cp "$build/samples/checker.m32" "$work/textures/b.m32"
cp "$build/samples/rings.m32" "$work/textures/a.m32"
(cd "$work/textures" && "${clean_env[@]}" "$usr/bin/pellicar" rock.m32) || fail "pellicar rock.m32 failed"
[ -s "$work/textures/rock.tga" ] || fail "pellicar wrote no rock.tga"
head -c 500 "$build/samples/rock.m32" >"$work/short.m32"
if "${clean_env[@]}" "$usr/bin/pellicar" "$work/short.m32" 2>"$work/err"; then fail "a damaged texture converted"; fi
grep -q "too short" "$work/err" || fail "no reason for a damaged texture: $(cat "$work/err")"
rm "$work/textures/rock.tga" "$work/textures/rock.m32"

# The thumbnailer entry names the installed thumbnailer, with the freedesktop arguments.
exec_line=$(sed -n 's/^Exec=//p' "$usr/share/thumbnailers/pellicar.thumbnailer")
[ "$exec_line" = "/usr/libexec/pellicar/pellicar-thumbnailer -s %s %i %o" ] || fail "thumbnailer Exec: $exec_line"
"${clean_env[@]}" "$usr/libexec/pellicar/pellicar-thumbnailer" -s 32 "$work/textures/a.m32" "$work/thumb.png" ||
  fail "the installed thumbnailer failed"
[ "$(head -c 8 "$work/thumb.png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || fail "the thumbnail is no PNG"

# The installed plugin, through QT_PLUGIN_PATH, reads pixels and refuses damage.
QT_PLUGIN_PATH=$usr/lib/x86_64-linux-gnu/qt6/plugins "$build/tests/preview/preview_tests" \
  --gtest_filter='M32Plugin.*' --gtest_brief=1 >"$work/plugin.log" 2>&1 || { cat "$work/plugin.log"; fail "installed plugin"; }

# Opened on a file from a file manager, the desktop entry starts the window in that
# file's folder, where its lists begin; a stand-in window records where it started.
if command -v gio >/dev/null; then
  mkdir -p "$work/stand-in" "$work/odd \$(name) \"q\""
  printf '#!/bin/sh\npwd >"%s"\necho "$#" >>"%s"\n' "$work/started" "$work/started" >"$work/stand-in/pellicar-gui"
  chmod +x "$work/stand-in/pellicar-gui"
  (cd / && env -i HOME="$work" PATH="$work/stand-in:/usr/bin:/bin" \
    gio launch "$usr/share/applications/pellicar.desktop" "$work/odd \$(name) \"q\"/rock.m32")
  for _ in $(seq 100); do [ -s "$work/started" ] && break; sleep 0.05; done
  [ "$(cat "$work/started" 2>/dev/null)" = "$(printf '%s\n0' "$work/odd \$(name) \"q\"")" ] ||
    fail "the desktop entry started the window elsewhere: $(cat "$work/started" 2>/dev/null)"
fi

# The window, started from its link with the converter nowhere on PATH or in its folder,
# converts the selected file: the first in the list, a.m32, and not b.m32.
if ! command -v Xvfb >/dev/null || ! command -v xdotool >/dev/null; then
  echo "SKIP: the window's part needs Xvfb and xdotool"
  exit 77
fi
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
display=:$(head -n1 "$work/display")
(cd "$work/textures" && exec "${clean_env[@]}" DISPLAY="$display" QT_QPA_PLATFORM=xcb "$usr/bin/pellicar-gui") \
  >"$work/gui.log" 2>&1 &
pids+=($!)
window=$(DISPLAY=$display timeout 20 xdotool search --sync --onlyvisible --name '^Pellicar convertor$' | head -n1)
[ -n "$window" ] || fail "the window did not show: $(cat "$work/gui.log")"
# Pixels from the window's layout: the first row of the file list, then the button. A
# window mapped but not yet taking input misses the clicks, so they are given again;
# a plain click on the row selects that row alone, so a second try selects the same.
for _ in 1 2 3; do
  DISPLAY=$display xdotool mousemove --window "$window" 170 68 click 1
  DISPLAY=$display xdotool mousemove --window "$window" 144 292 click 1
  for _ in $(seq 60); do [ -s "$work/textures/a.tga" ] && break 2; sleep 0.05; done
done
[ -s "$work/textures/a.tga" ] || fail "the window converted nothing: $(cat "$work/gui.log")"
[ ! -e "$work/textures/b.tga" ] || fail "the window converted an unselected file"
echo "installed tree works: pellicar, thumbnailer, plugin and window"
