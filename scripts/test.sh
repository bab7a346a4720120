#!/usr/bin/env bash
# Builds and runs the whole test suite: the source format, the optimised build with the
# x86 fast paths and the debug build of the portable paths with AddressSanitizer and
# UndefinedBehaviorSanitizer (both include the Icarus Verilog, Verilator and Yosys loads,
# the fuzz corpus replayed and the manual pages; the optimised one also the Debian
# package and the RPM), static aarch64 and big-endian s390x builds under qemu-user (unit
# tests, the in-process command-line tables and the fuzz corpus), the writer's tests
# under ThreadSanitizer, every fuzz target for FUZZ_SECONDS seconds (default 15), and the
# Windows programs and zip under Wine against the Linux ones.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages cmake make g++ libgtest-dev googletest iverilog verilator yosys clang-14 \
  clang-format libclang-rt-14-dev man-db dpkg-dev file lintian rpm cpio acl util-linux \
  exfat-fuse exfatprogs binutils \
  g++-aarch64-linux-gnu g++-s390x-linux-gnu qemu-user

echo "== source format"
git ls-files '*.cpp' '*.hpp' | xargs clang-format --dry-run --Werror

jobs=$(nproc 2>/dev/null || echo 2)
start=$SECONDS
# ThreadSanitizer and the other machines build and run beside the rest, the system
# sharing the cores. Under ThreadSanitizer the tests that move data through the writer
# thread run; under qemu-user the programs' real-process tests (signals, ulimit, other
# users) and the manual pages are left to the native builds.
other_machines() {
  echo "== ThreadSanitizer build, unit and command-line tests"
  cmake --preset tsan -DVH_BUILD_TESTS=ON >/dev/null
  cmake --build --preset tsan -j "$jobs" --target unit_tests cli_tests >/dev/null
  ctest --preset tsan -j "$jobs" -L '^(unit|cli)$' -E '^(Property|Conversion|WholeOutput|Pages)'
  local machine
  for machine in aarch64 s390x; do
    echo "== $machine build and tests under qemu-user ($((SECONDS - start)) s in)"
    cmake --preset "$machine" >/dev/null
    cmake --build --preset "$machine" -j "$jobs" >/dev/null
    ctest --preset "$machine" -j "$jobs" -E '^(WholeOutput|Pages/ManPage)\.'
  done
}
other_log=$(mktemp)
trap 'rm -f "$other_log"' EXIT
other_machines >"$other_log" 2>&1 &
other_pid=$!

# The optimised build takes the x86 fast paths; the sanitizing debug build the portable
# paths that every other machine takes.
for preset in release debug; do
  echo "== $preset build and tests ($((SECONDS - start)) s in)"
  cmake --preset "$preset" -DVH_BUILD_TESTS=ON >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >/dev/null
  ctest --preset "$preset" -j "$jobs"
done

echo "== fuzzing, ${FUZZ_SECONDS:-15} s a target ($((SECONDS - start)) s in)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs" >/dev/null
tests/fuzz/run.sh "${FUZZ_SECONDS:-15}"

echo "== Windows programs under Wine ($((SECONDS - start)) s in)"
./scripts/windows_check.sh

other_status=0
wait "$other_pid" || other_status=$?
cat "$other_log"
if [ "$other_status" -ne 0 ]; then
  echo "the ThreadSanitizer or another machine's suite failed" >&2
  exit 1
fi

echo "== all passed in $((SECONDS - start)) s"
