#pragma once

// Where a volume's group descriptors lie and reading them in group order. Most volumes keep
// them in one table after each superblock copy; meta_bg volumes keep the descriptors of each
// meta group (the groups one block of descriptors covers) in that meta group's first group,
// with copies in its second and last.

#include "ext2/Ext2Volume.h"
#include "sector/SectorSource.h"

#include <cstdint>
#include <vector>

namespace twl {

// Whether group g holds a copy of the superblock (and, without meta_bg, of the table): group
// 0 always; with sparse_super2 the two groups the superblock names; with sparse_super groups
// 1 and the powers of 3, 5 and 7; otherwise every group.
bool GroupHasSuperblock(const Superblock& sb, std::uint32_t group);

// The descriptors of `volume`'s groups in group order, layout.size bytes each, in whole
// sectors. The table after the superblock starts at sector `tableSector`; a meta_bg volume's
// other descriptor blocks are taken from the volume starting at `start`, from the first group
// of each meta group, or from its second (`copies`) when the table is a backup's. What cannot
// be read stays zero; `result` gets the first failed read's result (or that of the last).
std::vector<std::uint8_t> ReadDescriptors(SectorSource& source, const Ext2Volume& volume,
                                          std::uint64_t tableSector, std::uint64_t start,
                                          bool copies, int* result = nullptr);

} // namespace twl
