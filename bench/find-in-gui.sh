#!/bin/bash
# Find in the desktop program (offscreen, through twl_gui_bench) on the tree bench's disk of
# FILES files (made by tree-vs-fls.sh): Find of a name that is not there (target under 0.3 s),
# and 100 Find Next steps through "file-00*", which matches 100,000 names (target under
# 0.05 s a step).
#
#   bench/find-in-gui.sh [FILES]    (default 1000000)
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-1000000}
[ -f build/CMakeCache.txt ] ||
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target twl_gui_bench >/dev/null
image=build/bench/tree-disk-$files/disk.img
[ -f "$image" ] || bench/tree-vs-fls.sh "$files" >/dev/null
cat "$image" >/dev/null
echo "== $image ($files files)"
QT_QPA_PLATFORM=offscreen build/bench/twl_gui_bench --find "$image" 2>/dev/null
