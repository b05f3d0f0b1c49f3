#!/usr/bin/env bash
# The soak benchmark: builds tavrel-bench-soak (optimised, no sanitizers) and
# runs it. bench/soak/run.sh [transfers] [more options of tavrel-bench-soak]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${SOAK_BUILD:-$root/build/bench-soak}"
transfers="${1:-300}"
shift || true
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVREL_TESTS=OFF -DTAVREL_GUI=OFF >/dev/null
cmake --build "$build" --target tavrel-bench-soak -j "${JOBS:-2}" >/dev/null
exec nice -n 10 "$build/bench/soak/tavrel-bench-soak" --transfers "$transfers" "$@"
