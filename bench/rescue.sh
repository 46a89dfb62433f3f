#!/bin/bash
# Imaging a failing disk. A stand-in disk (an image file read through
# bench/rescue/fault-shim.c: reads that touch 0.1 % of its sectors, in four clusters, wait and
# fail, as a dying disk's do) is copied in one run by twl's passes with a map file, by the copy
# engine before the passes, and by GNU ddrescue -r2: the time until every good sector was
# copied, the whole time, and the reads of bad sectors. Then a healthy 1.6 GB image: twl image
# (without and with a map) against dd bs=1M conv=fsync, both onto the disk.
#
#   bench/rescue.sh [DELAY_MS]    (default 20: what one failed read costs)
set -euo pipefail
cd "$(dirname "$0")/.."
delay=${1:-20}
PATH="$PATH:/usr/sbin:/sbin"
command -v ddrescue >/dev/null ||
    { apt-get update -qq && apt-get install -y -qq gddrescue; } >/dev/null
cmake --build build --target twl >/dev/null
twl=$PWD/build/src/cli/twl
work=$PWD/build/bench/rescue
mkdir -p "$work"
gcc -shared -fPIC -O2 -o "$work/fault-shim.so" bench/rescue/fault-shim.c -ldl

# The copy engine before the passes, built once from the commit before them.
before=$work/twl-before-passes
if [ ! -x "$before" ]; then
    tree=$(mktemp -d)
    trap 'git worktree remove --force "$tree"' EXIT
    git worktree add --detach "$tree" 5dd669a^ >/dev/null 2>&1
    cmake -S "$tree" -B "$tree/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$tree/build" --target twl >/dev/null
    cp "$tree/build/src/cli/twl" "$before"
    git worktree remove --force "$tree"
    trap - EXIT
fi

disk=$work/failing.img
sectors=524288 # 256 MiB
[ -f "$disk" ] || head -c $((sectors * 512)) /dev/urandom >"$disk"
ranges=100000:131,200000:131,300000:131,400000:131
cat "$disk" >/dev/null

# Runs a copy of the failing disk through the shim; prints "good-copied total bad-reads".
failing_copy() {
    local log=$work/reads.log
    rm -f "$log" "$work"/out.*
    local start=$(date +%s.%N)
    FAULT_FILE=$disk FAULT_RANGES=$ranges FAULT_DELAY_MS=$delay FAULT_LOG=$log \
        LD_PRELOAD=$work/fault-shim.so "$@" >/dev/null 2>&1 || true
    local end=$(date +%s.%N)
    python3 - "$log" "$sectors" "$ranges" "$start" "$end" <<'PY'
import sys
log, sectors, ranges, start, end = sys.argv[1], int(sys.argv[2]), sys.argv[3], float(sys.argv[4]), float(sys.argv[5])
bad = bytearray(sectors)
for r in ranges.split(","):
    first, count = map(int, r.split(":"))
    bad[first:first + count] = b"\1" * count
good_total = sectors - sum(bad)
covered = bytearray(sectors)
good = 0
good_time = None
bad_reads = 0
t0 = None
for line in open(log):
    t, kind, offset, length = line.split()
    t = float(t)
    t0 = t if t0 is None else t0
    first, end_sector = int(offset) // 512, (int(offset) + int(length) + 511) // 512
    if kind == "bad":
        bad_reads += 1
        continue
    for s in range(first, min(end_sector, sectors)):
        if not covered[s]:
            covered[s] = 1
            good += not bad[s]
    if good == good_total and good_time is None:
        good_time = t - t0
print("%.2f %.2f %d" % (good_time if good_time is not None else -1, end - start, bad_reads))
PY
}

twl_new=$(failing_copy "$twl" image "$disk" -o "$work/out.twl" --map "$work/out.map")
cp "$work/out.twl" "$work/twl-new.img"
twl_old=$(failing_copy "$before" image "$disk" -o "$work/out.twl")
same="the same image"
cmp -s "$work/out.twl" "$work/twl-new.img" || same="DIFFERENT images"
ddr=$(failing_copy ddrescue -r2 -q "$disk" "$work/out.ddr" "$work/out.map")
rm -f "$work/twl-new.img"
echo "== failing disk: 256 MiB, 524 bad sectors (0.1 %) in 4 clusters, $delay ms per failed read"
printf '  %-22s %14s %10s %10s\n' "" "good copied" "total" "bad reads"
for row in "twl image --map:$twl_new" "twl before the passes:$twl_old" "ddrescue -r2:$ddr"; do
    read -r good total reads <<<"${row#*:}"
    printf '  %-22s %12s s %8s s %10s\n' "${row%%:*}" "$good" "$total" "$reads"
done
echo "  twl with and without the passes made $same"

# A healthy image onto the disk. Writing 1.6 GB to a disk varies by a factor of two from run
# to run here, so the three take turns, five times, and the fastest run of each counts.
healthy=$work/healthy.img
[ -f "$healthy" ] || head -c 1600M /dev/urandom >"$healthy"
cat "$healthy" >/dev/null
seconds() { bash -c "TIMEFORMAT=%R; time ( $1 ) 2>&1 >/dev/null" 2>&1 | tail -n1; }
dd_s=1e9 twl_s=1e9 map_s=1e9
least() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b ? a : b) }'; }
for _ in 1 2 3 4 5; do
    dd_s=$(least "$dd_s" "$(seconds "dd if=$healthy of=$work/copy.dd bs=1M conv=fsync status=none")")
    rm -f "$work"/copy.*
    twl_s=$(least "$twl_s" "$(seconds "$twl image $healthy -o $work/copy.img")")
    rm -f "$work"/copy.*
    map_s=$(least "$map_s" "$(seconds "$twl image $healthy -o $work/copy.img --map $work/copy.map")")
    rm -f "$work"/copy.*
done
bytes=$(stat -c %s "$healthy")
awk -v b="$bytes" -v d="$dd_s" -v t="$twl_s" -v m="$map_s" 'BEGIN {
    printf "== healthy image, %.2f GB, onto the disk\n", b / 1e9
    printf "  dd bs=1M conv=fsync   %6.2f s  %5.0f MiB/s\n", d, b / 2^20 / d
    printf "  twl image             %6.2f s  %5.0f MiB/s  %.2fx dd (target >= 0.9)\n", t, b / 2^20 / t, d / t
    printf "  twl image --map       %6.2f s  %5.0f MiB/s  %.2fx dd\n", m, b / 2^20 / m, d / m
}'
