#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer, and runs
# every test. Exits non-zero on any failure. A second run reuses the build.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps

# The build settings are the "test" preset of CMakePresets.json.
build=build/test
cmake --preset test >/dev/null
cmake --build --preset test

jobs=$(nproc 2>/dev/null || echo 2)
summary="$build/Testing/summary.txt"
mkdir -p "$build/Testing"
status=0
ctest --preset test -j "$jobs" | tee "$summary" || status=$?
# Tests that could not run here (no namespaces, a missing tool) are shown as skipped: say how
# many, and why.
skipped=$(grep -c '(Skipped)$' "$summary" || true)
echo "$skipped tests skipped"
if [ "$skipped" -gt 0 ]; then
  grep -hE '^(skipped: |SKIP   : )' "$build"/Testing/Temporary/LastTest.log | sort -u | sed 's/^/  /' || true
fi
# A program that passed may still have skipped some of its cases: GoogleTest's
# "[  SKIPPED ] Suite.Case (0 ms)", its reason on the line after "file:line: Skipped", and Qt
# Test's "SKIP   : Class::case(row) reason". Each is counted and named once, with its reason.
skipped_cases=$( {
  awk '/: Skipped$/ { getline reason; next }
       /^\[  SKIPPED \] [^ ]+ \(/ { print $4 ": " reason; reason = "" }' \
    "$build"/Testing/Temporary/LastTest.log
  grep -hE '^SKIP   : ' "$build"/Testing/Temporary/LastTest.log | sed -E 's/^SKIP   : ([^ ]+) +/\1: /'
} | sort -u || true)
echo "$(grep -c . <<<"$skipped_cases" || true) test cases skipped"
[ -z "$skipped_cases" ] || sed 's/^/  /' <<<"$skipped_cases"
[ "$status" -eq 0 ] || exit "$status"

# The tests whose work runs on several threads, again under ThreadSanitizer ("tsan" preset).
# Qt itself is not instrumented: tests/tsan.supp leaves out only what its libraries do.
threaded=(gatewaylist_batch gatewaylist_probegroups gatewaylist_upgradewindowbatch gatewaylist_upgradewindowlist
          gatewaylist_upgrade_e2e widgets_windowwaiter
          transfer_downloadwindow transfer_probe)
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target "${threaded[@]/#/test_}"
TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp halt_on_error=1" \
  ctest --preset tsan -j "$jobs" -R "^($(IFS='|'; echo "${threaded[*]}"))(_namespace)?\$"

# The Debian package: built in build/package, checked by lintian and, as root, installed, used
# and purged.
tests/package/package-test.sh

# Bounded fuzzing of the two file readers.
tests/fuzz/run-fuzzers.sh "${ORBIPHON_FUZZ_SECONDS:-20}"
