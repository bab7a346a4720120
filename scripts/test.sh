#!/usr/bin/env bash
# Builds and runs the whole test suite: the optimised build, then the debug build with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages cmake make g++ libgtest-dev iverilog

jobs=$(nproc 2>/dev/null || echo 2)
for preset in release debug; do
  echo "== $preset build and tests"
  cmake --preset "$preset" -DVH_BUILD_TESTS=ON >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >/dev/null
  ctest --preset "$preset" -j "$jobs"
done
