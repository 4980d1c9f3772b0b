# Shared by the bench/*.sh scripts: the optimised build they measure, the simulator, timing.
# Sourced, not run.

bench_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$bench_root/build/release"
simulator="$bench_root/tools/simulator/simulator.py"

# Builds the named targets in build/release, configuring it first with the "release" preset
# (as ./run.sh does) when it is not configured yet.
bench_build() {
  if [ ! -f "$build/CMakeCache.txt" ]; then
    (cd "$bench_root" && cmake --preset release >/dev/null)
  fi
  cmake --build "$build" -j2 --target "$@" >/dev/null
}

# Copies orbiphon-cli and its probe helper into folder $1 beside the settings file $2, so that
# it reads those.
bench_cli_copy() {
  mkdir -p "$1"
  cp "$build/bin/orbiphon-cli" "$build/bin/orbiphon-probe" "$1/"
  if [ -n "${2:-}" ]; then
    cp "$2" "$1/Orbiphon.ini"
  fi
}

# The simulator needs a network namespace of its own: root, or a user namespace.
bench_check_namespace() {
  if ! unshare -n true 2>/dev/null && ! unshare -r -n true 2>/dev/null; then
    echo "$(basename "$0"): cannot create a network namespace here (needs root or user namespaces)" >&2
    exit 1
  fi
}

# Seconds since the epoch with microseconds.
bench_now() {
  echo "$EPOCHREALTIME"
}

# The median of the numbers given as arguments.
bench_median() {
  printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {if (NR % 2) print v[(NR+1)/2]; else printf "%.6f\n", (v[NR/2]+v[NR/2+1])/2}'
}

# Seconds elapsed since $1 (a bench_now reading).
bench_since() {
  awk -v start="$1" -v now="$(bench_now)" 'BEGIN {printf "%.6f\n", now - start}'
}

# $1 divided by $2.
bench_ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f\n", a / b}'
}
