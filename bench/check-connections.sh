#!/usr/bin/env bash
# Times `orbiphon-cli check` (Check connections) over 50 simulated gateways that answer, and
# over 5 silent ones.
#   bench/check-connections.sh [RUNS]     RUNS over the 50, default 3; the silent list runs once
set -euo pipefail
. "$(dirname "$0")/lib.sh"
runs=${1:-3}

if [ "${BENCH_INSIDE:-}" = "" ]; then
  bench_check_namespace
  bench_build orbiphon-cli orbiphon-probe
  work=$(mktemp -d /tmp/orbiphon-bench-XXXXXX)
  trap 'rm -rf "$work"' EXIT
  bench_cli_copy "$work/tool"
  present=$(BENCH_INSIDE=present BENCH_WORK="$work" /usr/bin/python3 "$simulator" run \
    --gateways 50 -- "$0" "$runs" 2>/dev/null)
  silent=$(BENCH_INSIDE=silent BENCH_WORK="$work" /usr/bin/python3 "$simulator" run \
    --gateways 5 --silent 1 --silent 2 --silent 3 --silent 4 --silent 5 -- "$0" 1 2>/dev/null)
  echo "Check connections (orbiphon-cli check):"
  printf '  50 gateways that answer, median of %d runs  %8.1f ms\n' "$runs" \
    "$(awk -v t="$present" 'BEGIN {print t * 1000}')"
  printf '  5 silent gateways                           %8.1f ms\n' \
    "$(awk -v t="$silent" 'BEGIN {print t * 1000}')"
  exit
fi

# Inside the simulator's network namespace: print the median time of RUNS checks.
expected=0
[ "$BENCH_INSIDE" = silent ] && expected=1
times=()
for _ in $(seq "$runs"); do
  start=$(bench_now)
  status=0
  lines=$("$BENCH_WORK/tool/orbiphon-cli" check "$ORBIPHON_SIM_LIST") || status=$?
  times+=("$(bench_since "$start")")
  if [ "$status" != "$expected" ]; then
    echo "check-connections: check exited $status, not $expected" >&2
    exit 1
  fi
  word=Reachable
  [ "$BENCH_INSIDE" = silent ] && word=NotReachable
  if [ "$(grep -c " $word\$" <<<"$lines")" != "$(grep -c . <<<"$lines")" ]; then
    echo "check-connections: unexpected result:" >&2
    echo "$lines" >&2
    exit 1
  fi
done
bench_median "${times[@]}"
