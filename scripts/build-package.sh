#!/usr/bin/env bash
# Builds the Debian package of Orbiphon: an optimised build in build/package (tests and
# benchmarks left out), installed under /usr by CPack. Prints the package's path last.
#   scripts/build-package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/package}
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# Debian's optimisation level and hardening flags, without the debugging information the
# package would strip again.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
      -DORBIPHON_BUILD_TESTS=OFF -DORBIPHON_BUILD_BENCH=OFF "${launcher[@]}" \
      "-DCMAKE_CXX_FLAGS=-D_FORTIFY_SOURCE=2 -fstack-protector-strong -fstack-clash-protection -fcf-protection" \
      "-DCMAKE_EXE_LINKER_FLAGS=-Wl,-z,relro -Wl,-z,now" >/dev/null
cmake --build "$build"
rm -f "$build"/package/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/package/*.deb)
echo "$deb"
