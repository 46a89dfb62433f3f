#!/bin/bash
# Tree building of a large ext3 volume: `twl tree --format tsv` against The Sleuth Kit's
# `fls -r -p` on the same partitioned disk image, in one run, page cache warm, the faster of two
# runs each. Prints both times, the ratio, twl's peak memory and that per catalogue node, then
# the time to save the catalogue as scan information and to load and print it again.
#
#   bench/tree-vs-fls.sh [FILES]    (default 500000)
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-500000}
PATH="$PATH:/usr/sbin:/sbin"

need=()
command -v fls >/dev/null || need+=(sleuthkit)
command -v mke2fs >/dev/null || need+=(e2fsprogs)
command -v sfdisk >/dev/null || need+=(fdisk)
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -ne 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}" >/dev/null
fi

# One ext3 partition from sector 2048 of an MBR disk, holding FILES files of a few bytes in
# 1000 folders.
work=build/bench/tree-disk-$files
image=$work/disk.img
start=2048
if [ ! -f "$image" ]; then
    echo "making $image with $files files in 1000 folders" >&2
    rm -rf "$work" && mkdir -p "$work/src"
    python3 - "$work/src" "$files" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(1000):
    os.mkdir(os.path.join(root, "d%03d" % i))
for i in range(count):
    with open(os.path.join(root, "d%03d" % (i % 1000), "file-%07d.txt" % i), "w") as f:
        f.write("%d\n" % i)
PY
    mib=$((files * 5 / 1024 + 256))
    echo "label: dos
start=$start, size=$((mib * 2048)), type=83" >"$work/layout"
    scripts/make-disk-image "$image.part" $((mib + 2)) "$work/layout" \
        "1:ext3:$work/src::-N $((files + 10000))" >/dev/null
    mv "$image.part" "$image"
    rm -rf "$work/src"
fi

# The shared build folder as it is configured; a RelWithDebInfo one when there is none yet.
[ -f build/CMakeCache.txt ] ||
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target twl >/dev/null
twl=$PWD/build/src/cli/twl

seconds() { bash -c "TIMEFORMAT=%R; time ( $1 ) 2>&1 >/dev/null" 2>&1 | tail -n1; }
best() {
    local a b
    a=$(seconds "$1")
    b=$(seconds "$1")
    awk -v a="$a" -v b="$b" 'BEGIN { print (a < b ? a : b) }'
}
peak_kib() {
    /usr/bin/time -v bash -c "exec $1 >/dev/null 2>&1" 2>&1 |
        awk -F': ' '/Maximum resident set size/ { print $2 }'
}

cat "$image" >/dev/null
twl_s=$(best "$twl tree $image --format tsv >/dev/null 2>&1")
fls_s=$(best "fls -r -p -o $start $image >/dev/null")
nodes=$($twl tree "$image" --format tsv 2>/dev/null | tail -n +2 | wc -l)
fls_lines=$(fls -r -p -o $start "$image" | wc -l)
twl_kib=$(peak_kib "$twl tree $image --format tsv")
idle_kib=$(peak_kib "$twl drives")

scaninfo=$work/bench.ds1
save_s=$(seconds "$twl scaninfo save $image -o $scaninfo >/dev/null 2>&1")
load_s=$(seconds "$twl tree --scaninfo $scaninfo --format tsv >/dev/null 2>&1")
load_kib=$(peak_kib "$twl tree --scaninfo $scaninfo --format tsv")

awk -v t="$twl_s" -v f="$fls_s" -v n="$nodes" -v fl="$fls_lines" -v k="$twl_kib" \
    -v i="$idle_kib" -v s="$save_s" -v l="$load_s" -v lk="$load_kib" 'BEGIN {
    printf "catalogue nodes           %d (fls lines %d)\n", n, fl
    printf "twl tree --format tsv     %.2f s\n", t
    printf "fls -r -p                 %.2f s\n", f
    printf "fls / twl                 %.2f\n", f / t
    printf "twl peak RSS              %.1f MiB\n", k / 1024
    printf "bytes per node            %.0f (%.0f above the %.1f MiB of an idle twl)\n", \
        k * 1024 / n, (k - i) * 1024 / n, i / 1024
    printf "scaninfo save             %.2f s\n", s
    printf "scaninfo load and print   %.2f s, peak RSS %.1f MiB\n", l, lk / 1024
}'
