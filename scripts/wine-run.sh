#!/usr/bin/env bash
# Runs a Windows program under Wine, for CTest (the build's cross-compiling emulator) and the
# scripts: in a private prefix (--prefix DIR; PELORIN_WINEPREFIX overrides it), with Wine's
# debug output off. If no wineserver runs for the prefix, one is started that lingers a minute,
# and the prefix is booted with every descriptor pointed away from the caller: Wine's services
# would otherwise hold the caller's pipes open after the program ends.
set -euo pipefail
if [ "${1:-}" = --prefix ]; then
  WINEPREFIX=$2
  shift 2
fi
WINEPREFIX=${PELORIN_WINEPREFIX:-${WINEPREFIX:-${TMPDIR:-/tmp}/pelorin-wine-$(id -u)}}
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer prompts in a fresh prefix.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$WINEPREFIX"
if wineserver -p60 </dev/null >/dev/null 2>&1; then
  wineboot </dev/null >>"$WINEPREFIX/boot.log" 2>&1 || true
fi
for w in /usr/lib/wine/wine64 wine64 wine; do
  if command -v "$w" >/dev/null 2>&1; then exec "$w" "$@"; fi
done
echo "wine-run.sh: no Wine found (install wine and wine64)" >&2
exit 127
