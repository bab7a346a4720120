#!/usr/bin/env bash
# Builds and runs the whole test suite: the optimised build, the debug build with
# AddressSanitizer and UndefinedBehaviorSanitizer (both include the Icarus Verilog,
# Verilator and Yosys loads, the fuzz corpus replayed and the manual pages; the optimised
# one also the Debian package and the RPM), the portable build without the x86 fast paths,
# static aarch64 and big-endian s390x builds under qemu-user (unit tests, the in-process
# command-line tables and the fuzz corpus), every fuzz target for FUZZ_SECONDS seconds
# (default 30), then the Windows programs and zip under Wine against the Linux ones.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages cmake make g++ libgtest-dev googletest iverilog verilator yosys clang-14 \
  libclang-rt-14-dev man-db dpkg-dev file lintian rpm cpio acl util-linux \
  g++-aarch64-linux-gnu g++-s390x-linux-gnu qemu-user

jobs=$(nproc 2>/dev/null || echo 2)
for preset in release debug; do
  echo "== $preset build and tests"
  cmake --preset "$preset" -DVH_BUILD_TESTS=ON >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >/dev/null
  ctest --preset "$preset" -j "$jobs"
done

# The other machines and the portable paths build and run beside the fuzzing, which
# keeps one core busy. Under qemu-user the programs' real-process tests (signals,
# ulimit, other users) and the manual pages are left to the native builds.
other_machines() {
  echo "== portable build (no x86 fast paths) and tests"
  cmake --preset portable -DVH_BUILD_TESTS=ON >/dev/null
  cmake --build --preset portable -j 1 >/dev/null
  ctest --preset portable -j "$jobs" -E '^Packages$'
  local machine
  for machine in aarch64 s390x; do
    echo "== $machine build and tests under qemu-user"
    cmake --preset "$machine" >/dev/null
    cmake --build --preset "$machine" -j 1 >/dev/null
    ctest --preset "$machine" -j "$jobs" -E '^(WholeOutput|Pages/ManPage)\.'
  done
}
other_log=$(mktemp)
trap 'rm -f "$other_log"' EXIT
other_machines >"$other_log" 2>&1 &
other_pid=$!

echo "== fuzzing, ${FUZZ_SECONDS:-30} s a target"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs" >/dev/null
tests/fuzz/run.sh "${FUZZ_SECONDS:-30}"

other_status=0
wait "$other_pid" || other_status=$?
cat "$other_log"
if [ "$other_status" -ne 0 ]; then
  echo "the portable or another machine's suite failed" >&2
  exit 1
fi

echo "== Windows programs under Wine"
./scripts/windows_check.sh
