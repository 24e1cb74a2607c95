#!/bin/sh
# validate_desktop_files.sh RESOURCES_DIR DESKTOP_ENTRY
# The desktop entry, the AppStream metadata and the MIME type, each checked by its own
# validator where that is installed; exits 77 (skipped) when none is.
set -eu
resources=$1
desktopEntry=$2  # configured from resources/pellicar.desktop.in
checked=0
work=$(mktemp -d "${TMPDIR:-/tmp}/pellicar-validate-XXXXXX")
trap 'rm -rf "$work"' EXIT

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktopEntry"
  checked=$((checked + 1))
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic "$(dirname "$desktopEntry")/org.example.pellicar.metainfo.xml"
  checked=$((checked + 1))
fi
if command -v update-mime-database >/dev/null; then
  # A database of our type alone: any warning about the file fails, and the type must
  # come out with its glob and its comment.
  mkdir -p "$work/mime/packages"
  cp "$resources/pellicar.mime.xml" "$work/mime/packages/pellicar.xml"
  XDG_DATA_DIRS=$work update-mime-database "$work/mime" 2>"$work/mime.log"
  if [ -s "$work/mime.log" ]; then cat "$work/mime.log" >&2; exit 1; fi
  # weight:type:glob with no ":cs" after it: matched in any case.
  for type in 'm32:SOF m32 texture' 'm8:Heretic II m8 texture'; do
    suffix=${type%%:*}
    grep -q "^[0-9]*:image/x-$suffix:\\*\\.$suffix\$" "$work/mime/globs2" || { echo "no any-case *.$suffix glob for image/x-$suffix" >&2; exit 1; }
    grep -q "<comment>${type#*:}</comment>" "$work/mime/image/x-$suffix.xml" || { echo "no comment for $suffix" >&2; exit 1; }
  done
  checked=$((checked + 1))
fi
[ "$checked" -gt 0 ] || { echo "SKIP: no validator installed"; exit 77; }
echo "$checked of 3 validated"
