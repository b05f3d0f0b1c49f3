#!/usr/bin/env bash
# Runs every fuzz target (or the ones named) for SECONDS each, one after the
# other: tests/fuzz/run.sh BUILD_DIR SECONDS [target...]
# Each target starts from its seeds in tests/fuzz/corpus/<target>/ and, for the
# release readers, the files of the shared test data; what it finds goes to
# BUILD_DIR/fuzz-corpus/<target>/ and crashes to BUILD_DIR/fuzz-crashes/<target>/.
# Extra libFuzzer options may be given in FUZZ_OPTIONS. Exit status 1 when a
# target crashed, with the crash's input named on the output.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:?build directory}"
seconds="${2:-30}"
shift 2 || true
shared="${TAVREL_SHARED_TESTDATA:-$here/../../../shared/testdata}"

all=(fuzz_def fuzz_sfl fuzz_clipboard fuzz_json fuzz_ini fuzz_srecord fuzz_absolute fuzz_ieee695 fuzz_any
     fuzz_vle fuzz_sentence fuzz_record fuzz_receive fuzz_ident fuzz_intelhex fuzz_elf fuzz_settings fuzz_batch
     fuzz_receiver fuzz_history)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")

# Shared test files that make good seeds for a target (never copied into the repo).
shared_seeds() {
    case "$1" in
        fuzz_srecord) echo "$shared/ieee695/m16c-menu.mot" ;;
        fuzz_ieee695) echo "$shared/ieee695/m16c-menu.x30" ;;
        fuzz_any) echo "$shared/ieee695/m16c-menu.mot $shared/ieee695/m16c-menu.x30" ;;
    esac
}

# The release readers write and read back a file for every input: a scratch
# directory in memory runs them several times faster than one on a disk.
base="${TMPDIR:-}"
if [ -z "$base" ]; then
    base=/tmp
    [ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
fi
scratch="$(mktemp -d "$base/tavrel-fuzz-run-XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
failed=()
for target in "${targets[@]}"; do
    binary="$build/tests/fuzz/$target"
    if [ ! -x "$binary" ]; then
        echo "fuzz: $target is not built in $build" >&2
        failed+=("$target")
        continue
    fi
    corpus="$build/fuzz-corpus/$target"
    crashes="$build/fuzz-crashes/$target"
    extra="$scratch/$target-shared"
    mkdir -p "$corpus" "$crashes" "$extra"
    for f in $(shared_seeds "$target"); do
        [ -r "$f" ] && ln -sf "$f" "$extra/"
    done
    log="$build/fuzz-crashes/$target.log"
    echo "fuzz: $target for ${seconds}s"
    # shellcheck disable=SC2086
    TAVREL_FUZZ_TMP="$scratch" "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$crashes/" ${FUZZ_OPTIONS:-} \
        "$corpus" "$here/corpus/$target" "$extra" >"$log" 2>&1
    status=$?
    runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')"
    if [ $status -ne 0 ]; then
        echo "fuzz: $target FAILED after ${runs:-?} executions (log: $log)"
        grep -E 'ERROR|property failed|Test unit written' "$log" | head -5
        failed+=("$target")
    else
        echo "fuzz: $target ok, ${runs:-?} executions"
    fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz: failed: ${failed[*]}"; exit 1; }
