#!/usr/bin/env bash
# Runs every benchmark in turn and prints its figures.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
for bench in firmware-upload probe check-connections memory list-memory fleet fleet-state; do
  "$here/$bench.sh"
  echo
done
