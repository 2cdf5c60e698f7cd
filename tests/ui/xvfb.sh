#!/bin/sh
# xvfb.sh start DIR: starts a virtual X server on a free display, writes the
# display number to DIR/display and the server's process id to DIR/xvfb.pid.
# xvfb.sh stop DIR: stops that process (by its id only).
set -eu
dir=$2
case $1 in
start)
  mkdir -p "$dir"
  rm -f "$dir/display" "$dir/xvfb.pid"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/xvfb.pid"
  i=0
  while [ ! -s "$dir/display" ]; do
    i=$((i + 1))
    if [ $i -gt 100 ]; then echo "Xvfb did not start" >&2; cat "$dir/xvfb.log" >&2; exit 1; fi
    sleep 0.1
  done
  echo "Xvfb on :$(cat "$dir/display") (process $(cat "$dir/xvfb.pid"))"
  ;;
stop)
  if [ -s "$dir/xvfb.pid" ]; then
    pid=$(cat "$dir/xvfb.pid")
    kill "$pid" 2>/dev/null || true
    rm -f "$dir/xvfb.pid"
  fi
  ;;
esac
