#!/bin/bash
# The desktop program's wizard, offscreen, against twl on the same images, page cache warm:
#  - from Finish on the volume page to the tree shown in the main window, against
#    `twl tree --format tsv`, on the tree bench's disk (made by tree-vs-fls.sh) standing in
#    for drive 0; the target is at most 1.2 times twl's time;
#  - the thorough logical volume scan of an 8 GiB image (sparse, one ext3 volume near its
#    end) under the wizard's progress dialog, against `twl volumes --mode scan --thorough`,
#    with the longest the window went without taking events and between two repaints of the
#    progress (target under 100 ms).
#
#   bench/wizard-vs-twl.sh [FILES]    (default 1000000)
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-1000000}
PATH="$PATH:/usr/sbin:/sbin"
[ -f build/CMakeCache.txt ] ||
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target twl twl_wizard_bench >/dev/null
twl=build/src/cli/twl
bench=build/bench/twl_wizard_bench
tree=build/bench/tree-disk-$files/disk.img
[ -f "$tree" ] || bench/tree-vs-fls.sh "$files" >/dev/null

# The faster of three runs of a command, in seconds.
best() {
    local fastest=""
    for _ in 1 2 3; do
        local t
        t=$(bash -c "TIMEFORMAT=%R; time ( $1 ) 2>&1 >/dev/null" 2>&1 | tail -n1)
        if [ -z "$fastest" ] || awk "BEGIN{exit !($t < $fastest)}"; then fastest=$t; fi
    done
    echo "$fastest"
}

echo "== Finish to tree shown, $tree ($files files)"
cat "$tree" >/dev/null
twlTree=$(best "$twl tree $tree --format tsv >/dev/null 2>&1")
gui=""
for _ in 1 2 3; do
    t=$(QT_QPA_PLATFORM=offscreen "$bench" finish "$tree" 2>/dev/null |
        sed -n 's/^finish to tree shown \([0-9.]*\) s.*/\1/p')
    if [ -z "$gui" ] || awk "BEGIN{exit !($t < $gui)}"; then gui=$t; fi
done
echo "twl tree --format tsv      $twlTree s"
echo "wizard Finish to tree      $gui s"
awk "BEGIN{printf \"ratio wizard / twl         %.2f (target <= 1.20)\n\", $gui / $twlTree}"

echo "== thorough scan of an 8 GiB image"
work=build/bench/scan-8g
image=$work/disk.img
if [ ! -f "$image" ]; then
    mkdir -p "$work"
    truncate -s 8G "$image"
    mke2fs -q -F -t ext3 -L tail "$work/fs.img" 65536
    dd if="$work/fs.img" of="$image" bs=1M seek=$((8 * 1024 - 128)) conv=notrunc status=none
fi
echo "twl volumes --thorough     $(best "$twl volumes $image --mode scan --thorough >/dev/null 2>&1") s"
QT_QPA_PLATFORM=offscreen "$bench" scan "$image" 2>/dev/null
