#!/usr/bin/env bash
# Sets up the machine, builds the engine and runs the whole test suite: the
# normal build first, then the same suite under AddressSanitizer+UBSan, and the
# threaded unit tests and the engine runs labelled tsan under ThreadSanitizer.
# ORV_SANITIZERS=0 skips the sanitizer runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)

run_suite() {
  local dir=$1 type=$2; shift 2
  echo "== ${type} build in ${dir}"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== ${type} tests"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@"
}

run_suite build/test RelWithDebInfo
if [ "${ORV_SANITIZERS:-1}" != "0" ]; then
  run_suite build/asan Asan
  # The packers' suites run the interpreter on one thread only: the
  # ThreadSanitizer pass covers the threaded modules and the engine runs.
  run_suite build/tsan Tsan -L 'unit|tsan' -E '^packers[.]'
fi
