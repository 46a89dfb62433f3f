#!/bin/bash
# Thorough logical volume scan throughput against the bandwidth limit of reading the image
# (cat IMAGE >/dev/null), on one multi-gigabyte image in one run. Both read from the page
# cache after a warm-up read, so the figure is the scan's own cost per byte.
#
#   bench/scan-throughput.sh [SIZE_GIB]    (default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
size_gib=${1:-3}
PATH="$PATH:/usr/sbin:/sbin"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target twl >/dev/null
twl=build/src/cli/twl

mkdir -p build/bench
image=build/bench/scan-${size_gib}g.img
if [ ! -f "$image" ]; then
    echo "making $image: random bytes with two ext3 file systems inside" >&2
    head -c "${size_gib}G" /dev/urandom >"$image"
    fs=build/bench/scan-fs.img
    for start in 2048 $((size_gib * 1024 * 1024))
    do
        rm -f "$fs"
        mke2fs -q -F -t ext3 "$fs" 65536 >/dev/null
        dd if="$fs" of="$image" bs=512 seek="$start" conv=notrunc status=none
    done
    rm -f "$fs"
fi

seconds() { /usr/bin/env bash -c "TIMEFORMAT=%R; time ( $1 ) 2>&1 >/dev/null" 2>&1 | tail -n1; }
cat "$image" >/dev/null # warm the page cache
cat_s=$(seconds "cat $image >/dev/null")
scan_s=$(seconds "$twl volumes $image --mode scan --thorough 2>/dev/null")
bytes=$(stat -c %s "$image")
awk -v b="$bytes" -v c="$cat_s" -v s="$scan_s" 'BEGIN {
    printf "image              %.2f GiB\n", b / 2^30
    printf "cat                %.2f s  %.0f MiB/s\n", c, b / 2^20 / c
    printf "twl thorough scan  %.2f s  %.0f MiB/s\n", s, b / 2^20 / s
    printf "scan / limit       %.0f%%\n", 100 * c / s
}'
