#!/usr/bin/env bash
# Conversion benchmark: a 32 MiB S3 file made by objcopy from random data,
# converted by Tavrel, by srec_cat and by objcopy, with CPU-time ratios and
# peak memory. A 4 MiB S3 file is converted too, to show that Tavrel's peak
# memory does not grow with the file size.
#   bench/convert/run.sh [REPEATS]
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$root/build/bench-convert"
repeats="${1:-3}"

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target tavrel-bench-convert -j 2 >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# objcopy writes 16 data bytes in a 47-byte S3 line: 32 MiB of S3 text holds
# about 32 MiB * 16 / 47 bytes of data.
head -c $((32 * 1024 * 1024 * 16 / 47)) /dev/urandom >"$work/large.bin"
head -c $((4 * 1024 * 1024 * 16 / 47)) /dev/urandom >"$work/small.bin"
for size in large small; do
  objcopy -I binary -O srec --srec-forceS3 "$work/$size.bin" "$work/$size.s3"
done

python3 "$here/measure.py" "$build/tavrel-bench-convert" "$work" "$repeats"

# The records must give back the same bytes as srec_cat's image.
cmp -s "$work/large.bin" "$work/large.srec_cat.bin" && echo "srec_cat image matches the data"
