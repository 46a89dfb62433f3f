#!/bin/bash
# Save All of a volume holding about 1 GB of file data, against The Sleuth Kit's
# tsk_recover -a and against cp -r of the folder the volume was made from (the limit), in one
# run, page cache warm. Saved copies go to /dev/shm when it has room.
#
#   bench/save-vs-tsk.sh [MIB]    (default 1024)
set -euo pipefail
cd "$(dirname "$0")/.."
mib=${1:-1024}
PATH="$PATH:/usr/sbin:/sbin"

command -v tsk_recover >/dev/null || {
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq sleuthkit >/dev/null
}
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target twl >/dev/null
twl=$PWD/build/src/cli/twl

work=build/bench/save-$mib
image=$work/fs.img
if [ ! -f "$image" ]; then
    echo "making $image with $mib MiB of files" >&2
    rm -rf "$work" && mkdir -p "$work/src"
    python3 - "$work/src" "$mib" <<'PY'
import os, sys
root, mib = sys.argv[1], int(sys.argv[2])
chunk = os.urandom(1 << 20)
for i in range(mib):  # files of 64 KiB to 4 MiB in 64 folders
    folder = os.path.join(root, "d%02d" % (i % 64))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%05d.bin" % i), "wb") as f:
        size = (64 << 10) << (i % 7)
        f.write((chunk * 4)[:size])
PY
    E2FSPROGS_FAKE_TIME=1700000000 mke2fs -q -F -t ext3 -d "$work/src" "$image" \
        "$(( $(du -sm "$work/src" | cut -f1) * 12 / 10 + 64 ))M" >/dev/null
fi
[ -d "$work/src" ] || { echo "the source folder of $image is gone; remove $work" >&2; exit 1; }

out=build/bench/save-out
free_kib=$(df -k --output=avail /dev/shm 2>/dev/null | tail -n1 || echo 0)
[ "${free_kib:-0}" -gt $(( $(du -sk "$work/src" | cut -f1) * 3 )) ] && out=/dev/shm/twl-save-bench
seconds() { bash -c "TIMEFORMAT=%R; time ( $1 ) 2>&1 >/dev/null" 2>&1 | tail -n1; }
run() { rm -rf "$out"; local s; s=$(seconds "$1"); rm -rf "$out"; echo "$s"; }

cat "$image" >/dev/null
cat "$work"/src/*/* >/dev/null
cp_s=$(run "cp -r $work/src $out")
tsk_s=$(run "mkdir -p $out && tsk_recover -a $image $out")
twl_s=$(run "$twl save $image --mode scan --out $out")
bytes=$(du -sb "$work/src" | cut -f1)
awk -v b="$bytes" -v c="$cp_s" -v k="$tsk_s" -v t="$twl_s" 'BEGIN {
    printf "file data          %.0f MiB\n", b / 2^20
    printf "cp -r (the limit)  %.2f s  %.0f MiB/s\n", c, b / 2^20 / c
    printf "tsk_recover -a     %.2f s  %.0f MiB/s\n", k, b / 2^20 / k
    printf "twl save           %.2f s  %.0f MiB/s\n", t, b / 2^20 / t
    printf "tsk_recover / twl  %.2f\n", k / t
}'
