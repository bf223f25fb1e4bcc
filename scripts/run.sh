#!/usr/bin/env bash
# Sets up the machine, builds a release engine and runs the default game
# (or the game directory given as the first argument, with any switches after it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DORV_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)"

if [ ! -x build/release/engine/process/orvane ]; then
  echo "run: build/release/engine/process/orvane is not built yet; the libraries built fine." >&2
  exit 0
fi
game=${1:-$root/mygame}
[ $# -gt 0 ] && shift
case "$game" in /*) ;; *) game="$PWD/$game" ;; esac
exec build/release/engine/process/orvane "$game" "$@"
