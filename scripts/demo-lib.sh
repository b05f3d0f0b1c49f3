# Sourced by the demo scripts: writes the demo's files into $work and
# starts the simulator. Needs $work, $cli and $sim; sets $sim_pid.
#   cli_run ...      tavrel-cli with the demo's settings and log
#   demo_files       settings, environment, request, receiver, release files
#   demo_start_sim   starts tavrel-sim on $work/tty

cli_run() { "$cli" --config-dir "$work/config" --log "$work/Tavrel.log" "$@"; }

demo_files() {
  mkdir -p "$work/config" "$work/env" "$work/request" "$work/images"
  # Settings of the demo: its own environment directory, no pause between sentences.
  cat > "$work/config/Tavrel.ini" <<INI
[Paths]
Products files=$work/env/
[Times out]
Between 2 write (ms.)=0
[Miscellaneous]
Auto speed min. range=9600
Auto speed max. range=115200
INI

  cat > "$work/env.json" <<'JSON'
{"format": "tavrel-environment", "name": "DEMO", "boards": [
  {"name": "CPU", "subassy_id": "CM", "subassy_hardw": "10", "boot_loader": "CMB2", "prog_id": 1,
   "relayed": false, "destination": "Port A", "processing": "Aucun", "max_speed": "115200",
   "erase_timeout": 10, "restart_timeout": 10, "parent_board": -1, "save_speed": "unchecked"},
  {"name": "GPS", "subassy_id": "GP", "subassy_hardw": "20", "boot_loader": "GPB1", "prog_id": 2,
   "relayed": true, "destination": "Port B", "processing": "Aucun", "max_speed": "115200",
   "erase_timeout": 10, "restart_timeout": 10, "parent_board": 0, "save_speed": "unchecked"}]}
JSON

  cat > "$work/request.json" <<'JSON'
{"format": "tavrel-request", "version": 20, "lines": [
  {"board_name": "GPS", "env_name": "DEMO", "subassy_hardw": "20", "board_index": 1,
   "release_file": "gps.s19", "soft_id": "GPS0200", "board_alone": false, "restart": true,
   "transfer_speed": "57600", "config_speed": "9600"},
  {"board_name": "CPU", "env_name": "DEMO", "subassy_hardw": "10", "board_index": 0,
   "release_file": "cpu.s19", "soft_id": "CPU0200", "board_alone": true, "restart": false,
   "transfer_speed": "115200", "config_speed": "9600"}]}
JSON

  # The receiver: the same two boards, running older software.
  cat > "$work/receiver.json" <<'JSON'
{"boards": [
  {"name": "CPU", "subassy": "CM", "hardware": "10", "boot_loader": "CMB2",
   "software": ["CPU0100"], "software_after_load": ["CPU0200"],
   "rate": 9600, "ports": {"B": 19200}, "progr_id": 1, "erase_ms": 300, "restart_ms": 500},
  {"name": "GPS", "subassy": "GP", "hardware": "20", "boot_loader": "GPB1",
   "software": ["GPS0100"], "software_after_load": ["GPS0200"],
   "parent": "CPU", "letter": "B", "rate": 19200, "progr_id": 2, "erase_ms": 200, "restart_ms": 500}]}
JSON

  cli_run env import "$work/env.json" --out "$work/env/demo.def" >/dev/null
  cli_run request import "$work/request.json" --out "$work/request/demo.sfl" --dir "$work/env" >/dev/null

  # Release files: random images turned into S-records.
  head -c 8192 /dev/urandom > "$work/cpu.bin"
  head -c 6000 /dev/urandom > "$work/gps.bin"
  objcopy -I binary -O srec --change-addresses 0x10000 "$work/cpu.bin" "$work/request/cpu.s19"
  objcopy -I binary -O srec --change-addresses 0x20000 "$work/gps.bin" "$work/request/gps.s19"
}

demo_start_sim() {
  "$sim" --receiver "$work/receiver.json" --link "$work/tty" --image-dir "$work/images" \
         --stats "$work/sim-stats.json" --log "$work/sim.log" > "$work/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 50); do grep -q '^ready' "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
  grep -q '^ready' "$work/sim.out" || { echo "demo: the simulator did not start" >&2; cat "$work/sim.out" >&2; return 1; }
  echo "demo: simulator $(cat "$work/sim.out")"
}
