#!/usr/bin/env bash
# Opens the real Upgrade window offscreen on a 253-row gateway list and prints the process's
# resident memory before and after, and its peak (VmHWM); then the same with an empty list, so
# the list's own share shows.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
bench_build orbiphon-bench-memory
runtime=$(mktemp -d /tmp/orbiphon-bench-XXXXXX)
trap 'rm -rf "$runtime"' EXIT
for rows in 253 0; do
  echo "Upgrade window with a $rows-row list (offscreen, optimised build):"
  QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$runtime \
    "$build/bin/orbiphon-bench-memory" "$rows" 2>/dev/null | sed 's/^/  /'
done
