#!/usr/bin/env bash
# Reads a damaged gateway list with `orbiphon-cli list show`: 3,000,000 records of three empty
# strings (9 MB) under a count of 2,147,483,647. Prints the tool's peak resident memory for it
# and for an empty list, and the growth as a multiple of the file's size (the reader's bound is
# 40 times the file plus a constant).
set -euo pipefail
. "$(dirname "$0")/lib.sh"
bench_build orbiphon-cli
work=$(mktemp -d /tmp/orbiphon-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
records=3000000
{ printf '\x09OBL101002\xff\xff\xff\x7f'; head -c $((records * 3)) /dev/zero; } >"$work/damaged.obl"
printf '\x09OBL101002\x00\x00\x00\x00' >"$work/empty.obl"
peak_kb() {
  { /usr/bin/time -f %M "$build/bin/orbiphon-cli" list show "$1" 2>&1 >/dev/null || true; } | tail -1
}
size=$(stat -c %s "$work/damaged.obl")
empty=$(peak_kb "$work/empty.obl")
damaged=$(peak_kb "$work/damaged.obl")
echo "list show, empty list: peak resident $empty kB"
echo "list show, $records three-byte records ($size bytes) claiming 2,147,483,647: peak resident $damaged kB"
awk -v d="$damaged" -v e="$empty" -v s="$size" \
  'BEGIN {printf "growth %.1f MB = %.1f times the file (bound: 40)\n", (d - e) / 1024, (d - e) * 1024 / s}'
