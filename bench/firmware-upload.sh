#!/usr/bin/env bash
# Uploads one firmware tree (1,000 files in 20 folders, 20 MB in all) to one simulated gateway,
# with `orbiphon-cli upload-firmware --code` and with lftp's `mirror -R`, both in active mode,
# several runs each in turn, and prints the median times and their ratio.
#   bench/firmware-upload.sh [RUNS]        RUNS of each tool, default 5
set -euo pipefail
. "$(dirname "$0")/lib.sh"
runs=${1:-5}

if [ "${BENCH_INSIDE:-}" != 1 ]; then
  bench_check_namespace
  command -v lftp >/dev/null || { echo "firmware-upload: lftp is not installed" >&2; exit 1; }
  bench_build orbiphon-cli orbiphon-probe
  work=$(mktemp -d /tmp/orbiphon-bench-XXXXXX)
  trap 'rm -rf "$work"' EXIT
  # Sizes in pairs around 20,000 bytes, so the tree holds exactly 20,000,000.
  python3 - "$work/firmware" <<'PY'
import os, sys
root = sys.argv[1]
extensions = ["BIN", "DAT", "IMG", "CFG", "PDF"]
for n in range(1000):
    folder = os.path.join(root, "F%02d" % (n // 50 + 1))
    os.makedirs(folder, exist_ok=True)
    swing = (n // 2 * 7919) % 10001
    size = 20000 + (swing if n % 2 == 0 else -swing)
    with open(os.path.join(folder, "FILE%04d.%s" % (n, extensions[n % 5])), "wb") as out:
        out.write(os.urandom(size))
PY
  printf '[PutList]\nExt1=BIN\nExt2=DAT\nExt3=IMG\nExt4=CFG\nExt5=PDF\n' > "$work/Orbiphon.ini"
  bench_cli_copy "$work/tool" "$work/Orbiphon.ini"
  BENCH_INSIDE=1 BENCH_WORK="$work" /usr/bin/python3 "$simulator" run --gateways 1 \
    --root "$work/sim" -- "$0" "$runs" 2> >(grep -v '^simulator: ' >&2)
  exit
fi

# From here on inside the simulator's network namespace.
work=$BENCH_WORK
rfa=$work/sim/gw1/RFA
tree=$work/firmware
for folder in "$tree"/F??; do
  mkdir -p "$rfa/$(basename "$folder")"
done
expected_files=$(find "$tree" -type f | wc -l)
expected_bytes=$(find "$tree" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')

clear_device() {
  find "$rfa" -mindepth 2 -path "$rfa/F*" -type f -delete
}

check_device() {
  local files bytes
  files=$(find "$rfa" -mindepth 2 -path "$rfa/F*" -type f | wc -l)
  bytes=$(find "$rfa" -mindepth 2 -path "$rfa/F*" -type f -printf '%s\n' | awk '{s+=$1} END {print s+0}')
  if [ "$files" != "$expected_files" ] || [ "$bytes" != "$expected_bytes" ]; then
    echo "firmware-upload: $1 left $files files, $bytes bytes on the gateway" >&2
    exit 1
  fi
}

orbiphon_times=()
lftp_times=()
for run in $(seq "$runs"); do
  clear_device
  start=$(bench_now)
  "$work/tool/orbiphon-cli" upload-firmware "$tree" 127.0.0.2 admin orbiphon --code >/dev/null
  orbiphon_times+=("$(bench_since "$start")")
  check_device orbiphon-cli

  clear_device
  start=$(bench_now)
  lftp -u admin,orbiphon -e "set ftp:passive-mode off; mirror -R $tree /RFA; quit" 127.0.0.2 \
    >/dev/null
  lftp_times+=("$(bench_since "$start")")
  check_device lftp
  echo "run $run: orbiphon-cli ${orbiphon_times[-1]} s, lftp ${lftp_times[-1]} s" >&2
done

orbiphon=$(bench_median "${orbiphon_times[@]}")
lftp_median=$(bench_median "${lftp_times[@]}")
echo "firmware upload, $expected_files files in 20 folders, $expected_bytes bytes, median of $runs runs:"
printf '  orbiphon-cli upload-firmware --code  %6.2f s\n' "$orbiphon"
printf '  lftp mirror -R (active mode)         %6.2f s\n' "$lftp_median"
printf '  ratio orbiphon-cli / lftp            %6.2f\n' "$(bench_ratio "$orbiphon" "$lftp_median")"
