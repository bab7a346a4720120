#!/usr/bin/env bash
# Runs every fuzz target for the given number of seconds (default 30), starting from the
# seed corpus under tests/fuzz/corpus. New inputs go to a scratch folder; a crash leaves
# its input in build/fuzz/artifacts and fails the run.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-30}
build=build/fuzz
mkdir -p "$build/artifacts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

status=0
for corpus in tests/fuzz/corpus/*/; do  # a folder a target
  target=$(basename "$corpus")
  mkdir -p "$scratch/$target"
  log="$build/fuzz_$target.log"
  if "$build/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
      "$scratch/$target" "tests/fuzz/corpus/$target" >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -n 1 | grep -oE '[0-9]+' || echo '?')
    echo "fuzz_$target: ${runs} runs in ${seconds} s, coverage ${cov} edges, no failure"
  else
    echo "fuzz_$target: FAILED, see $log and $build/artifacts"
    tail -n 40 "$log"
    status=1
  fi
done
exit $status
