#!/usr/bin/env bash
# Times `orbiphon-cli probe` against a simulated gateway that answers and one that is silent
# (its echo requests dropped), and the tool's bare start for comparison.
#   bench/probe.sh [RUNS]        RUNS per address, default 5 (a silent probe costs 1 s each)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
runs=${1:-5}

if [ "${BENCH_INSIDE:-}" != 1 ]; then
  bench_check_namespace
  bench_build orbiphon-cli orbiphon-probe
  work=$(mktemp -d /tmp/orbiphon-bench-XXXXXX)
  trap 'rm -rf "$work"' EXIT
  bench_cli_copy "$work/tool"
  BENCH_INSIDE=1 BENCH_WORK="$work" /usr/bin/python3 "$simulator" run --gateways 2 --silent 2 \
    -- "$0" "$runs" 2> >(grep -v '^simulator: ' >&2)
  exit
fi

cli=$BENCH_WORK/tool/orbiphon-cli
# Prints the median time of RUNS runs of the command, checking its exit status.
time_runs() {
  local expected=$1 times=() start status
  shift
  for _ in $(seq "$runs"); do
    start=$(bench_now)
    status=0
    "$@" >/dev/null || status=$?
    times+=("$(bench_since "$start")")
    if [ "$status" != "$expected" ]; then
      echo "probe: '$*' exited $status, not $expected" >&2
      exit 1
    fi
  done
  bench_median "${times[@]}"
}

start_only=$(time_runs 0 "$cli" --help)
present=$(time_runs 0 "$cli" probe 127.0.0.2)
silent=$(time_runs 1 "$cli" probe 127.0.0.3)
echo "presence probe, median of $runs runs of orbiphon-cli (process start included):"
printf '  tool start alone (--help)      %8.1f ms\n' "$(awk -v t="$start_only" 'BEGIN {print t * 1000}')"
printf '  present address (127.0.0.2)    %8.1f ms\n' "$(awk -v t="$present" 'BEGIN {print t * 1000}')"
printf '  silent address (127.0.0.3)     %8.1f ms\n' "$(awk -v t="$silent" 'BEGIN {print t * 1000}')"
