#!/usr/bin/env bash
# Builds the browser version (build-web/www) and serves it on localhost.
#   scripts/web.sh [--build-only] [--port N]
set -euo pipefail
cd "$(dirname "$0")/.."
serve=1 port=${TESSIVOX_WEB_PORT:-8031}
while [ $# -gt 0 ]; do
  case "$1" in
    --build-only) serve=0 ;;
    --port) port=$2; shift ;;
    *) echo "usage: $0 [--build-only] [--port N]" >&2; exit 2 ;;
  esac
  shift
done
command -v emcmake >/dev/null || { echo "emscripten is missing: sudo apt-get install emscripten" >&2; exit 1; }
[ -f build-web/CMakeCache.txt ] || emcmake cmake -S web -B build-web >/dev/null
cmake --build build-web
[ "$serve" = 1 ] || exit 0
echo "Tessivox: http://127.0.0.1:$port/ (Ctrl+C stops the server)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build-web/www
