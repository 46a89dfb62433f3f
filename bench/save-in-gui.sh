#!/bin/bash
# Save All in the desktop program (offscreen, through twl_gui_bench, the folder given through
# the save dialog) against `twl save` of the same volume: the tree bench's disk of FILES files
# (made by tree-vs-fls.sh), saved into /dev/shm when it has room, else build/bench. Prints
# both times, the best of three, and their ratio (target at most 1.1).
#
#   bench/save-in-gui.sh [FILES]    (default 100000)
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-100000}
[ -f build/CMakeCache.txt ] ||
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target twl twl_gui_bench >/dev/null
image=build/bench/tree-disk-$files/disk.img
[ -f "$image" ] || bench/tree-vs-fls.sh "$files" >/dev/null
cat "$image" >/dev/null
out=build/bench/save-out
[ -d /dev/shm ] && [ -w /dev/shm ] && out=/dev/shm/twl-save-bench
trap 'rm -rf "$out-twl" "$out-gui"' EXIT
twl=""
gui=""
for _ in 1 2 3; do
    rm -rf "$out-twl" "$out-gui"
    t=$(bash -c "TIMEFORMAT=%R; time (build/src/cli/twl save $image --out $out-twl \
        >/dev/null 2>&1)" 2>&1 | tail -n1)
    if [ -z "$twl" ] || awk "BEGIN{exit !($t < $twl)}"; then twl=$t; fi
    g=$(QT_QPA_PLATFORM=offscreen build/bench/twl_gui_bench --save "$image" "$out-gui" \
        2>/dev/null | sed -n 's/^save all \([0-9.]*\) s/\1/p')
    if [ -z "$gui" ] || awk "BEGIN{exit !($g < $gui)}"; then gui=$g; fi
done
echo "== Save All of $image ($files files)"
echo "twl save                  $twl s"
echo "desktop program Save All  $gui s"
awk "BEGIN{printf \"ratio                     %.2f (target <= 1.10)\n\", $gui / $twl}"
