#!/bin/sh
# Runs a test program on a private virtual X server; 77 (skipped) without Xvfb.
command -v xvfb-run >/dev/null 2>&1 || { echo "xvfb-run missing: skipped"; exit 77; }
command -v import >/dev/null 2>&1 || { echo "ImageMagick import missing: skipped"; exit 77; }
exec xvfb-run -a -s "-screen 0 640x480x24" "$@"
