#!/bin/bash
# The desktop program against twl on the tree bench's 500,000-file disk (made by
# tree-vs-fls.sh) and on a disk with one folder of 100,000 entries: time from starting tree
# creation to the tree pane showing the tree, time to list the largest folder, peak memory.
#
#   bench/gui-vs-twl.sh
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/CMakeCache.txt ] ||
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target twl twl_gui_bench >/dev/null
twl=build/src/cli/twl
bench=build/bench/twl_gui_bench
big=build/bench/tree-disk-500000/disk.img
[ -f "$big" ] || bench/tree-vs-fls.sh >/dev/null

wide=build/bench/wide-100000/disk.img
if [ ! -f "$wide" ]; then
    work=$(dirname "$wide")
    rm -rf "$work" && mkdir -p "$work/src/wide"
    python3 -c "
import os
for i in range(100000):
    open(os.path.join('$work/src/wide', 'entry-%06d' % i), 'w').close()"
    printf 'label: dos\nstart=2048, size=%d, type=83\n' $((400 * 2048)) >"$work/layout"
    scripts/make-disk-image "$wide" 402 "$work/layout" "1:ext3:$work/src::-N 110000" >/dev/null
    rm -rf "$work/src"
fi

seconds() { bash -c "TIMEFORMAT=%R; time ( $1 ) 2>&1 >/dev/null" 2>&1 | tail -n1; }
cat "$big" "$wide" >/dev/null
for image in "$big" "$wide"; do
    echo "== $image"
    echo "twl tree --format tsv  $(seconds "$twl tree $image --format tsv >/dev/null 2>&1") s"
    QT_QPA_PLATFORM=offscreen "$bench" "$image" 2>/dev/null
    /usr/bin/time -f "twl tree peak memory %M KiB" "$twl" tree "$image" --format tsv \
        2>&1 >/dev/null | tail -n1
done
