#!/usr/bin/env bash
# Opens a document of the running demo (scripts/demo.sh) in qelview, the browser of the
# viewer plug-ins: AFP and TIFF, which Chromium and Firefox do not show. It logs on, names
# the document of folder Documents by its title and shows it in a window (on X11; without a
# display qelview runs headless and writes its log to standard output).
#   scripts/demo-view.sh "Shipping letter"            (AFP)
#   scripts/demo-view.sh "Scanned delivery note"      (TIFF)
#   scripts/demo-view.sh [--port N] [--user U --password P] TITLE
set -euo pipefail
cd "$(dirname "$0")/.."

port=8080
user=ALICE
password=wonder1
while [ $# -gt 1 ]; do
  case "$1" in
    --port) port="$2"; shift 2 ;;
    --user) user="$2"; shift 2 ;;
    --password) password="$2"; shift 2 ;;
    *) break ;;
  esac
done
if [ $# -ne 1 ] || [ "${1#-}" != "$1" ]; then
  sed -n '2,8p' "$0" >&2
  exit 2
fi
case "$port" in
  ''|*[!0-9]*) echo "the port must be a number: $port" >&2; exit 2 ;;
esac

dir=build
# qelview and its two plug-ins; nothing when up to date.
NINJA_STATUS="[%p %f/%t %es] " cmake --build "$dir" -j "$(nproc)" --target qelview npkafp32 npkzyp32 >&2

gateway="http://127.0.0.1:$port/cgi-bin/qelwww"
cookies=$(mktemp)
trap 'rm -f "$cookies"' EXIT
reply=$(curl -sS -c "$cookies" --data-urlencode "_function=logon" --data-urlencode "_server=DEMO" \
             --data-urlencode "_user=$user" --data-urlencode "_password=$password" \
             --data-urlencode "_nohtml=1" "$gateway") || {
  echo "no demo answers on port $port: start it with scripts/demo.sh" >&2; exit 1; }
case "$reply" in
  "[ERROR]"*) echo "the logon failed: ${reply#*MSG=}" >&2; exit 1 ;;
esac
title=$(python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1]))' "$1")
"$dir/bin/qelview" --cookies "$cookies" "$gateway?_a=r&_f=Documents&Title=$title"
