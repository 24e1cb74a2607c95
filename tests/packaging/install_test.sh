#!/bin/bash
# install_test.sh BUILD_DIR
# Installs the build into a DESTDIR under /usr and uses the installed tree with nothing
# of ours on PATH: no program searches the current directory for libraries; the pellicar
# command converts a texture; the thumbnailer entry names the installed thumbnailer,
# which writes a thumbnail; the installed plugin reads textures; the window, however it
# is opened, converts a selected file with the converter installed beside it.
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

# The window runs with the converter installed beside it and nowhere on PATH, on a
# folder whose name a shell or a mail program would misread, under Xvfb, driven with
# xdotool: started in that folder; opened on a file of it from a file manager (gio
# launch reads the desktop entry); and through mailcap (run-mailcap reads the line
# Debian's update-mime makes of the desktop entry, and opens the file through a link of
# its own). Each time the window must list that folder and convert its first file.
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
# run-mailcap cannot name a file whose path holds a line break; the others can.
for_mailcap="$work/-odd; \$(touch pwned) \"q\" 'a' $(printf '\377')"
odd="$for_mailcap
"
for folder in "$odd" "$for_mailcap"; do
  mkdir "$folder"
  cp "$work/textures/a.m32" "$work/textures/b.m32" "$folder/"
done
window_env=("${clean_env[@]}" DISPLAY="$display" QT_QPA_PLATFORM=xcb TMPDIR="$work")

# xdotool on the test's display. Xvfb now and then refuses a connection at once (about
# one in a hundred here), so a refusal is tried again.
xdo() {
  for _ in 1 2 3 4 5; do
    DISPLAY=$display timeout 20 xdotool "$@" 2>"$work/xdo.err" && return 0
    grep -q "Can't open display" "$work/xdo.err" || return 1
    sleep 0.1
  done
  cat "$work/xdo.err" >&2
  return 1
}

# converts_in_window HOW TEXTURES DIR COMMAND...: runs in DIR the command, which opens
# the window; selects there the first file of the folder TEXTURES and converts it.
converts_in_window() {
  local how=$1 textures=$2 folder=$3 window pid
  shift 3
  rm -f "$textures/a.tga"
  (cd "$folder" && exec "$@") >"$work/gui.log" 2>&1 &
  pids+=($!)
  window=$(xdo search --sync --onlyvisible --name '^Pellicar convertor$' | head -n1)
  [ -n "$window" ] || fail "$how: the window did not show: $(cat "$work/gui.log")"
  # Pixels from the window's layout: the first row of the file list, then the button. A
  # window mapped but not yet taking input misses the clicks, so they are given again;
  # a plain click on the row selects that row alone, so a second try selects the same.
  for _ in 1 2 3; do
    xdo mousemove --window "$window" 170 68 click 1
    xdo mousemove --window "$window" 144 292 click 1
    for _ in $(seq 60); do [ -s "$textures/a.tga" ] && break 2; sleep 0.05; done
  done
  [ -s "$textures/a.tga" ] || fail "$how: the window converted nothing in the folder: $(cat "$work/gui.log")"
  [ ! -e "$textures/b.tga" ] || fail "$how: the window converted an unselected file"
  pid=$(xdo getwindowpid "$window")
  kill "$pid"
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
}

converts_in_window "started in the folder" "$odd" "$odd" "${window_env[@]}" "$usr/bin/pellicar-gui"
if command -v gio >/dev/null; then
  converts_in_window "gio launch" "$odd" / "${window_env[@]}" PATH="$usr/bin:/usr/bin:/bin" \
    gio launch "$usr/share/applications/pellicar.desktop" "$odd/a.m32"
fi
if command -v update-mime >/dev/null && command -v run-mailcap >/dev/null; then
  # update-mime itself, told to read the installed tree's desktop entries alone.
  sed -e "s|^my \$appsdir.*|my \$appsdir = \"$usr/share/applications\";|" -e 's|^my \$mimedir.*|my $mimedir = "/none";|' \
    "$(command -v update-mime)" >"$work/update-mime"
  HOME=$work perl "$work/update-mime" --local
  grep -q '^image/x-m32; ' "$work/.mailcap" || fail "no mailcap line for image/x-m32"
  converts_in_window "run-mailcap" "$for_mailcap" / "${window_env[@]}" PATH="$usr/bin:/usr/bin:/bin" \
    MAILCAPS="$work/.mailcap" run-mailcap --action=view "image/x-m32:$for_mailcap/a.m32"
fi
[ ! -e "$work/pwned" ] && [ ! -e /pwned ] || fail "a folder's name ran as a command"
echo "installed tree works: pellicar, thumbnailer, plugin, and the window however it is opened"
