#!/bin/bash
# Files a current kernel deleted from ext3, brought back through the journal: twl against
# extundelete (--restore-all) and ext4magic (-M) on the same images, in one run. The images are
# the kernel-made test images of tests/fixtures/journal and, when run as root, a larger one
# made here through a loop mount: 1,000 files of 1-200 KiB in 20 folders on a 1 GiB ext3
# volume, deleted by the kernel (rm -r of half the folders, rm of a third of the rest).
# For each image and tool it prints the files recovered byte for byte (any name; empty files
# are not counted), the names recovered (a file or link with its content, or a folder, under
# its own name anywhere), the paths recovered (the same at its old path) and the wall time.
#
#   bench/journal-undelete.sh            (needs root for the large image; skipped without)
set -euo pipefail
cd "$(dirname "$0")/.."
PATH="$PATH:/usr/sbin:/sbin"

need=()
command -v extundelete >/dev/null || need+=(extundelete)
command -v ext4magic >/dev/null || need+=(ext4magic)
command -v xz >/dev/null || need+=(xz-utils)
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
work=$PWD/build/bench/journal
mkdir -p "$work"

# make_large: the 1 GiB volume and its manifest, once.
make_large() {
    local image=$work/large.img manifest=$work/large.manifest mnt
    [ -f "$image" ] && [ -f "$manifest" ] && return 0
    [ "$(id -u)" -eq 0 ] || { echo "not root: the large image is skipped" >&2; return 1; }
    echo "making $image" >&2
    rm -f "$image" && truncate -s 1G "$image"
    mke2fs -q -F -t ext3 -b 4096 "$image"
    mnt=$(mktemp -d)
    mount -o loop "$image" "$mnt"
    python3 - "$mnt" "$manifest" <<'PY'
import hashlib, os, sys
root, manifest = sys.argv[1], sys.argv[2]
rows = []
for f in range(20):
    os.mkdir(os.path.join(root, "folder%02d" % f))
for i in range(1000):
    rel = "folder%02d/file%04d.bin" % (i % 20, i)
    size = 1024 * (1 + (i * 37) % 200)
    block = b"".join(("%s @%010d\n" % (rel, o)).encode().ljust(64, b".")[:64]
                     for o in range(0, size, 64))[:size]
    with open(os.path.join(root, rel), "wb") as out:
        out.write(block)
    rows.append((rel, size, hashlib.sha256(block).hexdigest()))
with open(manifest, "w") as m:
    m.write("# 1,000 files on a 1 GiB ext3 volume, deleted by the kernel\n")
    for rel, size, digest in rows:
        folder = int(rel[6:8])
        index = int(rel.split("file")[1][:4])
        if folder % 2 == 0:
            m.write("file\t%d\t%s\t%s\n" % (size, digest, rel))
        elif index % 3 == 0:
            m.write("file\t%d\t%s\t%s\n" % (size, digest, rel))
    for f in range(0, 20, 2):
        m.write("folder\t0\t-\tfolder%02d\n" % f)
PY
    sync
    for f in $(seq -w 0 2 18); do rm -r "$mnt/folder$f"; done
    python3 - "$mnt" <<'PY'
import os, sys
root = sys.argv[1]
for f in range(1, 20, 2):
    for name in os.listdir(os.path.join(root, "folder%02d" % f)):
        if int(name[4:8]) % 3 == 0:
            os.remove(os.path.join(root, "folder%02d" % f, name))
PY
    sync
    umount "$mnt" && rmdir "$mnt"
}

# score MANIFEST FOLDER NAMED_ROOT: "exact names paths" for what a tool left in FOLDER: files
# whose content came back (any name; empty files are not counted), items that came back under
# their own name (anywhere: a file or link with its content, a folder), and items at their
# old path below FOLDER/NAMED_ROOT.
score() {
    python3 - "$@" <<'PY'
import hashlib, os, sys
manifest, folder, named = sys.argv[1], sys.argv[2], sys.argv[3]
items = [l.rstrip("\n").split("\t") for l in open(manifest) if l.strip() and not l.startswith("#")]
content = {}   # sha256 -> count, of every regular file
by_name = set()  # (basename, sha256 or "dir")
for dirpath, dirs, files in os.walk(folder):
    for name in dirs:
        by_name.add((name, "dir"))
    for name in files:
        path = os.path.join(dirpath, name)
        if os.path.islink(path):
            by_name.add((name, hashlib.sha256(os.readlink(path).encode()).hexdigest()))
            continue
        if not os.path.isfile(path):
            continue
        digest = hashlib.sha256(open(path, "rb").read()).hexdigest()
        content[digest] = content.get(digest, 0) + 1
        by_name.add((name, digest))
exact = names = paths = 0
for kind, size, digest, rel in items:
    if kind == "file" and int(size) > 0 and content.get(digest, 0) > 0:
        content[digest] -= 1
        exact += 1
    base = os.path.basename(rel)
    names += (base, "dir" if kind == "folder" else digest) in by_name
    path = os.path.join(folder, named, rel)
    if kind == "folder":
        paths += os.path.isdir(path) and not os.path.islink(path)
    elif kind == "symlink":
        paths += os.path.islink(path) and \
            hashlib.sha256(os.readlink(path).encode()).hexdigest() == digest
    elif os.path.isfile(path) and not os.path.islink(path):
        paths += hashlib.sha256(open(path, "rb").read()).hexdigest() == digest
files = sum(1 for k, s, d, r in items if k == "file" and int(s) > 0)
print("%d/%d %d/%d %d/%d" % (exact, files, names, len(items), paths, len(items)))
PY
}

# run TOOL IMAGE OUT: the tool's wall time in seconds; its files in OUT.
run() {
    local tool=$1 image=$2 out=$3 start end
    rm -rf "$out" && mkdir -p "$out"
    start=$(date +%s.%N)
    case $tool in
    twl) "$twl" save "$image" --turbo --out "$out" >/dev/null 2>&1 || true ;;
    extundelete) (cd "$out" && extundelete "$image" --restore-all >/dev/null 2>&1 || true) ;;
    ext4magic) ext4magic "$image" -M -d "$out" >/dev/null 2>&1 || true ;;
    esac
    end=$(date +%s.%N)
    python3 -c "print('%.2f' % ($end - $start))"
}

named_root() {
    case $1 in
    twl) echo "Journal Recovered Files1" ;;
    extundelete) echo "RECOVERED_FILES" ;;
    ext4magic) echo "." ;;
    esac
}

images=()
for xz in tests/fixtures/journal/*.img.xz; do
    [ -f "$xz" ] || continue
    name=$(basename "$xz" .img.xz)
    [ -f "$work/$name.img" ] || xz -dc "$xz" >"$work/$name.img"
    cp "tests/fixtures/journal/$name.manifest" "$work/$name.manifest"
    images+=("$name")
done
make_large && images+=(large)

printf '%-20s %-12s %12s %10s %10s %8s\n' image tool "exact files" names paths seconds
for name in "${images[@]}"; do
    for tool in twl extundelete ext4magic; do
        out=$work/out-$name-$tool
        # Each tool reads a copy: none of them should write to an image, but none is trusted to.
        cp "$work/$name.img" "$work/work.img"
        seconds=$(run "$tool" "$work/work.img" "$out")
        read -r exact names paths <<<"$(score "$work/$name.manifest" "$out" "$(named_root "$tool")")"
        printf '%-20s %-12s %12s %10s %10s %8s\n' "$name" "$tool" "$exact" "$names" "$paths" \
            "$seconds"
    done
done
rm -f "$work/work.img"
