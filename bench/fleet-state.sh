#!/usr/bin/env bash
# Knowing a fleet's state, on 253 simulated gateways that answer every FTP command 20 ms late,
# each holding a book and 20 firmware files; each side by side with its anchor in one run:
#   1. Back-up of every book: orbiphon-cli backup --jobs 64 against curl -Z --parallel-max 64.
#   2. What each gateway holds: orbiphon-cli inventory --jobs 64 against xargs -P 16 running
#      lftp -e 'find -l /RFA'.
# Targets: each of ours within 2 s.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

if [ "${BENCH_INSIDE:-}" = "" ]; then
  bench_check_namespace
  for tool in curl lftp; do
    command -v "$tool" >/dev/null || { echo "fleet-state: $tool is not installed" >&2; exit 1; }
  done
  bench_build orbiphon-cli
  work=$(mktemp -d /tmp/orbiphon-bench-XXXXXX)
  trap 'rm -rf "$work"' EXIT
  bench_cli_copy "$work/tool"
  BENCH_INSIDE=1 BENCH_WORK="$work" /usr/bin/python3 "$simulator" run --gateways 253 \
    --delay 20 -- "$0"
  exit
fi

tool="${BENCH_TOOL:-$BENCH_WORK/tool/orbiphon-cli}"
list="$ORBIPHON_SIM_LIST"
addresses=$(for n in $(seq 1 253); do echo "127.0.0.$((n + 1))"; done)
for n in $(seq 1 253); do
  for f in $(seq -w 1 20); do
    head -c 4096 /dev/zero >"$ORBIPHON_SIM_ROOT/gw$n/RFA/F$f.BIN"
  done
done

echo "Back-up of every book, 253 gateways answering 20 ms late:"
mkdir -p "$BENCH_WORK/curl" "$BENCH_WORK/ours"
urls=()
for address in $addresses; do
  urls+=("ftp://$address/RFA/Addrbook.cpe" -o "$BENCH_WORK/curl/$address.cpe")
done
start=$(bench_now)
curl -s -Z --parallel-max 64 -u admin:orbiphon "${urls[@]}" 2>/dev/null || true
anchor=$(bench_since "$start")
fetched=$(find "$BENCH_WORK/curl" -name '*.cpe' -size 13770c | wc -l)
start=$(bench_now)
"$tool" backup "$list" --to "$BENCH_WORK/ours" --jobs 64 >/dev/null 2>&1 || true
ours=$(bench_since "$start")
kept=$(find "$BENCH_WORK/ours" -name '*.cpe' | wc -l)
printf '  orbiphon-cli backup --jobs 64       %6.2f s  (%d books kept)\n' "$ours" "$kept"
printf '  curl -Z --parallel-max 64           %6.2f s  (%d books fetched)\n' "$anchor" "$fetched"

echo "What each gateway holds, 253 gateways answering 20 ms late:"
start=$(bench_now)
listed=$(echo "$addresses" |
  xargs -P 16 -I{} lftp -u admin,orbiphon -e "find -l /RFA; quit" {} 2>/dev/null |
  grep -c 'Addrbook.cpe' || true)
anchor=$(bench_since "$start")
start=$(bench_now)
ours_listed=$("$tool" inventory "$list" --jobs 64 2>/dev/null | grep -c ' Listed$' || true)
ours=$(bench_since "$start")
printf '  orbiphon-cli inventory --jobs 64    %6.2f s  (%d gateways listed)\n' "$ours" "$ours_listed"
printf '  xargs -P 16 lftp find -l            %6.2f s  (%d gateways listed)\n' "$anchor" "$listed"
