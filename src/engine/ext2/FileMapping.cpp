#include "ext2/FileMapping.h"

#include "ext2/ExtentFormat.h"

namespace twl {
namespace {

constexpr std::size_t kMapOffset = 0x28;
constexpr std::size_t kMapBytes = 4 * kBlockPointers;
// The header of the extent root held in the record, when it is sound and at most
// kMaxExtentDepth deep.
std::optional<ExtentHeader> RootHeader(const InodeRecord& inode) {
    const std::optional<ExtentHeader> header =
        ReadExtentHeader(ConstBytes(inode).subspan(kMapOffset, kMapBytes));
    if (!header || header->depth > kMaxExtentDepth)
        return std::nullopt;
    return header;
}

std::uint16_t ExtentRootEntries(const InodeRecord& inode) {
    const std::optional<ExtentHeader> header = RootHeader(inode);
    return header ? header->entries : 0;
}

// A root that could belong to the volume: sound, and every block it names (an extent's last,
// an index entry's child) inside the volume. An empty root is sound: an empty file.
bool ExtentRootPlausible(const InodeRecord& inode, std::uint64_t blocksCount) {
    const std::optional<ExtentHeader> header = RootHeader(inode);
    if (!header)
        return false;
    const ConstBytes root = ConstBytes(inode).subspan(kMapOffset, kMapBytes);
    for (std::size_t i = 0; i < header->entries; ++i) {
        const ConstBytes entry = ExtentEntryAt(root, i);
        const bool inside = header->depth == 0
                                ? ExtentStart(entry) + ExtentLength(entry) <= blocksCount
                                : ExtentChild(entry) < blocksCount;
        if (!inside)
            return false;
    }
    return true;
}

} // namespace

bool MapPlausible(const InodeRecord& inode, const Superblock& sb) {
    const std::uint64_t blocksCount = sb.s_blocks_count;
    switch (MappingOf(inode, MapKindsOf(sb))) {
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
bool MapsBlockAmong(const InodeRecord& inode, MapKinds kinds, std::size_t pointers) {
    switch (MappingOf(inode, kinds)) {
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

bool MapsFirstBlock(const InodeRecord& inode, MapKinds kinds) {
    return MapsBlockAmong(inode, kinds, 1);
}

bool MapsAnyBlock(const InodeRecord& inode, MapKinds kinds) {
    return MapsBlockAmong(inode, kinds, kBlockPointers);
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
