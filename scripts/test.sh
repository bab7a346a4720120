#!/usr/bin/env bash
# Builds and runs the whole test suite: the optimised build, the debug build with
# AddressSanitizer and UndefinedBehaviorSanitizer (both include the Icarus Verilog and
# Verilator loads, the fuzz corpus replayed and the manual pages; the optimised one also
# the Debian package and the RPM), every fuzz target for FUZZ_SECONDS seconds (default
# 30), then the Windows programs and zip under Wine against the Linux ones.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages cmake make g++ libgtest-dev iverilog verilator clang-14 libclang-rt-14-dev man-db \
  dpkg-dev file lintian rpm cpio acl util-linux

jobs=$(nproc 2>/dev/null || echo 2)
for preset in release debug; do
  echo "== $preset build and tests"
  cmake --preset "$preset" -DVH_BUILD_TESTS=ON >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >/dev/null
  ctest --preset "$preset" -j "$jobs"
done

echo "== fuzzing, ${FUZZ_SECONDS:-30} s a target"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs" >/dev/null
tests/fuzz/run.sh "${FUZZ_SECONDS:-30}"

echo "== Windows programs under Wine"
./scripts/windows_check.sh
