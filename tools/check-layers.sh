#!/usr/bin/env bash
# Prints every #include of a higher layer's header from a lower layer's folder, and every CMake
# link from a lower layer's targets to a higher layer's; exits 1 when it found any.
#   tools/check-layers.sh
# Each line: a folder under src/, then the folders above it (which it must never reach).
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
while read -r folder above; do
  if grep -rnE "#include \"($above)/" "src/$folder"; then
    status=1
  fi
  if grep -nE "orbiphon_($above)(_ui|_core)?\b" "src/$folder/CMakeLists.txt"; then
    status=1
  fi
done <<'LAYERS'
base        probehelper|widgets|addressbook|transfer|gatewaylist|cli|shell|app
probehelper widgets|addressbook|transfer|gatewaylist|cli|shell|app
widgets     addressbook|transfer|gatewaylist|cli|shell|app
addressbook transfer|gatewaylist|cli|shell|app
transfer    addressbook|gatewaylist|cli|shell|app
gatewaylist addressbook|cli|shell|app
cli         shell|app
shell       cli|app
LAYERS
exit "$status"
