#!/usr/bin/env bash
# Speed of the history with 100 000 loads (release build):
#   bench/history/run.sh [BUILD_DIR]
# 1. the bench program builds a history of 100 000 loads (50 boards over a
#    year) and times, in one run, the filtered listing of
#    `history --board NAME --since DATE` (target < 50 ms) and the opening of
#    the history window on the offscreen platform (target < 300 ms);
# 2. the same listing through the real tavrel-cli, whole process included.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-build/make-app}"
cmake -S "$here/../.." -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVREL_TESTS=OFF >/dev/null
cmake --build "$build" --target tavrel-bench-history tavrel-cli >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
QT_QPA_PLATFORM=offscreen "$build/bench/history/tavrel-bench-history" "$work/history.sqlite" 100000 || status=$?
since="$(date -u -d '30 days ago' +%Y-%m-%d)"
start=$(date +%s%N)
for _ in 1 2 3 4 5 6 7 8 9 10; do
  "$build/src/tavrel-cli" --config-dir "$work" --log "$work/Tavrel.log" --history "$work/history.sqlite" \
    history --board BOARD7 --since "$since" --limit 0 >/dev/null
done
end=$(date +%s%N)
echo "tavrel-cli history --board BOARD7 --since $since, whole process: $(( (end - start) / 10000000 )) ms per run"
exit "${status:-0}"
