#!/usr/bin/env bash
# Line benchmark of a transfer against tavrel-sim --pace (the simulator reads
# at the real line rate, 11 bits a byte):
#  (a) line utilisation of the data phase for a 256 KB release at 115200 and
#      256000 bit/s (target >= 98 %: records go back to back);
#  (b) CPU time of the program over the wall time of the whole transfer
#      (target <= 5 %: waits sleep, they do not spin).
# Each rate runs twice: through tavrel-cli and through the desktop program's
# main window and Qt host (tavrel-bench-gui-transfer, offscreen), so a window
# that shows the transfer is seen not to slow it down.
#   bench/line/run.sh [BUILD_DIR]      (default build/make-app, made by `make build`)
set -euo pipefail
build="${1:-build/make-app}"
cli="$build/src/tavrel-cli"
gui="$build/bench/line/tavrel-bench-gui-transfer"
sim="$build/src/tavrel-sim"
work="$(mktemp -d "${TMPDIR:-/tmp}/tavrel-bench-line.XXXXXX")"
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

run_rate() {
  local rate="$1" dir="$work/$1"
  mkdir -p "$dir/config" "$dir/env" "$dir/request" "$dir/images"
  printf '[Paths]\nProducts files=%s/env/\n[Times out]\nBetween 2 write (ms.)=0\n[Miscellaneous]\nAuto speed min. range=9600\nAuto speed max. range=256000\n' "$dir" > "$dir/config/Tavrel.ini"
  cat > "$dir/env.json" <<JSON
{"format": "tavrel-environment", "name": "BENCH", "boards": [
  {"name": "CPU", "subassy_id": "CM", "subassy_hardw": "10", "boot_loader": "CMB2", "prog_id": 1,
   "relayed": false, "destination": "Port A", "processing": "Aucun", "max_speed": "256000",
   "erase_timeout": 10, "restart_timeout": 10, "parent_board": -1, "save_speed": "unchecked"}]}
JSON
  cat > "$dir/request.json" <<JSON
{"format": "tavrel-request", "version": 20, "lines": [
  {"board_name": "CPU", "env_name": "BENCH", "subassy_hardw": "10", "board_index": 0,
   "release_file": "cpu.s19", "soft_id": "CPU0200", "board_alone": true, "restart": false,
   "transfer_speed": "$rate", "config_speed": "9600"}]}
JSON
  cat > "$dir/receiver.json" <<JSON
{"boards": [{"name": "CPU", "subassy": "CM", "hardware": "10", "boot_loader": "CMB2",
  "software": ["CPU0100"], "software_after_load": ["CPU0200"], "rate": 9600,
  "progr_id": 1, "erase_ms": 100, "restart_ms": 300}]}
JSON
  local c=("$cli" --config-dir "$dir/config" --log "$dir/Tavrel.log")
  "${c[@]}" env import "$dir/env.json" --out "$dir/env/bench.def" >/dev/null
  "${c[@]}" request import "$dir/request.json" --out "$dir/request/bench.sfl" --dir "$dir/env" >/dev/null
  head -c 262144 /dev/urandom > "$dir/cpu.bin"
  objcopy -I binary -O srec --change-addresses 0x10000 "$dir/cpu.bin" "$dir/request/cpu.s19"
  "${c[@]}" import "$dir/request/cpu.s19" >/dev/null   # conversion is not part of the measure

  measure "$rate" "$dir" tavrel-cli "${c[@]}" transfer "$dir/request/bench.sfl" --port "$dir/tty"
  if [ -x "$gui" ]; then
    printf '[Ports]\nCOM1=%s\n' "$dir/tty" >> "$dir/config/Tavrel.ini"
    measure "$rate" "$dir" "tavrel (Qt host)" "$gui" "$dir/config" "$dir/Tavrel-gui.log" "$dir/request/bench.sfl"
  fi
}

# measure RATE DIR LABEL COMMAND...: one transfer against a fresh simulator.
measure() {
  local rate="$1" dir="$2" label="$3"
  shift 3
  "$sim" --receiver "$dir/receiver.json" --link "$dir/tty" --image-dir "$dir/images" \
         --stats "$dir/stats.json" --pace > "$dir/sim.out" 2>&1 &
  local sim_pid=$!
  for _ in $(seq 50); do grep -q '^ready' "$dir/sim.out" 2>/dev/null && break; sleep 0.1; done
  /usr/bin/time -f "%e %U %S" -o "$dir/time.txt" "$@" >/dev/null 2>&1 || echo "bench: $label transfer at $rate failed"
  sleep 0.5
  kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true
  python3 - "$rate" "$dir/stats.json" "$dir/time.txt" "$label" <<'PY'
import json, sys
rate, stats, times, label = sys.argv[1], json.load(open(sys.argv[2])), open(sys.argv[3]).read().split(), sys.argv[4]
wall, user, system = map(float, times[-3:])
phase = stats.get("data_phase") or {}
util, wire, elapsed = phase.get("utilisation"), phase.get("wire_time_s"), phase.get("elapsed_s")
line_rate = phase.get("rate")
print(f"{label:>16}: {rate:>6} bit/s requested, data phase at {line_rate} bit/s: line utilisation "
      f"{'?' if util is None else f'{100 * util:.2f}'} % ({wire if wire is None else round(wire, 2)} s of line time "
      f"in {elapsed if elapsed is None else round(elapsed, 2)} s), "
      f"CPU {user+system:.2f} s over {wall:.1f} s wall = {100*(user+system)/wall:.2f} %")
PY
}
# The transfer speed of a line is never above 115200 bit/s (the effective
# speed takes the smallest of index 7 and the line's own speed), so a request
# for 256000 is carried at 115200. Whether the simulator paces at 256000 is
# checked apart: the same number of bytes written at each rate.
pace_check() {
  local dir="$work/pace"
  mkdir -p "$dir"
  echo '{"boards": [{"name": "CPU", "subassy": "CM", "boot_loader": "CMB2"}]}' > "$dir/receiver.json"
  "$sim" --receiver "$dir/receiver.json" --link "$dir/tty" --stats "$dir/stats.json" --pace > "$dir/sim.out" 2>&1 &
  local sim_pid=$!
  for _ in $(seq 50); do grep -q '^ready' "$dir/sim.out" 2>/dev/null && break; sleep 0.1; done
  for rate in 115200 256000; do python3 "$(dirname "$0")/pace_check.py" "$dir/tty" "$dir/stats.json" "$rate" 131072; done
  kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true
}
for rate in ${RATES:-115200 256000}; do run_rate "$rate"; done
pace_check
