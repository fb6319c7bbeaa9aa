#!/usr/bin/env bash
# Serves the demo gateway: lighttpd on 127.0.0.1 runs the CGI program over a copy of the
# demo archive (built on the first start), and a small static page logs on to it. On a
# fresh Debian 12 machine as root it first installs what is missing and builds (build/).
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
# The CGI program with its message libraries and conversion tables, and the archive
# builder; nothing when up to date. The first build compiles for about ten minutes: say so,
# and let each line show how far it is (per cent, steps done of all, seconds so far).
if [ ! -x "$dir/bin/qelwww" ] || [ ! -x "$dir/bin/qelarcbuild" ]; then
  echo "Building the gateway in $dir/ on $(nproc) cores: the first build takes about ten minutes." >&2
fi
NINJA_STATUS="[%p %f/%t %es] " cmake --build "$dir" -j "$(nproc)" --target qelwww qelarcbuild

# The demo archive, built once from the generated description (docs/archive-builder.md);
# made again when the generator changed since (the checksum of its scripts lies beside it).
archive="$dir/demo-archive"
stamp=$(cat tools/demo_archive.py tools/demo_documents.py tools/demo_formats.py | sha256sum | cut -d' ' -f1)
if [ -d "$archive" ] && [ "$(cat "$archive.stamp" 2>/dev/null)" != "$stamp" ]; then
  echo "the demo archive was made by an older generator: making it again" >&2
  rm -rf "$archive" "$dir/demo-archive-source"
fi
if [ ! -d "$archive" ]; then
  python3 tools/demo_archive.py --out "$dir/demo-archive-source"
  "$dir/bin/qelarcbuild" "$dir/demo-archive-source/demo.json" "$archive"
  echo "$stamp" > "$archive.stamp"
fi

exec python3 www/tools/qelwww_site.py --build "$dir" --port "$port" --archive "$archive"
