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
    kInline,   // i_block holds the data itself (a symbolic link without blocks)
};

// The mapping of `inode`. `isLink`: the item is taken as a symbolic link, by its mode or by
// the folder entry that names it; a link without blocks keeps its target in the record.
inline FileMapping MappingOf(const InodeRecord& inode, bool isLink) {
    return isLink && InodeView{inode}.i_blocks() == 0 ? FileMapping::kInline
                                                      : FileMapping::kBlockMap;
}
// The same, the item taken as a link when its mode says so.
inline FileMapping MappingOf(const InodeRecord& inode) {
    return MappingOf(inode, InodeView{inode}.FileType() == kModeSymlink);
}

// Whether the map could belong to a volume of `blocksCount` blocks: every block pointer at
// most blocksCount. Data held in the record always can.
bool MapPlausible(const InodeRecord& inode, std::uint32_t blocksCount);

// Whether the map names a first block (for a block map, a first pointer that is not zero).
// Data held in the record counts as one.
bool MapsFirstBlock(const InodeRecord& inode);
// Whether the map names any block (for a block map, any pointer that is not zero: a sparse
// file may begin with a hole). Data held in the record counts as one.
bool MapsAnyBlock(const InodeRecord& inode);

// The bytes the record holds in place of a map (60), for inline data.
ConstBytes InlineData(const InodeRecord& inode);

// The major and minor numbers a device's record keeps where files keep their map: the old
// form in its first word, the new in its second.
std::pair<unsigned, unsigned> DeviceNumbers(const InodeRecord& inode);

} // namespace twl
