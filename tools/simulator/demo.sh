#!/usr/bin/env bash
# Starts four simulated gateways (the third silent, the fourth refusing the login) in a private
# network namespace and opens Orbiphon on their gateway list. A sample address book and a sample
# firmware folder lie in the simulator's folder, printed at start; everything is removed when
# Orbiphon closes.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$(realpath "${1:?usage: demo.sh PATH/TO/Orbiphon}")

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: no display; start it from a desktop session" >&2
  exit 1
fi
# The firmware upgrades read their lists from the settings file beside the executable.
ini="$(dirname "$program")/Orbiphon.ini"
[ -e "$ini" ] || cp "$here/Orbiphon.ini.demo" "$ini"

exec "$here/simulator.py" run --gateways 4 --silent 3 --refuse-login 4 --samples -- "$program" "{list}"
