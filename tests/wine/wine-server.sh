#!/usr/bin/env bash
# The test run's wineserver: `start PREFIX` boots the prefix and keeps one server up for every
# test (a Wine start costs seconds otherwise); `stop PREFIX` ends it and all its programs.
# Wine's services inherit every descriptor of whoever boots the prefix, so they get none of
# CTest's: a service holding CTest's pipe would keep the run waiting forever.
set -uo pipefail
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$WINEPREFIX"
log=$WINEPREFIX/boot.log
case $action in
  start)
    wineserver -p </dev/null >>"$log" 2>&1
    if ! wineboot </dev/null >>"$log" 2>&1; then
      echo "wineboot failed; see $log" >&2
      exit 1
    fi
    echo "wineserver up for $WINEPREFIX"
    ;;
  stop)
    wineserver -k </dev/null >>"$log" 2>&1
    # Wait for it (bounded): the next run's start must not find it leaving.
    timeout 20 wineserver -w </dev/null >>"$log" 2>&1
    echo "wineserver stopped for $WINEPREFIX"
    ;;
  *)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
exit 0
