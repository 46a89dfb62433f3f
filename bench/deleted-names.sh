#!/bin/bash
# Names of files deleted the old way (older kernels and `debugfs rm` merge the entry into the
# one before it and keep the inode's map): on the tree bench's 100,000-file ext2 volume with
# 5,000 files deleted, the files `twl tree --turbo` brings back under their old path, against
# the files `tsk_recover -e` writes at their old path and the deleted names `fls -rd` lists;
# and the time of `twl tree --turbo` against `fls -r -p` plus `ils -e` (page cache warm, the
# faster of two runs each). The volume comes from bench/tree-at-scale.sh (made when missing).
#
#   bench/deleted-names.sh
set -euo pipefail
cd "$(dirname "$0")/.."
PATH="$PATH:/usr/sbin:/sbin"
command -v tsk_recover >/dev/null || {
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq sleuthkit >/dev/null
}
source=build/bench/scale-ext2-100k/disk.img
[ -f "$source" ] || bench/tree-at-scale.sh ext2-100k >/dev/null
cmake --build build --target twl >/dev/null
twl=$PWD/build/src/cli/twl
work=build/bench/deleted-names
mkdir -p "$work"
image=$work/disk.img
offset=2048

if [ ! -f "$work/deleted.txt" ]; then
    cp "$source" "$image"
    # Every 20th file of the listing, deleted with debugfs: 5,000 of 100,000.
    "$twl" tree "$image" --format tsv 2>/dev/null | awk -F'\t' '$2 == 1 { print $1 }' |
        awk 'NR % 20 == 0' | head -5000 >"$work/deleted.txt"
    sed 's/^/rm /' "$work/deleted.txt" >"$work/commands"
    debugfs -w -f "$work/commands" "$image?offset=$((offset * 512))" >/dev/null 2>&1
fi
deleted=$(wc -l <"$work/deleted.txt")

best() { # best of two wall times of "$@", in seconds
    python3 - "$@" <<'PY'
import subprocess, sys, time
best = 1e9
for _ in range(2):
    start = time.perf_counter()
    subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    best = min(best, time.perf_counter() - start)
print("%.3f" % best)
PY
}

"$twl" tree "$image" --turbo --format json 2>/dev/null >"$work/twl.json"
twl_named=$(python3 - "$work/twl.json" "$work/deleted.txt" <<'PY'
import json, sys
rows = json.load(open(sys.argv[1]))
placed = {r["path"] for r in rows if r.get("deleted")}
wanted = [l.strip() for l in open(sys.argv[2]) if l.strip()]
print(sum(1 for p in wanted if p in placed))
PY
)
rm -rf "$work/tsk" && tsk_recover -e -o "$offset" "$image" "$work/tsk" >/dev/null 2>&1 || true
tsk_named=$(python3 - "$work/tsk" "$work/deleted.txt" <<'PY'
import os, sys
root = sys.argv[1]
wanted = [l.strip() for l in open(sys.argv[2]) if l.strip()]
print(sum(1 for p in wanted if os.path.isfile(root + p)))
PY
)
fls_named=$(fls -rd -p -o "$offset" "$image" 2>/dev/null | python3 -c '
import sys
wanted = {l.strip() for l in open(sys.argv[1]) if l.strip()}
seen = set()
for line in sys.stdin:
    if ":\t" in line:
        path = "/" + line.split(":\t", 1)[1].strip()
        if path in wanted:
            seen.add(path)
print(len(seen))' "$work/deleted.txt")

twl_time=$(best "$twl" tree "$image" --turbo --format tsv)
fls_time=$(best fls -r -p -o "$offset" "$image")
ils_time=$(best ils -e -o "$offset" "$image")
echo "deleted files:                          $deleted"
echo "at their old path, twl tree --turbo:    $twl_named"
echo "at their old path, tsk_recover -e:      $tsk_named"
echo "named at their old path, fls -rd:       $fls_named"
python3 -c "print('twl tree --turbo: %.3f s   fls -r -p + ils -e: %.3f s   ratio %.2f' % ($twl_time, $fls_time + $ils_time, $twl_time / ($fls_time + $ils_time)))"
