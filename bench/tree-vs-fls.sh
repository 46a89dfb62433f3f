#!/bin/bash
# Tree building of a large ext3 volume against The Sleuth Kit's fls -r -p on the same image in
# one run, then saving and loading its scan information. Prints times, the ratio, and twl's
# peak memory per catalogue node.
#
#   bench/tree-vs-fls.sh [FILES]    (default 500000)
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-500000}
PATH="$PATH:/usr/sbin:/sbin"

need=()
command -v fls >/dev/null || need+=(sleuthkit)
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -ne 0 ]; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target twl >/dev/null
twl=$PWD/build/src/cli/twl

work=build/bench/tree-$files
image=$work/fs.img
if [ ! -f "$image" ]; then
    echo "making $image with $files files in 1000 folders" >&2
    rm -rf "$work" && mkdir -p "$work/src"
    python3 - "$work/src" "$files" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = os.path.join(root, "d%03d" % (i % 1000))
    if i < 1000:
        os.mkdir(folder)
    with open(os.path.join(folder, "file-%07d.txt" % i), "w") as f:
        f.write("%d\n" % i)
PY
    E2FSPROGS_FAKE_TIME=1700000000 mke2fs -q -F -t ext3 -N $((files + 10000)) -d "$work/src" \
        "$image" $((files * 6 + 262144))k >/dev/null
    rm -rf "$work/src"
fi

seconds() { bash -c "TIMEFORMAT=%R; time ( $1 ) 2>&1 >/dev/null" 2>&1 | tail -n1; }
best() { local a b; a=$(seconds "$1"); b=$(seconds "$1"); awk -v a="$a" -v b="$b" 'BEGIN { print (a < b ? a : b) }'; }
peak_kib() { /usr/bin/time -f %M bash -c "$1 >/dev/null 2>&1" 2>&1 | tail -n1; }

cat "$image" >/dev/null
twl_s=$(best "$twl tree $image --mode scan --format tsv >/dev/null 2>&1")
fls_s=$(best "fls -r -p $image >/dev/null")
nodes=$($twl tree "$image" --mode scan --format tsv 2>/dev/null | tail -n +2 | wc -l)
twl_kib=$(peak_kib "$twl tree $image --mode scan --format tsv")
base_kib=$(peak_kib "$twl drives")

scaninfo=$work/bench.ds1
save_s=$(seconds "$twl scaninfo save $image --mode scan -o $scaninfo >/dev/null 2>&1")
tree_s=$(seconds "$twl tree $image --mode scan --format tsv >/dev/null 2>&1")
load_s=$(seconds "$twl tree --scaninfo $scaninfo --format tsv >/dev/null 2>&1")
load_kib=$(peak_kib "$twl tree --scaninfo $scaninfo --format tsv")

awk -v t="$twl_s" -v f="$fls_s" -v n="$nodes" -v k="$twl_kib" -v b="$base_kib" \
    -v s="$save_s" -v tr="$tree_s" -v l="$load_s" -v lk="$load_kib" 'BEGIN {
    printf "catalogue nodes           %d\n", n
    printf "twl tree --format tsv     %.2f s\n", t
    printf "fls -r -p                 %.2f s\n", f
    printf "fls / twl                 %.2f\n", f / t
    printf "twl peak memory           %.1f MiB (%.0f bytes per node, names included)\n", k / 1024, (k - b) * 1024 / n
    printf "scaninfo save             %.2f s (tree building %.2f s of it)\n", s, tr
    printf "scaninfo load and print   %.2f s, peak %.1f MiB\n", l, lk / 1024
}'
