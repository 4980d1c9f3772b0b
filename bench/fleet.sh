#!/usr/bin/env bash
# Fleet-sized batches over simulated gateways, each side by side with its anchor in one run:
#   1. Check connections over 253 gateways, every second one silent: orbiphon-cli check
#      --jobs 64 against fping -c1 -t1000 over the same addresses.
#   2. Upgrade list of a 2 MB, 20-file firmware folder to 32 gateways limited to 1 MB/s each:
#      orbiphon-cli upgrade --jobs 1, 8 and 32 against xargs -P 8 running lftp mirror -R.
#   3. Peak resident memory of the program (the real Upgrade window, offscreen) and of
#      orbiphon-cli during a 64-job book upgrade over 253 gateways.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

if [ "${BENCH_INSIDE:-}" = "" ]; then
  bench_check_namespace
  for tool in fping lftp /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "fleet: $tool is not installed" >&2; exit 1; }
  done
  bench_build orbiphon-cli orbiphon-probe orbiphon-bench-memory
  work=$(mktemp -d /tmp/orbiphon-bench-XXXXXX)
  chmod 755 "$work"
  trap 'rm -rf "$work"' EXIT
  printf '[PutList]\nExt1=BIN\n' >"$work/Orbiphon.ini"
  bench_cli_copy "$work/tool" "$work/Orbiphon.ini"
  mkdir -p "$work/firmware"
  for n in $(seq -w 1 20); do
    head -c 100000 /dev/urandom >"$work/firmware/F$n.BIN"
  done
  head -c 13770 /dev/urandom >"$work/book.cpe"

  silent=()
  for n in $(seq 2 2 253); do silent+=(--silent "$n"); done
  BENCH_INSIDE=check BENCH_WORK="$work" /usr/bin/python3 "$simulator" run --gateways 253 \
    "${silent[@]}" -- "$0"
  echo
  rates=()
  for n in $(seq 1 32); do rates+=(--rate "$n:1000000"); done
  BENCH_INSIDE=upgrade BENCH_WORK="$work" /usr/bin/python3 "$simulator" run --gateways 32 \
    "${rates[@]}" -- "$0"
  echo
  BENCH_INSIDE=memory BENCH_WORK="$work" /usr/bin/python3 "$simulator" run --gateways 253 \
    -- "$0"
  exit
fi

tool="$BENCH_WORK/tool/orbiphon-cli"
list="$ORBIPHON_SIM_LIST"
case "$BENCH_INSIDE" in
check)
  addresses=$(for n in $(seq 1 253); do echo "127.0.0.$((n + 1))"; done)
  start=$(bench_now)
  answered=$("$tool" check "$list" --jobs 64 2>/dev/null | grep -c ' Reachable$' || true)
  ours=$(bench_since "$start")
  start=$(bench_now)
  alive=$(fping -c1 -t1000 $addresses 2>&1 | grep -c ' 1/1/0%' || true)
  anchor=$(bench_since "$start")
  echo "Check connections, 253 gateways, every second one silent:"
  printf '  orbiphon-cli check --jobs 64   %6.2f s  (%d answered)\n' "$ours" "$answered"
  # As an operator runs it: no right of its own, the echo socket closed, so each probe starts
  # the helper that holds cap_net_raw.
  if [ "$(id -u)" = 0 ] && setcap cap_net_raw+ep "$BENCH_WORK/tool/orbiphon-probe" 2>/dev/null; then
    cp "$list" "$BENCH_WORK/list.obl"
    chmod a+rX -R "$BENCH_WORK"
    start=$(bench_now)
    helped=$(setpriv --reuid=65534 --regid=65534 --clear-groups "$tool" check \
      "$BENCH_WORK/list.obl" --jobs 64 2>/dev/null | grep -c ' Reachable$' || true)
    printf '    as nobody, through the helper %5.2f s  (%d answered)\n' "$(bench_since "$start")" \
      "$helped"
  fi
  printf '  fping -c1 -t1000               %6.2f s  (%d answered)\n' "$anchor" "$alive"
  ;;
upgrade)
  echo "Upgrade list, 2 MB in 20 files to 32 gateways at 1 MB/s each:"
  # lftp first: its mirror skips files that are already there, ours always sends them.
  start=$(bench_now)
  for n in $(seq 1 32); do echo "127.0.0.$((n + 1))"; done |
    xargs -P 8 -I{} lftp -u admin,orbiphon -e \
      "set ftp:passive-mode off; mirror -R --no-perms $BENCH_WORK/firmware /RFA; quit" {} \
      >/dev/null
  anchor=$(bench_since "$start")
  sent=$(ls "$ORBIPHON_SIM_ROOT"/gw*/RFA/F*.BIN | wc -l)
  for jobs in 1 8 32; do
    start=$(bench_now)
    "$tool" upgrade "$list" --firmware "$BENCH_WORK/firmware" --code --jobs "$jobs" >/dev/null
    took=$(bench_since "$start")
    [ "$jobs" = 1 ] && one=$took
    printf '  orbiphon-cli upgrade --jobs %-3s %6.2f s  (speed-up %s)\n' "$jobs" "$took" \
      "$(bench_ratio "$one" "$took")"
  done
  printf '  xargs -P 8 lftp mirror -R       %6.2f s  (%d files sent)\n' "$anchor" "$sent"
  ;;
memory)
  echo "Peak resident memory, book upgrade of 253 gateways, 64 at once:"
  kb=$(QT_QPA_PLATFORM=offscreen "$build/bin/orbiphon-bench-memory" batch "$list" \
    "$BENCH_WORK/book.cpe" 64 2>/dev/null | awk '/VmHWM/ {print $(NF-1)}')
  printf '  Orbiphon (Upgrade window)      %6.1f MB\n' "$(awk -v k="$kb" 'BEGIN {print k / 1024}')"
  kb=$(/usr/bin/time -f '%M' "$tool" upgrade "$list" --book "$BENCH_WORK/book.cpe" --jobs 64 \
    2>&1 >/dev/null | tail -1)
  printf '  orbiphon-cli                   %6.1f MB\n' "$(awk -v k="$kb" 'BEGIN {print k / 1024}')"
  ;;
esac
