#!/usr/bin/env bash
# Installs what is missing, builds an optimised Orbiphon and starts it.
#   ./run.sh [FILE.cpe|FILE.obl]   start the program, optionally on a file
#   ./run.sh demo                  start simulated gateways and open Orbiphon on their list
#   ./run.sh package               build the Debian package (scripts/build-package.sh)
set -euo pipefail
# A file named relative to where run.sh was started must still be found after the cd below.
args=()
for arg in "$@"; do
  if [ "$arg" != demo ] && [ "$arg" != package ] && [ "${arg#/}" = "$arg" ] && [ -e "$arg" ]; then
    arg="$PWD/$arg"
  fi
  args+=("$arg")
done
set -- ${args[@]+"${args[@]}"}
cd "$(dirname "$0")"

scripts/install-deps

if [ "${1:-}" = package ]; then
  exec scripts/build-package.sh
fi

# The build settings are the "release" preset of CMakePresets.json.
build=build/release
cmake --preset release >/dev/null
cmake --build --preset release

if [ "${1:-}" = demo ]; then
  shift
  exec tools/simulator/demo.sh "$build/bin/Orbiphon" "$@"
fi
exec "$build/bin/Orbiphon" "$@"
