#!/usr/bin/env bash
# The benchmark command: sets up the machine, builds a release engine and the
# SDL-only limit program if needed, runs every benchmark headless and prints
# the table. Figures go to build/bench-results/ as CSV plus frame_time.png.
#   bash bench/run.sh            the default run (about 12 minutes on 2 cores)
#   bash bench/run.sh --quick    two sprite counts, one variant, short runs
#   bash bench/run.sh --only sprites pacing
#   bash bench/run.sh --soak [MINUTES]   10,000 sprites for 10 minutes: memory growth
# ORV_BENCH_BUILD picks the build folder (default build/release),
# ORV_BENCH_OUT the results folder. Not part of the test suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh
build=${ORV_BENCH_BUILD:-build/release}
out=${ORV_BENCH_OUT:-build/bench-results}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target orvane bench_limit >/dev/null

exe=$build/engine/process/orvane
[ -x "$exe" ] || exe=$build/orvane
exec python3 bench/bench.py --exe "$exe" --limit "$build/bench/limit/bench_limit" \
  --data engine/data --out "$out" "$@"
