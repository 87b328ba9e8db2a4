#!/bin/sh
# The window's word to the desktop on a private session bus: the real program under Xvfb, with
# a simulated board, presses Download; once it runs another window takes the focus. dbus-monitor
# must see launcher-entry updates with rising progress for pelorin.desktop, the entry cleared
# at the end, and one notification saying "Mission completed".
# Usage: desktop_bus.sh PELORIN FOCUS_TAKER
set -eu
# The X11 and session bus libraries are not built with the thread sanitizer and lock with their
# own wrappers: under it their reports would drown the test. Our threads are tested elsewhere.
[ "${PELORIN_THREAD_SANITIZER:-0}" = 1 ] && { echo "not under the thread sanitizer"; exit 77; }
for tool in xvfb-run dbus-run-session dbus-monitor; do
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool is not installed"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-bus-XXXXXX")
trap 'rm -rf "$work"' EXIT
# At the board's real line speed the operation lasts seconds: time for the focus to move.
head -c 60000 /dev/urandom >"$work/image.bin"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work"
mkdir -m 700 "$work/runtime"
unset QT_QPA_PLATFORM
export PROGRAM="$1" TAKER="$2" WORK="$work"
cat >"$work/session.sh" <<'INNER'
set -u
dbus-monitor --session "type=signal,interface=com.canonical.Unity.LauncherEntry" \
  "type=method_call,interface=org.freedesktop.Notifications" >"$WORK/bus" 2>&1 &
monitor=$!
# The monitor listens once it has said so; the focus moves once the operation runs.
wait_for() {
  tries=0
  until grep -q "$1" "$WORK/bus" 2>/dev/null || [ $tries -ge 300 ]; do
    sleep 0.1
    tries=$((tries + 1))
  done
}
wait_for NameAcquired
"$PROGRAM" --simulate --pace realtime --press download --file "$WORK/image.bin" \
  --section All >"$WORK/out" 2>"$WORK/err" &
program=$!
wait_for launcherentry
"$TAKER" &
taker=$!
status=0
wait $program || status=$?
kill $taker
sleep 0.5
kill $monitor
exit $status
INNER
status=0
dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24" sh "$work/session.sh" || status=$?
if [ "$status" -ne 0 ]; then
  echo "pelorin ended with status $status; its output:" >&2
  cat "$work/out" "$work/err" >&2
  exit 1
fi
fail=0
grep -q 'string "application://pelorin.desktop"' "$work/bus" || { echo "no launcher-entry update"; fail=1; }
# The progress sent while the entry shows it rises; the last update clears the entry.
grep -A1 'string "progress"' "$work/bus" | sed -n 's/.*double \([0-9.]*\).*/\1/p' | sed '$d' \
  >"$work/progress"
echo "progress sent: $(tr '\n' ' ' <"$work/progress")"
sort -n -c "$work/progress" 2>/dev/null || { echo "progress does not rise"; fail=1; }
[ "$(wc -l <"$work/progress")" -ge 3 ] || { echo "too few progress updates"; fail=1; }
grep -A1 'string "progress-visible"' "$work/bus" | tail -1 | grep -q 'boolean false' ||
  { echo "the entry is not cleared at the end"; fail=1; }
notes=$(grep -c 'member=Notify' "$work/bus" || true)
[ "$notes" -eq 1 ] || { echo "$notes notifications instead of one"; fail=1; }
grep -q 'string "Mission completed"' "$work/bus" || { echo "no \"Mission completed\""; fail=1; }
[ $fail -eq 0 ] || { cat "$work/bus" >&2; exit 1; }
echo "one notification: Mission completed"
