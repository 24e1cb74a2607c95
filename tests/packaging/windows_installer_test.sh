#!/bin/sh
# tests/packaging/windows_installer_test.sh SETUP.EXE VERSION RUNNER.EXE
# The installer and uninstaller under Wine (WINEPREFIX from the environment, a display
# for the window and xdotool to find it), used with /S as a script or an administrator
# would, and the quiet uninstall that Windows records as a package manager runs it: an
# upgrade or an uninstall while the window runs fails (the uninstall with exit code 2)
# and leaves the installation whole and working; installing into another folder leaves
# one installation; a clean uninstall succeeds only once it leaves nothing, in the
# registry and in %TEMP% too. Also what the installation holds: the programs, the shell
# DLL registered from where it lies, the readme, the licence, an uninstall entry with
# publisher, version and size, and a Start-menu entry that starts in the user's own folder.
# RUNNER.EXE is the tests' fake converter, which runs a command line as Windows does.
set -eu
setup=$1
version=$2
runner=$3
export WINEDLLOVERRIDES="winemenubuilder.exe=d"  # no menu entries on the machine running the tests
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pellicar'
first='C:\PellicarTestA'
second='C:\PellicarTestB'
files='pellicar-gui.exe Pellicar.exe pellicar-shell.dll README.txt LICENSE.txt uninstall.exe'
classes='HKLM\Software\Classes'
work=$(mktemp -d)
window=

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
unix() { winepath -u "$1" 2>/dev/null; }
# A value of the uninstall entry, empty when there is none.
entry() { wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"; }
# Runs a Windows program and prints its exit code.
status() { if wine "$@" >/dev/null 2>&1; then echo 0; else echo $?; fi; }
# Runs the quiet uninstall of the uninstall entry as a package manager would, and prints
# its exit code.
quiet_uninstall() {
  printf 'run %s\n' "$(entry QuietUninstallString)" >"$work/uninstall.txt"
  status "$runner" "$(winepath -w "$work/uninstall.txt")"
}
# Whether CONDITION... comes true within a minute, looked at every tenth of a second.
soon() {
  for _ in $(seq 600); do "$@" && return 0; sleep 0.1; done
  return 1
}
shows() { xdotool search --onlyvisible --name '^Pellicar convertor$' >/dev/null 2>&1; }
ended() { ! kill -0 "$1" 2>/dev/null || sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | grep -q '^Z'; }  # or not reaped
default() { wine reg query "$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p'; }
# The DLL Explorer loads for the thumbnails of files with extension $1, through its handler.
thumbnailer() {
  handler=$(default "$classes\\$1\\ShellEx\\{E357FCCD-A995-4576-B01F-234630154E96}")
  [ -z "$handler" ] || default "$classes\\CLSID\\$handler\\InprocServer32"
}
expect_whole() {
  for file in $files; do [ -f "$(unix "$1")/$file" ] || fail "$1\\$file is missing"; done
  [ "$(entry InstallLocation)" = "$1" ] || fail "the uninstall entry names '$(entry InstallLocation)', not $1"
  for extension in .m32 .m8; do
    [ "$(thumbnailer $extension)" = "$1\\pellicar-shell.dll" ] ||
      fail "$extension thumbnails come from '$(thumbnailer $extension)', not $1"
  done
  wine "$1\\Pellicar.exe" --version | tr -d '\r' | grep -qx "Pellicar.exe $version" || fail "$1\\Pellicar.exe does not run"
}
clean_up() {
  [ -z "$window" ] || kill "$window" 2>/dev/null || true
  for folder in "$first" "$second"; do rm -rf "$(unix "$folder")"; done
  wine reg delete "$key" /f >/dev/null 2>&1 || true
}
trap 'clean_up; rm -rf "$work"' EXIT
clean_up
wine reg export "$classes" "$work/before.reg" /y >/dev/null 2>&1 || fail "cannot export $classes"

[ "$(status "$setup" /S "/D=$first")" = 0 ] || fail "the first install failed"
expect_whole "$first"
[ "$(entry Publisher)" != "" ] || fail "the uninstall entry names no publisher"
[ "$(entry DisplayVersion)" = "$version" ] || fail "the uninstall entry gives version '$(entry DisplayVersion)'"
[ $(($(entry EstimatedSize))) -gt 100 ] || fail "the uninstall entry gives a size of '$(entry EstimatedSize)' KiB"
grep -q 'Permission is hereby granted' "$(unix "$first")/LICENSE.txt" || fail "LICENSE.txt holds no licence"
shortcut="$(unix 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs')/Pellicar convertor.lnk"
tr -d '\000' <"$shortcut" | grep -q '%USERPROFILE%' || fail "the Start-menu entry does not start in the user's folder"

temp=$(unix "$(wine cmd /c echo %TEMP% | tr -d '\r')")
in_temp=$(ls -A "$temp")

# The window runs: neither an upgrade nor an uninstall may touch the installation.
wine "$first\\pellicar-gui.exe" >/dev/null 2>&1 &
window=$!
soon shows || fail "the installed window did not show"
[ "$(status "$setup" /S "/D=$first")" != 0 ] || fail "an upgrade over the running window reported success"
expect_whole "$first"
[ "$(quiet_uninstall)" = 2 ] || fail "a quiet uninstall while the window runs did not fail with exit code 2"
expect_whole "$first"
# Closed as a person closes it, the window ends.
wine taskkill /im pellicar-gui.exe >/dev/null 2>&1 || fail "the window could not be asked to close"
soon ended "$window" || fail "the window did not end when it was closed"
window=

# Installed again elsewhere: the first installation goes.
[ "$(status "$setup" /S "/D=$second")" = 0 ] || fail "the install into a second folder failed"
expect_whole "$second"
[ ! -e "$(unix "$first")" ] || fail "the first installation is still there: $(ls "$(unix "$first")")"

[ "$(quiet_uninstall)" = 0 ] || fail "the quiet uninstall failed"
[ ! -e "$(unix "$second")" ] || fail "the uninstall left $(ls -A "$(unix "$second")")"
[ "$(ls -A "$temp")" = "$in_temp" ] || fail "the uninstalls left in %TEMP%: $(ls -A "$temp")"
[ "$(entry InstallLocation)" = "" ] || fail "the uninstall left its entry"
[ ! -e "$shortcut" ] || fail "the uninstall left the Start-menu entry"
wine reg export "$classes" "$work/after.reg" /y >/dev/null 2>&1 || fail "cannot export $classes"
iconv -f UTF-16LE "$work/before.reg" >"$work/before.txt"
iconv -f UTF-16LE "$work/after.reg" >"$work/after.txt"
diff "$work/before.txt" "$work/after.txt" >&2 || fail "the uninstall left the registry changed"
echo "the installer and the uninstaller behave"
