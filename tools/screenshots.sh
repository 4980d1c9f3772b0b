#!/usr/bin/env bash
# Starts the real program under a virtual X server and saves PNG pictures of the launcher, the
# help viewer, the Address Book Management window holding a few entries, and the About window;
# then pictures the Upgrade window after a batch, maximised after a check of 253 gateways, and
# the progress window during a firmware upgrade, from the real windows over simulated gateways
# in a private network namespace.
#   tools/screenshots.sh [BUILD_DIR] [OUTPUT_DIR]    (defaults: build/release, docs/screenshots)
# Needs xvfb, xdotool and imagemagick (scripts/install-deps lists them). Nothing outside a
# temporary folder is written but the pictures: the file types are registered in a throw-away
# XDG_DATA_HOME.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
out=${2:-docs/screenshots}
[ -f "$build/CMakeCache.txt" ] ||
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBIPHON_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target Orbiphon orbiphon-cli orbiphon-batchshots
mkdir -p "$out"
out=$(cd "$out" && pwd)
program=$(cd "$build/bin" && pwd)/Orbiphon
cli=$(cd "$build/bin" && pwd)/orbiphon-cli

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/book.json" <<'JSON'
{"gateways":[{"address":"10.0.0.1","port":1720},{"address":"10.0.0.2","port":1720}],
 "entries":[{"ip":"10.0.1.10","port":1720,"telephone":"00390212345"},
            {"ip":"10.0.1.11","port":1720,"telephone":"00390298765"},
            {"ip":"10.0.2.20","port":1720,"telephone":"0039066*1"},
            {"ip":"192.168.5.7","port":1720,"telephone":"004930555"},
            {"ip":"192.168.5.8","port":1720,"telephone":"0044207946"}]}
JSON
"$cli" book from-json "$work/book.json" "$work/Addrbook.cpe"

cat >"$work/shoot.sh" <<'SHOT'
#!/usr/bin/env bash
set -euo pipefail
program=$1 out=$2 work=$3

# Waits for a window with exactly this title and prints its id.
window() {
  for _ in $(seq 1 100); do
    if id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) && [ -n "$id" ]; then
      sleep 0.5
      echo "$id"
      return 0
    fi
    sleep 0.2
  done
  echo "screenshots: no window titled '$1'" >&2
  return 1
}

shoot() {
  import -window "$1" "$out/$2"
  echo "screenshots: $out/$2"
}

"$program" &
pid=$!
launcher=$(window Orbiphon)
shoot "$launcher" launcher.png
# The launcher's tab order visits Help fifth.
xdotool windowfocus --sync "$launcher"
xdotool key --delay 100 Tab Tab Tab Tab space
shoot "$(window 'Orbiphon Help')" help.png
kill "$pid"; wait "$pid" 2>/dev/null || true

"$program" "$work/Addrbook.cpe" &
pid=$!
book=$(window 'Address Book Management')
xdotool windowfocus --sync "$book"
shoot "$book" addressbook.png
xdotool key --delay 150 alt+h Down Return
shoot "$(window 'About Orbiphon')" about.png
kill "$pid"; wait "$pid" 2>/dev/null || true
SHOT
chmod +x "$work/shoot.sh"

XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$work/shoot.sh" "$program" "$out" "$work"

# Four gateways: the third silent, the fourth refusing the login, so every image shows.
# The fleet picture: 253 gateways, twelve silent, checked 64 at once in a maximised window on a
# 1280 x 800 offscreen screen.
printf '{"screens":[{"name":"shot","x":0,"y":0,"width":1280,"height":800,"logicalDpi":96}]}' \
  >"$work/screen.json"
{ cat tools/simulator/Orbiphon.ini.demo; printf '\r\n[Batch]\r\nJobs=64\r\n'; } >"$work/fleet.ini"
silent=()
for k in 17 40 41 88 103 150 151 152 199 230 244 251; do silent+=(--silent "$k"); done
QT_QPA_PLATFORM="offscreen:configfile=$work/screen.json" tools/simulator/simulator.py run \
  --gateways 253 "${silent[@]}" -- "$build/bin/orbiphon-batchshots" fleet "{list}" \
  "$work/fleet.ini" "$out" 2> >(grep -v -e 'does not support' -e XDG_RUNTIME_DIR >&2)

QT_QPA_PLATFORM=offscreen tools/simulator/simulator.py run --gateways 4 --silent 3 \
  --refuse-login 4 --samples -- "$build/bin/orbiphon-batchshots" "{list}" \
  "{root}/samples/Addrbook.cpe" "{root}/samples/firmware" tools/simulator/Orbiphon.ini.demo "$out" \
  2> >(grep -v -e 'does not support' -e XDG_RUNTIME_DIR >&2)
