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

// The mapping of `inode`. `isLink`: the item is taken as a symbolic link, by its mode or by
// the folder entry that names it; a link without blocks keeps its target in the record. The
// inode's flags name ext4's kinds; ext2 and ext3 never set those bits.
inline FileMapping MappingOf(const InodeRecord& inode, bool isLink) {
    const InodeView view{inode};
    if ((view.i_flags() & kInodeInlineDataFlag) != 0 || (isLink && view.i_blocks() == 0))
        return FileMapping::kInline;
    return (view.i_flags() & kInodeExtentsFlag) != 0 ? FileMapping::kExtents
                                                     : FileMapping::kBlockMap;
}
// The same, the item taken as a link when its mode says so.
inline FileMapping MappingOf(const InodeRecord& inode) {
    return MappingOf(inode, InodeView{inode}.FileType() == kModeSymlink);
}

// Whether the map could belong to a volume of `blocksCount` blocks: every block pointer at
// most blocksCount. Data held in the record always can.
bool MapPlausible(const InodeRecord& inode, std::uint64_t blocksCount);

// Whether the map names a first block (for a block map, a first pointer that is not zero; for
// an extent tree, an entry). Data held in the record counts as one.
bool MapsFirstBlock(const InodeRecord& inode);
// Whether the map names any block (for a block map, any pointer that is not zero: a sparse
// file may begin with a hole; for an extent tree, an entry). Data held in the record counts
// as one.
bool MapsAnyBlock(const InodeRecord& inode);

// The bytes the record holds in place of a map (60), for inline data.
ConstBytes InlineData(const InodeRecord& inode);

// The major and minor numbers a device's record keeps where files keep their map: the old
// form in its first word, the new in its second.
std::pair<unsigned, unsigned> DeviceNumbers(const InodeRecord& inode);

} // namespace twl
