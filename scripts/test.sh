#!/usr/bin/env bash
# Builds and runs the whole test suite: the source format, the optimised build with the
# x86 fast paths and the debug build of the portable paths with AddressSanitizer and
# UndefinedBehaviorSanitizer (both include the Icarus Verilog, Verilator and Yosys loads,
# the fuzz corpus replayed and the manual pages; the optimised one also the Debian
# package and the RPM), static aarch64 and big-endian s390x builds under qemu-user (unit
# tests, the in-process command-line tables and the fuzz corpus), the writer's tests
# under ThreadSanitizer, every fuzz target for FUZZ_SECONDS seconds (default 15), and the
# Windows programs and zip under Wine against the Linux ones.
#
# Every part runs whatever became of the parts before it; each says when it starts, the
# builds show their progress, and the run ends with one line a part (passed, or failed
# and how) and fails where any part failed. The background part's log is kept in
# build/test-logs/ and shown in full.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

start=$SECONDS
jobs=$(nproc 2>/dev/null || echo 2)
logs=build/test-logs
mkdir -p "$logs"
summary=()
failed=0

# Prints a part's name, the time of day and the seconds since the start.
announce() {
  echo "== $1 ($(date +%H:%M:%S), $((SECONDS - start)) s in)"
}
# Runs a part, a command, and keeps its outcome for the summary; a failed part's log is
# kept so that the end can say why.
failed_logs=()
part() {  # name command...
  local name=$1
  shift
  announce "$name"
  local part_log="$logs/part-${#summary[@]}.txt"
  local status=0
  "$@" 2>&1 | tee "$part_log" || status=${PIPESTATUS[0]}
  if [ "$status" -eq 0 ]; then
    summary+=("passed: $name")
  else
    summary+=("FAILED: $name (status $status)")
    failed_logs+=("$part_log")
    failed=1
  fi
}
# The lines of a log that tell why a part failed, so that they show at the very end,
# where a log cut to its last lines still has them.
why() {  # log
  echo "== why, from $1"
  grep -aiE 'error|fail|timeout|timed out|sanitizer|abort' "$1" | grep -avE 'passed|Werror' | tail -n 25
}
# A build that shows its progress: every line the build prints, the configuration's
# chatter left out.
build() {  # preset [cmake options...]
  local preset=$1
  shift
  cmake --preset "$preset" "$@" >"$logs/configure-$preset.txt" 2>&1 ||
    { cat "$logs/configure-$preset.txt"; return 1; }
  cmake --build --preset "$preset" -j "$jobs"
}
build_and_test() {  # preset
  build "$1" -DVH_BUILD_TESTS=ON && ctest --preset "$1" -j "$jobs"
}

# ThreadSanitizer and the other machines build and run beside the rest, the system
# sharing the cores. Under ThreadSanitizer the tests that move data through the writer
# thread run; under qemu-user the programs' real-process tests (signals, ulimit, other
# users) and the manual pages are left to the native builds. Each step's outcome is the
# log's last lines.
other_machines() {
  local status=0
  echo "== ThreadSanitizer build, unit and command-line tests ($(date +%H:%M:%S))"
  if cmake --preset tsan -DVH_BUILD_TESTS=ON >/dev/null &&
    cmake --build --preset tsan -j "$jobs" --target unit_tests cli_tests &&
    ctest --preset tsan -j "$jobs" -L '^(unit|cli)$' -E '^(Property|Conversion|WholeOutput|Pages)'; then
    echo "-- passed: ThreadSanitizer"
  else
    echo "-- FAILED: ThreadSanitizer"
    status=1
  fi
  local machine
  for machine in aarch64 s390x; do
    echo "== $machine build and tests under qemu-user ($(date +%H:%M:%S))"
    if build "$machine" && ctest --preset "$machine" -j "$jobs" -E '^(WholeOutput|Pages/ManPage)\.'; then
      echo "-- passed: $machine"
    else
      echo "-- FAILED: $machine"
      status=1
    fi
  done
  return "$status"
}

announce "packages"
if ! ensure_packages cmake make g++ libgtest-dev googletest iverilog verilator yosys clang-14 \
  clang-format libclang-rt-14-dev man-db dpkg-dev file lintian rpm cpio acl util-linux \
  exfat-fuse exfatprogs binutils srecord \
  g++-aarch64-linux-gnu g++-s390x-linux-gnu qemu-user; then
  echo "the packages the tests need could not be installed" >&2
  exit 1
fi

part "source format" bash -c "git ls-files '*.cpp' '*.hpp' | xargs clang-format --dry-run --Werror"

other_log="$logs/other-machines.txt"
announce "ThreadSanitizer, aarch64 and s390x in the background, logged to $other_log"
other_machines >"$other_log" 2>&1 &
other_pid=$!

# The optimised build takes the x86 fast paths; the sanitizing debug build the portable
# paths that every other machine takes.
part "release build and tests" build_and_test release
part "debug build and tests (sanitizers, portable paths)" build_and_test debug
part "fuzzing, ${FUZZ_SECONDS:-15} s a target" bash -c \
  "cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j $jobs && tests/fuzz/run.sh ${FUZZ_SECONDS:-15}"
part "Windows programs under Wine" ./scripts/windows_check.sh

announce "waiting for the background part"
other_status=0
wait "$other_pid" || other_status=$?
echo "---- $other_log"
cat "$other_log"
echo "----"
while IFS= read -r line; do summary+=("${line#-- }"); done < <(grep -E '^-- (passed|FAILED): ' "$other_log")
if [ "$other_status" -ne 0 ]; then
  failed=1
  grep -q '^-- FAILED' "$other_log" || summary+=("FAILED: background part (status $other_status)")
  failed_logs+=("$other_log")
fi

echo "== summary ($((SECONDS - start)) s)"
printf '%s\n' "${summary[@]}"
if [ "$failed" -ne 0 ]; then
  for log in "${failed_logs[@]}"; do why "$log"; done
  echo "== some parts failed"
  exit 1
fi
echo "== all passed in $((SECONDS - start)) s"
