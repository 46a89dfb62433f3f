#!/bin/bash
# The desktop program against twl on the tree bench's 500,000-file disk (made by
# tree-vs-fls.sh): time from starting tree creation to the tree pane showing the tree, and
# peak memory; then the time to list a folder of 100,000 entries in the list pane.
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

seconds() { bash -c "TIMEFORMAT=%R; time ( $1 ) 2>&1 >/dev/null" 2>&1 | tail -n1; }
cat "$big" >/dev/null
for image in "$big"; do
    echo "== $image"
    echo "twl tree --format tsv  $(seconds "$twl tree $image --format tsv >/dev/null 2>&1") s"
    QT_QPA_PLATFORM=offscreen "$bench" "$image" 2>/dev/null
    /usr/bin/time -f "twl tree peak memory %M KiB" "$twl" tree "$image" --format tsv \
        2>&1 >/dev/null | tail -n1
done
echo "== one folder of 100,000 entries, in the list pane"
QT_QPA_PLATFORM=offscreen "$bench" --wide 100000 2>/dev/null
