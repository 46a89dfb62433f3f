#pragma once

// Deciding whether a superblock belongs to a healthy ext2/ext3 volume, and loading it with its
// group descriptor table into a volume record. Each function works on the record it is given;
// the volume open builds a fresh record and keeps it only when it passed.

#include "ext2/Ext2Volume.h"
#include "sector/SectorSource.h"

#include <cstdint>
#include <optional>

namespace twl {

// Whether the superblock's groups can exist: a group's block and inode bitmaps are one block
// each, so neither count per group exceeds 8 x block size, and there are no more inode groups
// than the block count lays out. Damaged superblocks that break this would otherwise ask for
// descriptor tables of many gigabytes.
bool GroupLayoutPossible(const Superblock& sb, std::uint32_t groupCount);

// The volume start that a superblock read at sector S implies: S - 2 for group 0's copy,
// else S - s_block_group_nr x s_blocks_per_group x spb - s_first_data_block x spb. Empty when
// that lies before sector 0.
std::optional<std::uint64_t> DerivedVolumeStart(const Ext2Volume& volume, SectorNo s);

// Group 0 of a healthy volume: some of inodes 1-8 in use, and inode 1 (the bad blocks inode)
// without mode, owner, size or block map. `own` is the descriptor of the superblock's group.
bool PassesGroupZeroTest(SectorSource& source, const Ext2Volume& volume, const GroupDescriptor& own,
                         std::uint64_t start);

// The first min(8, s_inodes_per_group) inodes of the superblock's own group (descriptor
// `own`) are each empty, or (when the bitmap says some are in use) empty or plausible.
bool PassesFirstInodesTest(SectorSource& source, const Ext2Volume& volume,
                           const GroupDescriptor& own, std::uint64_t start);

// Clears the superblock and reads 1024 bytes at S into it. Returns the read's result.
int ReadPrimarySuperblock(SectorSource& source, Ext2Volume& volume, SectorNo s);

// Validates the superblock already read at S = volume start + 2 and loads its descriptor
// table. Returns 1 when it passed; on 0 no table is held.
int ValidatePrimarySuperblock(SectorSource& source, Ext2Volume& volume, SectorNo s);

// Validates a superblock copy just read at S; it must belong to the volume starting at
// volume.start. Returns 1 with the table loaded, or 0 with none held.
int ValidateBackupSuperblock(SectorSource& source, Ext2Volume& volume, SectorNo s);

// Searches the volume (start P, N sectors) for a superblock copy that passes
// ValidateBackupSuperblock: sector by sector up to the first multiple of 63 above P, then the
// first magic-bearing sector of each 63-sector window. Returns 1 when one was loaded.
int SearchBackupSuperblock(SectorSource& source, Ext2Volume& volume, SectorNo p, SectorCount n);

// The logical volume scan's test of a superblock just read at S into `scratch`: the field
// test, the descriptor test on the table at the primary position with the copy position as a
// fallback for each criterion, the group-0 test (group 0's copy) and the first-inodes test,
// all around the volume start the superblock implies. No table stays loaded. A superblock
// naming incompatible features the engine cannot read passes on its fields and position
// alone, so that the open can say which features they are.
int ValidateScanSuperblock(SectorSource& source, Ext2Volume& scratch, SectorNo s);

// Loads the superblock at S and its table without any test; returns the table read's result,
// or 0 when the superblock cannot be laid out at all (no inodes per group, an impossible
// block size or group count), in which case nothing is loaded.
int LoadSuperblockAt(SectorSource& source, Ext2Volume& volume, SectorNo p, SectorNo s);

} // namespace twl
