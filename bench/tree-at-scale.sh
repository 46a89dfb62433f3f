#!/bin/bash
# Tree building and Turbo Scan at scale, against The Sleuth Kit and e2fsck, on two volumes whose
# folders are indexed (entries listed in hash order, not in inode order, as a kernel leaves them):
#   ext3-1m    1,000,000 files in 2,000 folders, ext3, 4 KiB blocks, 256-byte inodes
#   ext2-100k  100,000 files in 2,000 folders, ext2, 1 KiB blocks
#   ext4-1m    1,000,000 files in 2,000 folders, ext4 (mke2fs's default features), 4 KiB blocks
#   ext4-100k  100,000 files in 2,000 folders, ext4, 4 KiB blocks (bench/ext4-save.sh saves it)
# Each is one partition from sector 2048 of an MBR disk image under build/bench/. Page cache
# warm, the faster of two runs each, all tools in one run. Prints for each volume:
#   - `twl tree --format tsv` against `fls -r -p` and `e2fsck -fn`, with the ratios;
#   - `twl tree --turbo --format tsv` against `fls -r -p` plus `ils -e`;
#   - read calls and bytes read of each (from /proc/PID/io), and the inode tables in use plus
#     the directory blocks, the least a tree build must read;
#   - twl's peak memory per catalogue node, scan information save, load time and peak memory;
#   - cold-cache times of `twl tree` and `fls -r -p`, when the page cache can be dropped.
# With BEFORE=path/to/an/older/twl, also checks that the tree listing, the Turbo Scan listing
# and the bytes Save All writes are the same as that build's.
#
#   bench/tree-at-scale.sh [ext3-1m|ext2-100k|ext4-1m|ext4-100k|all]   (default all: the
#   ext3 and ext2 volumes)
set -euo pipefail
cd "$(dirname "$0")/.."
which=${1:-all}
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

[ -f build/CMakeCache.txt ] ||
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target twl >/dev/null
twl=$PWD/build/src/cli/twl
start=2048
offset=$((start * 512))

# make_volume NAME FILES FSTYPE MKE2FS_OPTIONS: FILES files of a few bytes in 2,000 folders,
# made with mke2fs -d, then every folder indexed by e2fsck -fD.
make_volume() {
    local name=$1 files=$2 fstype=$3 options=$4
    local work=build/bench/scale-$name image=build/bench/scale-$name/disk.img
    [ -f "$image" ] && return
    echo "making $image: $files files in 2000 folders" >&2
    local src
    src=$(mktemp -d /dev/shm/twl-scale.XXXXXX 2>/dev/null || mktemp -d)
    rm -rf "$work" && mkdir -p "$work"
    python3 - "$src" "$files" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(2000):
    os.mkdir(os.path.join(root, "d%04d" % i))
for i in range(count):
    with open(os.path.join(root, "d%04d" % (i % 2000), "file-%07d.txt" % i), "w") as f:
        f.write("%d\n" % i)
PY
    local mib=$((files * 6 / 1024 + 256))
    echo "label: dos
start=$start, size=$((mib * 2048)), type=83" >"$work/layout"
    scripts/make-disk-image "$image.part" $((mib + 2)) "$work/layout" \
        "1:$fstype:$src::$options -N $((files + 10000))" >/dev/null
    rm -rf "$src"
    E2FSPROGS_FAKE_TIME=1700000000 e2fsck -fyD "$image.part?offset=$offset" >/dev/null 2>&1 || true
    mv "$image.part" "$image"
}

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
# "CALLS BYTES": the read system calls and bytes read of a command and its children, from the
# counts /proc/self/io gains when they have been waited for.
reads() {
    python3 - "$1" <<'PY'
import subprocess, sys
def io():
    with open("/proc/self/io") as f:
        return {k: int(v) for k, v in (line.split(": ") for line in f)}
before = io()
subprocess.run(["bash", "-c", "exec " + sys.argv[1] + " >/dev/null 2>&1"])
after = io()
print(after["syscr"] - before["syscr"], after["rchar"] - before["rchar"])
PY
}
drop_caches() { sync && echo 3 >/proc/sys/vm/drop_caches 2>/dev/null; }

# The listings and saved bytes of this build against those of $BEFORE.
compare_before() {
    local image=$1 out
    out=$(mktemp -d)
    for build in now before; do
        local bin=$twl
        [ $build = before ] && bin=$BEFORE
        # The first nine columns: older builds print no state and origin.
        "$bin" tree "$image" --format tsv 2>/dev/null | cut -f1-9 >"$out/$build.tree"
        "$bin" tree "$image" --turbo --format tsv 2>/dev/null | cut -f1-9 >"$out/$build.turbo"
        "$bin" save "$image" --out "$out/$build.saved" >/dev/null 2>&1 || true
        (cd "$out/$build.saved" && find . -type f -print0 | sort -z | xargs -0 sha1sum) \
            >"$out/$build.sums" 2>/dev/null || true
    done
    for kind in tree turbo sums; do
        if cmp -s "$out/now.$kind" "$out/before.$kind"; then
            printf "  same as before: %-6s %s lines\n" "$kind" "$(wc -l <"$out/now.$kind")"
        else
            printf "  DIFFERS from before: %s\n" "$kind"
        fi
    done
    rm -rf "$out"
}

bench_volume() {
    local name=$1 image=build/bench/scale-$1/disk.img
    local dev="$image?offset=$offset"
    cat "$image" >/dev/null
    local tree="$twl tree $image --format tsv"
    local turbo="$twl tree $image --turbo --format tsv"
    local fls="fls -r -p -o $start $image"
    local ils="ils -e -o $start $image"
    local fsck="e2fsck -fn $dev"

    local twl_s fls_s fsck_s turbo_s flsils_s
    twl_s=$(best "$tree")
    fls_s=$(best "$fls")
    fsck_s=$(best "$fsck")
    turbo_s=$(best "$turbo")
    flsils_s=$(best "$fls; $ils")

    local nodes dir_bytes used inode_size tables
    nodes=$($tree 2>/dev/null | tail -n +2 | wc -l)
    dir_bytes=$($tree 2>/dev/null | awk -F'\t' 'NR > 1 && $2 == 2 { s += $4 } END { print s + 0 }')
    read -r used inode_size < <(dumpe2fs -h "$dev" 2>/dev/null | awk -F': *' '
        /^Inode count/ { n = $2 } /^Free inodes/ { f = $2 } /^Inode size/ { s = $2 }
        END { print n - f, s }')
    tables=$((used * inode_size))

    local tree_io turbo_io fls_io fsck_io
    tree_io=$(reads "$tree")
    turbo_io=$(reads "$turbo")
    fls_io=$(reads "$fls")
    fsck_io=$(reads "$fsck")

    local twl_kib idle_kib
    twl_kib=$(peak_kib "$tree")
    idle_kib=$(peak_kib "$twl drives")
    local scaninfo=build/bench/scale-$name/bench.ds1
    local save_s load_s load_kib
    save_s=$(seconds "$twl scaninfo save $image -o $scaninfo")
    load_s=$(best "$twl tree --scaninfo $scaninfo --format tsv")
    load_kib=$(peak_kib "$twl tree --scaninfo $scaninfo --format tsv")

    local cold_twl=- cold_fls=-
    if drop_caches; then
        cold_twl=$(seconds "$tree")
        drop_caches
        cold_fls=$(seconds "$fls")
    fi

    echo "== $name: $nodes catalogue nodes"
    awk -v t="$twl_s" -v f="$fls_s" -v e="$fsck_s" -v tu="$turbo_s" -v fi="$flsils_s" \
        -v ti="$tree_io" -v tui="$turbo_io" -v fli="$fls_io" -v ei="$fsck_io" \
        -v tb="$tables" -v db="$dir_bytes" -v n="$nodes" -v k="$twl_kib" -v i="$idle_kib" \
        -v s="$save_s" -v l="$load_s" -v lk="$load_kib" -v ct="$cold_twl" -v cf="$cold_fls" '
    function io(label, pair,   p) {
        split(pair, p, " ")
        printf "  %-28s %9d read calls, %8.1f MiB read\n", label, p[1], p[2] / 1048576
    }
    BEGIN {
        printf "  twl tree --format tsv        %.3f s\n", t
        printf "  fls -r -p                    %.3f s   twl/fls %.3f (target <= 0.15)\n", f, t / f
        printf "  e2fsck -fn                   %.3f s   twl/e2fsck %.3f (target <= 0.5)\n", e, t / e
        printf "  twl tree --turbo             %.3f s\n", tu
        printf "  fls -r -p + ils -e           %.3f s   turbo/(fls+ils) %.3f (target <= 0.3)\n", \
            fi, tu / fi
        io("twl tree", ti)
        io("twl tree --turbo", tui)
        io("fls -r -p", fli)
        io("e2fsck -fn", ei)
        split(ti, p, " ")
        printf "  inode tables in use %.1f MiB + folders %.1f MiB; twl tree read %.2f times that\n", \
            tb / 1048576, db / 1048576, p[2] / (tb + db)
        printf "  twl tree peak RSS            %.1f MiB, %.0f bytes per node (%.0f above an idle twl)\n", \
            k / 1024, k * 1024 / n, (k - i) * 1024 / n
        printf "  scaninfo save                %.3f s\n", s
        printf "  scaninfo load and print      %.3f s, peak RSS %.1f MiB (tree from disk %.1f MiB)\n", \
            l, lk / 1024, k / 1024
        if (ct == "-")
            print "  cold cache                   not measured (the page cache cannot be dropped here)"
        else
            printf "  cold cache                   twl tree %.3f s, fls -r -p %.3f s\n", ct, cf
    }'
    if [ -n "${BEFORE:-}" ]; then
        compare_before "$image"
    fi
}

case $which in
ext3-1m | ext2-100k | ext4-1m | ext4-100k | all) ;;
*) echo "usage: $0 [ext3-1m|ext2-100k|ext4-1m|ext4-100k|all]" >&2 && exit 2 ;;
esac
if [ "$which" = all ] || [ "$which" = ext3-1m ]; then
    make_volume ext3-1m 1000000 ext3 "-b 4096 -I 256"
    bench_volume ext3-1m
fi
if [ "$which" = all ] || [ "$which" = ext2-100k ]; then
    make_volume ext2-100k 100000 ext2 "-b 1024 -I 128"
    bench_volume ext2-100k
fi
for ext4 in ext4-1m ext4-100k; do
    [ "$which" = $ext4 ] || continue
    files=1000000
    [ $ext4 = ext4-100k ] && files=100000
    make_volume $ext4 $files ext4 "-b 4096"
    bench_volume $ext4
done
