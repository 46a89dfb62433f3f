#!/bin/bash
# Imaging throughput: twl image against dd bs=1M and cat copying the same multi-gigabyte image
# file, page cache warm, in one run. Copies go to /dev/shm when it has room (so that the
# figure is the copy's own cost, not the disk's), else under build/bench.
#
#   bench/image-vs-dd.sh [SIZE_GIB]    (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
size_gib=${1:-2}

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target twl >/dev/null
twl=build/src/cli/twl

mkdir -p build/bench
image=build/bench/copy-${size_gib}g.img
[ -f "$image" ] || head -c "${size_gib}G" /dev/urandom >"$image"
out_dir=build/bench
free_kib=$(df -k --output=avail /dev/shm 2>/dev/null | tail -n1 || echo 0)
[ "${free_kib:-0}" -gt $((size_gib * 1024 * 1024 * 2)) ] && out_dir=/dev/shm
out=$out_dir/twl-bench-copy.img

seconds() { bash -c "TIMEFORMAT=%R; time ( $1 ) 2>&1 >/dev/null" 2>&1 | tail -n1; }
best() { # the faster of two runs
    local a b
    a=$(seconds "$1"); rm -f "$out"; b=$(seconds "$1"); rm -f "$out"
    awk -v a="$a" -v b="$b" 'BEGIN { print (a < b ? a : b) }'
}
cat "$image" >/dev/null
dd_s=$(best "dd if=$image of=$out bs=1M status=none")
cat_s=$(best "cat $image >$out")
twl_s=$(best "$twl image $image -o $out")
bytes=$(stat -c %s "$image")
awk -v b="$bytes" -v d="$dd_s" -v c="$cat_s" -v t="$twl_s" -v o="$out_dir" 'BEGIN {
    printf "image %.2f GiB, copies to %s\n", b / 2^30, o
    printf "dd bs=1M    %.2f s  %.0f MiB/s\n", d, b / 2^20 / d
    printf "cat         %.2f s  %.0f MiB/s\n", c, b / 2^20 / c
    printf "twl image   %.2f s  %.0f MiB/s\n", t, b / 2^20 / t
    printf "twl / dd    %.0f%%\n", 100 * d / t
}'
