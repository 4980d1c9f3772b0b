#!/usr/bin/env bash
# Fuzzes the .cpe and .obl readers for a bounded time each.
#   tests/fuzz/run-fuzzers.sh SECONDS
# Builds build/fuzz with clang and libFuzzer, runs each target for SECONDS with a memory
# ceiling (so an unbounded allocation counts as a failure), prints how many inputs each ran, and
# exits non-zero when any target found a crash, a leak, a hang or an allocation over the limit.
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${1:-20}
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: $0 SECONDS" >&2
  exit 2
fi

# The build settings are the "fuzz" preset of CMakePresets.json.
build=build/fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2 >/dev/null

failed=0
for target in addressbook gatewaylist; do
  work="$build/corpus/$target"
  artifacts="$build/artifacts/$target/"
  log="$build/fuzz_${target}_read.log"
  mkdir -p "$work" "$artifacts"
  status=0
  # New inputs go to the work folder; the committed seeds stay as they are.
  "$build/bin/fuzz_${target}_read" "$work" "tests/fuzz/corpus/$target" \
      -max_total_time="$seconds" -rss_limit_mb=512 -malloc_limit_mb=64 -timeout=10 \
      -max_len=20000 -print_final_stats=1 -artifact_prefix="$artifacts" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ "$status" -eq 0 ]; then
    echo "fuzz_${target}_read: ${runs:-0} executions in ${seconds} s, no failure"
  else
    failed=1
    echo "fuzz_${target}_read: FAILED (exit $status) after ${runs:-?} executions; log: $log" >&2
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" >&2 || tail -n 20 "$log" >&2
  fi
done
exit "$failed"
