#include "ext2/FileMapping.h"

namespace twl {
namespace {

constexpr std::size_t kMapOffset = 0x28;
constexpr std::size_t kMapBytes = 4 * kBlockPointers;
constexpr std::size_t kExtentEntry = 12;

// The number of entries of a sound extent root (magic, entries within its room, room within
// the 60 bytes, depth at most 5), or 0.
std::uint16_t ExtentRootEntries(const InodeRecord& inode) {
    const ConstBytes root = ConstBytes(inode).subspan(kMapOffset, kMapBytes);
    const std::uint16_t entries = Le16(root, 2);
    const std::uint16_t room = Le16(root, 4);
    const bool sound = Le16(root, 0) == kExtentMagic && entries <= room &&
                       room <= (kMapBytes - kExtentEntry) / kExtentEntry && Le16(root, 6) <= 5;
    return sound ? entries : 0;
}

// A root that could belong to the volume: sound, and every block it names (an extent's last,
// an index entry's child) inside the volume. An empty root is sound: an empty file.
bool ExtentRootPlausible(const InodeRecord& inode, std::uint64_t blocksCount) {
    const ConstBytes root = ConstBytes(inode).subspan(kMapOffset, kMapBytes);
    if (Le16(root, 0) != kExtentMagic)
        return false;
    const std::uint16_t entries = ExtentRootEntries(inode);
    if (entries == 0)
        return Le16(root, 2) == 0 && Le16(root, 4) <= 4;
    const bool leaf = Le16(root, 6) == 0;
    for (std::size_t i = 0; i < entries; ++i) {
        const ConstBytes entry = root.subspan(kExtentEntry * (i + 1), kExtentEntry);
        if (leaf) {
            const std::uint64_t start = std::uint64_t{Le16(entry, 6)} << 32 | Le32(entry, 8);
            const std::uint16_t length = Le16(entry, 4);
            const std::uint64_t count = length > 32768 ? length - 32768u : length;
            if (start + count > blocksCount)
                return false;
        } else if ((std::uint64_t{Le16(entry, 8)} << 32 | Le32(entry, 4)) >= blocksCount) {
            return false;
        }
    }
    return true;
}

} // namespace

bool MapPlausible(const InodeRecord& inode, std::uint64_t blocksCount) {
    switch (MappingOf(inode)) {
    case FileMapping::kInline:
        return true;
    case FileMapping::kExtents:
        return ExtentRootPlausible(inode, blocksCount);
    case FileMapping::kBlockMap:
        break;
    }
    const InodeView view{inode};
    for (std::size_t n = 0; n < kBlockPointers; ++n) {
        if (view.i_block(n) > blocksCount)
            return false;
    }
    return true;
}

namespace {

// Whether the map names a block among its first `pointers` block-map pointers; an extent
// tree when it has an entry, data in the record always.
bool MapsBlockAmong(const InodeRecord& inode, std::size_t pointers) {
    switch (MappingOf(inode)) {
    case FileMapping::kInline:
        return true;
    case FileMapping::kExtents:
        return ExtentRootEntries(inode) != 0;
    case FileMapping::kBlockMap:
        break;
    }
    const InodeView view{inode};
    for (std::size_t i = 0; i < pointers; ++i)
        if (view.i_block(i) != 0)
            return true;
    return false;
}

} // namespace

bool MapsFirstBlock(const InodeRecord& inode) {
    return MapsBlockAmong(inode, 1);
}

bool MapsAnyBlock(const InodeRecord& inode) {
    return MapsBlockAmong(inode, kBlockPointers);
}

ConstBytes InlineData(const InodeRecord& inode) {
    return ConstBytes(inode).subspan(kMapOffset, kMapBytes);
}

std::pair<unsigned, unsigned> DeviceNumbers(const InodeRecord& inode) {
    const InodeView view{inode};
    if (const std::uint32_t old = view.i_block(0); old != 0)
        return {(old >> 8) & 0xFF, old & 0xFF};
    const std::uint32_t wide = view.i_block(1);
    return {(wide & 0xFFF00) >> 8, (wide & 0xFF) | ((wide >> 12) & 0xFFF00)};
}

} // namespace twl
