#!/usr/bin/env bash
# Time to a loaded board: a 256 KiB release at 115200 bit/s into a simulated
# board that reads the line at its real rate (tavrel-sim --pace), timed from
# the command to the verified restart, phase by phase (bench/transfer/phases.py
# follows the log and stamps its lines to the millisecond).
#
# Cases: the board cabled to the PC (alone) and a board behind its port B
# (relayed); a raw image (any file: 87 data bytes a record, which packing
# leaves as they are) and the same bytes as S3 S-records of 16 bytes a line,
# with "Pack release records" off (NO in the settings) and on (the default); the board's own
# rate 19200 bit/s while the settings say 9600 (the identification searches
# the rate), and once with the settings naming 19200 (the board answers at
# once).
#
# The settings are a new user's (defaults of every time-out and pause); the
# simulated board erases in 100 ms, sends its checksum 100 ms after the last
# record and restarts in 300 ms, at its own rate.
#
# Goal: whole command <= 1.3 x payload line time + 8 s; the fixed phases (all
# but the data) <= 8 s when the board answers at once.
#
# The fixed pauses that remain, and the phase they show in: the search listens
# 300 ms at each rate that does not answer (identification); the line settles
# 50 ms after each rate change (identification, transfer mode, rates back);
# "Between 2 write" (300 ms) follows a sentence the board does not answer (the
# rate change before the erase, the relay sentences); the end of the data
# waits 150 ms plus the line time of 256 bytes for a late resend request
# (data: "program's side - board's"); the restarted board must keep answering
# for "Reserved 3" (7 s, printed apart).
#
#   bench/transfer/run.sh [BUILD_DIR]   (default build/make-app, made by `make build`)
#   CASES="alone-raw relayed-srec-pack" bench/transfer/run.sh   runs some cases only
#   KEEP=1 keeps the work directory (logs, stamps, simulator logs).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-build/make-app}"
cli="$build/src/tavrel-cli"
sim="$build/src/tavrel-sim"
work="$(mktemp -d "${TMPDIR:-/tmp}/tavrel-bench-transfer.XXXXXX")"
trap '[ -n "${KEEP:-}" ] && echo "kept $work" || rm -rf "$work"' EXIT
payload=262144
rate=115200
for tool in "$cli" "$sim"; do [ -x "$tool" ] || { echo "bench: $tool is missing (make build)" >&2; exit 1; }; done
if "$cli" import --help 2>&1 | grep -q -- --pack; then can_pack=1; else can_pack=0; fi

# The same 256 KiB for every case: random bytes whose first two cannot make
# the file pass for S-records or an absolute file.
python3 -c "
import random, sys
data = bytearray(random.Random(20).getrandbits(8) for _ in range($payload))
data[0:2] = b'\x00\x00'
open(sys.argv[1], 'wb').write(data)" "$work/release.bin"
objcopy -I binary -O srec --srec-forceS3 --srec-len 16 --change-addresses 0x10000 \
  "$work/release.bin" "$work/release.s3"

write_case_files() {
  local dir="$1" topology="$2" release="$3" settings_rate="$4"
  mkdir -p "$dir/config" "$dir/env" "$dir/request" "$dir/images"
  printf '[Paths]\nProducts files=%s/env/\n' "$dir" > "$dir/config/Tavrel.ini"
  [ "$settings_rate" = 9600 ] || printf '[Communication]\nBAUDRATE=%s\n' "$settings_rate" >> "$dir/config/Tavrel.ini"
  cat > "$dir/env.json" <<JSON
{"format": "tavrel-environment", "name": "BENCH", "boards": [
  {"name": "CPU", "subassy_id": "CM", "subassy_hardw": "10", "boot_loader": "CMB2", "prog_id": 1,
   "relayed": false, "destination": "Port A", "processing": "Aucun", "max_speed": "115200",
   "erase_timeout": 10, "restart_timeout": 10, "parent_board": -1, "save_speed": "unchecked"},
  {"name": "GPS", "subassy_id": "GP", "subassy_hardw": "20", "boot_loader": "GPB1", "prog_id": 2,
   "relayed": true, "destination": "Port B", "processing": "Aucun", "max_speed": "115200",
   "erase_timeout": 10, "restart_timeout": 10, "parent_board": 0, "save_speed": "unchecked"}]}
JSON
  local board=CPU hardw=10 index=0 alone=true soft=CPU0200
  [ "$topology" = relayed ] && board=GPS hardw=20 index=1 alone=false soft=GPS0200
  cat > "$dir/request.json" <<JSON
{"format": "tavrel-request", "version": 20, "lines": [
  {"board_name": "$board", "env_name": "BENCH", "subassy_hardw": "$hardw", "board_index": $index,
   "release_file": "$release", "soft_id": "$soft", "board_alone": $alone, "restart": true,
   "transfer_speed": "$rate", "config_speed": "19200"}]}
JSON
  cat > "$dir/receiver.json" <<JSON
{"boards": [
  {"name": "CPU", "subassy": "CM", "hardware": "10", "boot_loader": "CMB2", "software": ["CPU0100"],
   "software_after_load": ["CPU0200"], "rate": 19200, "ports": {"B": 19200}, "progr_id": 1,
   "erase_ms": 100, "checksum_delay_ms": 100, "restart_ms": 300},
  {"name": "GPS", "subassy": "GP", "hardware": "20", "boot_loader": "GPB1", "software": ["GPS0100"],
   "software_after_load": ["GPS0200"], "parent": "CPU", "letter": "B", "rate": 19200, "progr_id": 2,
   "erase_ms": 100, "checksum_delay_ms": 100, "restart_ms": 300}]}
JSON
}

# run_case NAME TOPOLOGY RELEASE PACK SETTINGS_RATE
run_case() {
  local name="$1" topology="$2" release="$3" pack="$4" settings_rate="$5" dir="$work/$1"
  if [ "$pack" = on ] && [ "$can_pack" = 0 ]; then
    echo "== $name: skipped (this tavrel-cli has no import --pack)"
    return
  fi
  local file=cpu.bin board=CPU
  [ "$release" = srec ] && file=cpu.s3
  [ "$topology" = relayed ] && board=GPS
  write_case_files "$dir" "$topology" "$file" "$settings_rate"
  # Packing is on unless the settings say NO.
  [ "$pack" = on ] || printf '[Miscellaneous]\nPack release records=NO\n' >> "$dir/config/Tavrel.ini"
  cp "$work/release.${file##*.}" "$dir/request/$file"
  local c=("$cli" --config-dir "$dir/config" --log "$dir/Tavrel.log")
  "${c[@]}" env import "$dir/env.json" --out "$dir/env/bench.def" >/dev/null
  "${c[@]}" request import "$dir/request.json" --out "$dir/request/bench.sfl" --dir "$dir/env" >/dev/null
  # The conversion is not part of the measure.
  if [ "$pack" = on ]; then "${c[@]}" import --pack "$dir/request/$file" >/dev/null
  else "${c[@]}" import "$dir/request/$file" >/dev/null; fi

  "$sim" --receiver "$dir/receiver.json" --link "$dir/tty" --image-dir "$dir/images" \
         --stats "$dir/stats.json" --log "$dir/sim.log" --pace > "$dir/sim.out" 2>&1 &
  local sim_pid=$!
  for _ in $(seq 50); do grep -q '^ready' "$dir/sim.out" 2>/dev/null && break; sleep 0.1; done
  python3 "$here/phases.py" run "$dir/Tavrel.log" "$dir/stamps.txt" -- \
    "${c[@]}" transfer "$dir/request/bench.sfl" --port "$dir/tty" || true
  sleep 0.5   # the simulator writes its image and summary
  kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true

  local image_ok=0
  if objcopy -I srec -O binary "$dir/images/$board.srec" "$dir/image.bin" 2>/dev/null &&
     cmp -s "$dir/image.bin" "$work/release.bin"; then image_ok=1; fi
  python3 "$here/phases.py" report "$name" "$dir/stamps.txt" "$dir/stats.json" "$dir/sim.log" \
    "$payload" "$rate" "$image_ok"
}

echo "programs of $build"
echo "256 KiB at $rate bit/s, board at 19200 bit/s; settings at 9600 unless the case says 'known'"
export SUMMARY="$work/summary.txt"
: > "$SUMMARY"
all="alone-raw alone-srec alone-srec-pack relayed-raw relayed-srec relayed-srec-pack alone-raw-known relayed-raw-known"
for name in ${CASES:-$all}; do
  topology="${name%%-*}"
  release=raw; [[ "$name" == *srec* ]] && release=srec
  pack=off; [[ "$name" == *pack* ]] && pack=on
  settings_rate=9600; [[ "$name" == *known* ]] && settings_rate=19200
  run_case "$name" "$topology" "$release" "$pack" "$settings_rate"
done
echo
echo "case                  whole s  ratio   data s  fixed s  (ratio = whole / payload line time)"
cat "$SUMMARY"
