#pragma once

// How an inode record maps its data, and what can be said of that map from the record alone.
// Callers ask here instead of reading i_block, whose meaning depends on the mapping kind: a
// block map today (twelve direct pointers, then single, double and triple indirect), bytes
// held in the record itself (a short symbolic link's target), and later other kinds.

#include "ext2/Inode.h"

#include <cstdint>
#include <utility>

namespace twl {

enum class FileMapping : std::uint8_t {
    kBlockMap, // i_block holds block pointers
    kExtents,  // i_block holds the root of an extent tree (ext4)
    kInline,   // i_block holds the data itself (a symbolic link without blocks, or an ext4
               // file with inline data)
};

inline constexpr std::uint32_t kInodeExtentsFlag = 0x00080000;    // EXT4_EXTENTS_FL
inline constexpr std::uint32_t kInodeInlineDataFlag = 0x10000000; // EXT4_INLINE_DATA_FL

// The kinds of map besides the block map that a volume's features allow. A record whose
// flags name a kind its volume does not have (a stray bit on an ext2 or ext3 volume) is
// damaged there, and its i_block is read as the block map it has to be.
struct MapKinds {
    bool extents = false;
    bool inlineData = false;
};

inline MapKinds MapKindsOf(const Superblock& sb) {
    return {sb.HasIncompat(kIncompatExtents), sb.HasIncompat(kIncompatInlineData)};
}

// Whether the record's data lies in its own bytes: the inline-data flag, on a volume that
// has inline data.
inline bool HoldsInlineData(const InodeRecord& inode, MapKinds kinds) {
    return kinds.inlineData && (InodeView{inode}.i_flags() & kInodeInlineDataFlag) != 0;
}

// The mapping of `inode` on a volume allowing `kinds`. `isLink`: the item is taken as a
// symbolic link, by its mode or by the folder entry that names it; a link without blocks
// keeps its target in the record.
inline FileMapping MappingOf(const InodeRecord& inode, MapKinds kinds, bool isLink) {
    const InodeView view{inode};
    if (HoldsInlineData(inode, kinds) || (isLink && view.i_blocks() == 0))
        return FileMapping::kInline;
    return kinds.extents && (view.i_flags() & kInodeExtentsFlag) != 0 ? FileMapping::kExtents
                                                                      : FileMapping::kBlockMap;
}
// The same, the item taken as a link when its mode says so.
inline FileMapping MappingOf(const InodeRecord& inode, MapKinds kinds) {
    return MappingOf(inode, kinds, InodeView{inode}.FileType() == kModeSymlink);
}

// Whether the map could belong to the volume: every block it names inside it. Data held in
// the record always can.
bool MapPlausible(const InodeRecord& inode, const Superblock& sb);

// Whether the map names a first block (for a block map, a first pointer that is not zero; for
// an extent tree, an entry). Data held in the record counts as one.
bool MapsFirstBlock(const InodeRecord& inode, MapKinds kinds);
// Whether the map names any block (for a block map, any pointer that is not zero: a sparse
// file may begin with a hole; for an extent tree, an entry). Data held in the record counts
// as one.
bool MapsAnyBlock(const InodeRecord& inode, MapKinds kinds);

// The bytes the record holds in place of a map (60), for inline data.
ConstBytes InlineData(const InodeRecord& inode);

// The major and minor numbers a device's record keeps where files keep their map: the old
// form in its first word, the new in its second.
std::pair<unsigned, unsigned> DeviceNumbers(const InodeRecord& inode);

} // namespace twl
