#!/usr/bin/env bash
# Runs a Windows program that opens windows under Wine, on an X display of its own (Xvfb) and in
# a Wine prefix of its own whose X11 driver is unmanaged: without a window manager, managed
# windows wait about 2 s at every end. Usage: window-test.sh PREFIX PROGRAM [ARGUMENTS...]
# The program's exit status is the verdict. A PROGRAM ending in .sh is a script that starts
# Windows programs itself with "$PELORIN_WINE" (the display and prefix are set for it).
set -uo pipefail
prefix=$(realpath -m "$1")
shift
export WINEPREFIX=$prefix
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$prefix"

wine=
for w in /usr/lib/wine/wine64 wine64 wine; do
  if command -v "$w" >/dev/null 2>&1; then wine=$w; break; fi
done
if [ -z "$wine" ] || ! command -v Xvfb >/dev/null 2>&1; then
  echo "window-test.sh: needs wine and Xvfb" >&2
  exit 77
fi

displayfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" 2>/dev/null &
xvfb=$!
cleanup() {
  wineserver -k </dev/null >/dev/null 2>&1
  timeout 20 wineserver -w </dev/null >/dev/null 2>&1
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  rm -f "$displayfile"
}
trap cleanup EXIT
for _ in $(seq 100); do
  [ -s "$displayfile" ] && break
  sleep 0.1
done
if ! [ -s "$displayfile" ]; then
  echo "window-test.sh: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=:$(head -n1 "$displayfile")

# The prefix is made once; Wine's services get none of the caller's descriptors.
if ! [ -e "$prefix/.pelorin-window-prefix" ]; then
  if wineboot -i </dev/null >>"$prefix/boot.log" 2>&1 &&
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null \
      >>"$prefix/boot.log" 2>&1; then
    touch "$prefix/.pelorin-window-prefix"
  else
    echo "window-test.sh: cannot prepare the Wine prefix; see $prefix/boot.log" >&2
    exit 1
  fi
else
  wineboot </dev/null >>"$prefix/boot.log" 2>&1
fi

# Wine's own fonts ("MS Sans Serif", and Marlett for the caption buttons): this Wine looks for
# them in the prefix's Fonts folder only, so they are linked there from Debian's fonts-wine.
fonts=$prefix/drive_c/windows/Fonts
if [ -d /usr/share/wine/fonts ] && [ -d "$fonts" ]; then
  for f in /usr/share/wine/fonts/*; do
    [ -e "$fonts/${f##*/}" ] || ln -s "$f" "$fonts/"
  done
fi

export PELORIN_WINE=$wine
case $1 in
  *.sh) bash "$@" ;;
  *) "$wine" "$@" ;;
esac
