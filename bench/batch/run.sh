#!/usr/bin/env bash
# Batch benchmark: `tavrel-cli batch` loading four simulated receivers at
# once against the same batch loading one. Each receiver is a tavrel-sim
# --pace (it reads at the real line rate, 11 bits a byte), so a run is bound
# by its line, as on the production bench, and four runs side by side should
# take about the time of one. Target: wall time of four <= 1.2 x that of one.
#   bench/batch/run.sh [BUILD_DIR] [KBYTES]   (default build/make-app, made by
#                                             `make build`; 64 KB per receiver)
set -euo pipefail
build="${1:-build/make-app}"
kbytes="${2:-64}"
cli="$build/src/tavrel-cli"
sim="$build/src/tavrel-sim"
work="$(mktemp -d "${TMPDIR:-/tmp}/tavrel-bench-batch.XXXXXX")"
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/config" "$work/env" "$work/request"
printf '[Paths]\nProducts files=%s/env/\n[Times out]\nBetween 2 write (ms.)=0\n[Miscellaneous]\nAuto speed min. range=9600\nAuto speed max. range=115200\nRescue enable=NO\n' \
  "$work" > "$work/config/Tavrel.ini"
cat > "$work/env.json" <<JSON
{"format": "tavrel-environment", "name": "BENCH", "boards": [
  {"name": "CPU", "subassy_id": "CM", "subassy_hardw": "10", "boot_loader": "CMB2", "prog_id": 1,
   "relayed": false, "destination": "Port A", "processing": "Aucun", "max_speed": "115200",
   "erase_timeout": 10, "restart_timeout": 10, "parent_board": -1, "save_speed": "unchecked"}]}
JSON
cat > "$work/request.json" <<JSON
{"format": "tavrel-request", "version": 20, "lines": [
  {"board_name": "CPU", "env_name": "BENCH", "subassy_hardw": "10", "board_index": 0,
   "release_file": "cpu.s19", "soft_id": "CPU0200", "board_alone": true, "restart": false,
   "transfer_speed": "115200", "config_speed": "9600"}]}
JSON
cat > "$work/receiver.json" <<JSON
{"boards": [{"name": "CPU", "subassy": "CM", "hardware": "10", "boot_loader": "CMB2",
  "software": ["CPU0100"], "software_after_load": ["CPU0200"], "rate": 9600,
  "progr_id": 1, "erase_ms": 100, "restart_ms": 300}]}
JSON
c=("$cli" --config-dir "$work/config" --log "$work/Tavrel.log")
"${c[@]}" env import "$work/env.json" --out "$work/env/bench.def" >/dev/null
"${c[@]}" request import "$work/request.json" --out "$work/request/bench.sfl" >/dev/null
head -c $((kbytes * 1024)) /dev/urandom > "$work/cpu.bin"
objcopy -I binary -O srec --change-addresses 0x10000 "$work/cpu.bin" "$work/request/cpu.s19"
"${c[@]}" import "$work/request/cpu.s19" >/dev/null   # the conversion is not part of the measure

# start_sims N: N fresh receivers on $work/tty1..N.
start_sims() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  sims=()
  for i in $(seq "$1"); do
    "$sim" --receiver "$work/receiver.json" --link "$work/tty$i" --pace --stats "$work/stats$i.json" \
           > "$work/sim$i.out" 2>&1 &
    sims+=($!)
  done
  for i in $(seq "$1"); do
    for _ in $(seq 50); do grep -q '^ready' "$work/sim$i.out" 2>/dev/null && break; sleep 0.1; done
  done
}

# batch N: the wall time of one batch over N receivers, in milliseconds.
batch() {
  local n="$1" runs="" i
  for i in $(seq "$n"); do
    runs+="${runs:+,}{\"port\": \"$work/tty$i\", \"request\": \"request/bench.sfl\", \"log\": \"run$n-$i.log\"}"
  done
  echo "{\"format\": \"tavrel-batch\", \"runs\": [$runs]}" > "$work/plan$n.json"
  start_sims "$n"
  local start end
  start=$(date +%s%N)
  "${c[@]}" -q batch "$work/plan$n.json" --json "$work/batch$n.json" >/dev/null || {
    echo "bench: the batch of $n failed" >&2; cat "$work/batch$n.json" >&2; exit 1; }
  end=$(date +%s%N)
  echo $(( (end - start) / 1000000 ))
}

one=$(batch 1)
four=$(batch 4)
python3 - "$one" "$four" "$kbytes" <<'PY'
import sys
one, four, kb = float(sys.argv[1]) / 1000, float(sys.argv[2]) / 1000, sys.argv[3]
ratio = four / one
print(f"batch of {kb} KB per receiver at 115200 bit/s (paced simulator):")
print(f"  one receiver   : {one:6.2f} s wall")
print(f"  four receivers : {four:6.2f} s wall")
print(f"  ratio four/one : {ratio:.3f} (target <= 1.2) {'OK' if ratio <= 1.2 else 'ABOVE TARGET'}")
PY
