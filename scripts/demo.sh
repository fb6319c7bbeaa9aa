#!/usr/bin/env bash
# Serves the demo gateway: lighttpd on 127.0.0.1 runs the CGI program over a copy of the
# sample archive, and a small static page logs on to it. On a fresh Debian 12 machine as
# root it first installs what is missing and builds (into build/, as scripts/test.sh).
#   scripts/demo.sh [--port N]     (default 8080; Ctrl-C stops the server)
set -euo pipefail
cd "$(dirname "$0")/.."

port=8080
while [ $# -gt 0 ]; do
  case "$1" in
    --port) [ $# -ge 2 ] || { echo "--port needs a number" >&2; exit 2; }; port="$2"; shift 2 ;;
    --port=*) port="${1#--port=}"; shift ;;
    -h|--help) sed -n '2,5p' "$0"; exit 0 ;;
    *) echo "unknown argument: $1 (try --help)" >&2; exit 2 ;;
  esac
done
case "$port" in
  ''|*[!0-9]*) echo "the port must be a number: $port" >&2; exit 2 ;;
esac

scripts/install-deps.sh

dir=build
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEL_WERROR=ON
fi
# The CGI program with its message libraries and conversion tables; nothing when up to date.
cmake --build "$dir" -j "$(nproc)" --target qelwww

exec python3 www/tools/qelwww_site.py --build "$dir" --port "$port"
