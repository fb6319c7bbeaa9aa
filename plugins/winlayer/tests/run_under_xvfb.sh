#!/bin/sh
# Runs a test program on a private virtual X server; 77 (skipped) without Xvfb.
# Xvfb picks a free display itself (-displayfd), so tests started at the same time
# never share or race for one, and -noreset keeps it up between the test's connections.
command -v Xvfb >/dev/null 2>&1 || { echo "Xvfb missing: skipped"; exit 77; }
command -v import >/dev/null 2>&1 || { echo "ImageMagick import missing: skipped"; exit 77; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/xvfb.XXXXXX") || exit 1
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp -noreset 3>"$dir/display" 2>"$dir/log" &
server=$!
stop() { kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$dir"; }
tries=0
until [ -s "$dir/display" ]; do
  if ! kill -0 "$server" 2>/dev/null || [ $tries -ge 200 ]; then
    echo "Xvfb did not start:"; cat "$dir/log"; stop; exit 1
  fi
  tries=$((tries + 1))
  sleep 0.05
done
DISPLAY=:$(head -n 1 "$dir/display")
export DISPLAY
"$@"
status=$?
stop
exit $status
