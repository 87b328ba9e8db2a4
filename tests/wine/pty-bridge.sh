#!/usr/bin/env bash
# The COM port pair for the serial tests under Wine: `start BRIDGE PREFIX` runs
# pelorin-pty-bridge in the background (COM40 the port under test, COM41 its far end, control
# files in PREFIX/pelorin-ports) and waits until the ports are linked; `stop PREFIX` ends it.
set -uo pipefail
action=$1
case $action in
  start) bridge=$2; export WINEPREFIX=$3 ;;
  stop) export WINEPREFIX=$2 ;;
  *) echo "usage: $0 start BRIDGE PREFIX | stop PREFIX" >&2; exit 2 ;;
esac
dir=$WINEPREFIX/pelorin-ports
pidfile=$WINEPREFIX/pelorin-ports.pid
stop_running() {
  if [ -f "$pidfile" ]; then
    pid=$(cat "$pidfile")
    kill "$pid" 2>/dev/null
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    rm -f "$pidfile"
  fi
}
stop_running
[ "$action" = stop ] && { echo "bridge stopped"; exit 0; }

mkdir -p "$WINEPREFIX/dosdevices"
rm -f "$dir/ready"
# No descriptor of CTest's goes with it: the run must not wait for the bridge to end.
nohup "$bridge" "$dir" com40 com41 </dev/null >"$WINEPREFIX/pelorin-ports.log" 2>&1 &
echo $! >"$pidfile"
for _ in $(seq 200); do
  [ -e "$dir/ready" ] && { echo "COM40 and COM41 linked"; exit 0; }
  sleep 0.05
done
echo "pelorin-pty-bridge did not start; see $WINEPREFIX/pelorin-ports.log" >&2
exit 1
