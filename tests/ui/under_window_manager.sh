#!/usr/bin/env bash
# under_window_manager.sh WM COMMAND...: runs COMMAND on an X server of its own
# (Xvfb chooses a free display number itself, so parallel runs never meet)
# under the window manager WM, with a settings folder of its own.
set -euo pipefail
wm=$1
shift
work=$(mktemp -d)
xpid=
wmpid=
cleanup() {
  local status=$?
  set +e
  [ -n "$wmpid" ] && kill "$wmpid" 2>/dev/null
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xpid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
DISPLAY=":$(cat "$work/display")"
export DISPLAY
export HOME="$work" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb
"$wm" >"$work/wm.log" 2>&1 &
wmpid=$!
# The window manager is running once it has announced itself on the root window.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.05
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || { echo "$wm did not start:" >&2; cat "$work/wm.log" >&2; exit 1; }
"$@"
