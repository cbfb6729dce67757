#!/bin/bash
# Runs a command on the X display xvfb-run gave, under openbox as a desktop's
# window manager would ("wm"), or with no window manager at all ("nowm").
# usage: on_x.sh wm|nowm COMMAND...
mode=$1
shift
if [ "$mode" = wm ]; then
  openbox --sm-disable >/dev/null 2>&1 &
  wm=$!
  for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
  done
fi
"$@"
status=$?
[ -n "${wm:-}" ] && kill "$wm"
exit $status
