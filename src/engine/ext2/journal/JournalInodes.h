#pragma once

// Files a current kernel deleted, brought back from the journal. Deleting a file zeroes its
// inode's size and map, but the journal may still hold older copies of the inode-table block
// from when the file was live. For each inode that is not in use now, the newest such copy
// in which it was a live file gives its size, mode, owner, times and map; its indirect
// blocks, which deletion leaves on the disk as they were, are read from the volume. An inode
// in use now by a newer file (another generation) may also have held a deleted one.

#include "core/StopControl.h"
#include "ext2/BlockBitmaps.h"
#include "ext2/VolumeReader.h"
#include "ext2/journal/JournalIndex.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace twl {

// A live version of an inode that is deleted now.
struct JournalInode {
    InodeNo inode = 0;
    InodeRecord record{};
    std::uint32_t age = 0;         // of the journal copy it came from
    std::uint64_t dataBlocks = 0;  // blocks its map names
    std::uint64_t blocksInUse = 0; // of those, blocks the volume has given out again since
    bool reused = false;           // the inode holds a newer file now

    // Blocks of it now belong to something else: what they hold may not be its data.
    bool PossiblyOverwritten() const { return blocksInUse != 0; }
};

// Where the inode-table blocks of the volume lie, for telling which journal copies are of
// inode tables and which inode lies where.
class InodeTableBlocks {
public:
    explicit InodeTableBlocks(const Ext2Volume& volume);
    // The first inode of table block `block`, or 0 when the block is in no inode table.
    InodeNo FirstInodeOf(std::uint64_t block) const;
    // Inode records in one block.
    std::uint32_t PerBlock() const { return m_perBlock; }
    // The table block of inode n and the offset of its record there; nullopt outside the tables.
    std::optional<std::pair<std::uint64_t, std::size_t>> PlaceOf(InodeNo n) const;

private:
    struct Table {
        std::uint64_t start = 0;
        std::uint64_t blocks = 0;
        InodeNo firstInode = 0;
    };
    std::vector<Table> m_tables;              // by start
    std::vector<std::uint64_t> m_groupTables; // each group's table start
    std::uint32_t m_inodeSize = 128;
    std::uint32_t m_blockSize = 1024;
    std::uint32_t m_perBlock = 8;
    std::uint32_t m_inodesPerGroup = 0;
    std::uint32_t m_inodesCount = 0;
};

class JournalInodes {
public:
    // Looks through the journal for every inode deleted now (not in use, from the first
    // ordinary inode on) whose live version a copy holds, and that `known` does not already
    // stand for. A version whose map names a block outside the volume is not taken.
    static JournalInodes Find(VolumeReader& reader, const JournalIndex& index,
                              const std::function<bool(InodeNo)>& known, StopControl* stop);

    const std::map<InodeNo, JournalInode>& All() const { return m_found; }
    const JournalInode* Of(InodeNo inode) const;

private:
    std::map<InodeNo, JournalInode> m_found;
};

// The live versions of single inodes, as Find gives them, for saving files one at a time: the
// journal is read, and the inode tables placed, once for them all; bitmaps are read as asked.
class JournalVersionFinder {
public:
    JournalVersionFinder(VolumeReader& reader, StopControl* stop);

    // The version of `inode` with these times (a node keeps them); nullopt when the journal
    // holds none.
    std::optional<JournalInode> Find(InodeNo inode, std::uint32_t ctime, std::uint32_t mtime);

private:
    VolumeReader& m_reader;
    JournalIndex m_index;
    InodeTableBlocks m_tables;
    BlockBitmaps m_bitmaps;
    std::vector<std::uint8_t> m_copy;
};

// Whether a record is of an item in use: links, no deletion time, a mode.
bool InodeInUse(const InodeRecord& record);
// Whether a record is of a live regular file, folder or symbolic link that has data to follow
// (or is an empty file), on a volume allowing `kinds` of map.
bool IsLiveVersion(const InodeRecord& record, MapKinds kinds);

} // namespace twl
