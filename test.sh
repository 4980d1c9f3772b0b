#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer, and runs
# every test. Exits non-zero on any failure. A second run reuses the build.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps

build=build/test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DORBIPHON_SANITIZE=ON -DORBIPHON_WERROR=ON >/dev/null
cmake --build "$build"

jobs=$(nproc 2>/dev/null || echo 2)
ctest --test-dir "$build" --output-on-failure -j "$jobs"

# The Debian package: built in build/package, checked by lintian and, as root, installed, used
# and purged.
tests/package/package-test.sh

# Bounded fuzzing of the two file readers.
tests/fuzz/run-fuzzers.sh "${ORBIPHON_FUZZ_SECONDS:-20}"
