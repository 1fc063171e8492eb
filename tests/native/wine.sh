#!/bin/sh
# The throwaway wine prefix of the native tests, under build/wine.
#   wine.sh init       creates the prefix afresh and starts a persistent wineserver for the batch
#   wine.sh stop       ends that wineserver
#   wine.sh run ARGS   runs a Windows program in the prefix (exit code passes through)
# Drive T: points at the native build folder, so test programs run from T:\tests\...
set -eu
here=$(cd "$(dirname "$0")" && pwd)
repo=${KLN_REPO:-$here/../..}
build=${KLN_NATIVE_BUILD:-$repo/build/native}
root=${KLN_WINE_ROOT:-$repo/build/wine}

export HOME="$root/home" WINEPREFIX="$root/prefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
unset DISPLAY WAYLAND_DISPLAY

case "${1:-}" in
init)
  [ -d "$WINEPREFIX" ] && { wineserver -k 2>/dev/null || true; }
  rm -rf "$root"
  mkdir -p "$HOME"
  wineboot -i >/dev/null 2>&1
  # The user folders (Desktop, Documents, ...) start as links into $HOME: make them real folders,
  # so that shortcuts stay inside the prefix.
  for l in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$l" ]; then rm "$l" && mkdir "$l"; fi
  done
  ln -sfn "$build" "$WINEPREFIX/dosdevices/t:"
  wineserver -w </dev/null >/dev/null 2>&1
  wineserver -p </dev/null >/dev/null 2>&1
  # Relay tracing of MessageBoxW and RegSetValueExW alone: the tests read each message (text, caption,
  # style, answer) and each registry write (name, type, size, order) from it.
  wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d 'user32.MessageBoxW;advapi32.RegSetValueExW' /f >/dev/null 2>&1
  wine cmd /c exit 0 </dev/null >/dev/null 2>&1
  echo "wine prefix ready: $WINEPREFIX"
  ;;
stop)
  wineserver -k 2>/dev/null || true
  ;;
run)
  shift
  exec wine "$@"
  ;;
*)
  echo "usage: wine.sh init|stop|run PROGRAM [ARGS]" >&2
  exit 2
  ;;
esac
