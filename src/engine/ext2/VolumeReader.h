#pragma once

// Reads inodes, block maps and block data of the open volume through the sector source.
// Every buffer is zero before it is read into, so an unreadable sector reads as zeros: an
// all-zero inode, a map block whose first entry ends the list, a data block of zeros.

#include "core/StopControl.h"
#include "ext2/Ext2Volume.h"
#include "ext2/FileBlocks.h"
#include "ext2/InodeTableCache.h"
#include "sector/SectorSource.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <vector>

namespace twl {

// One inode as read from its group's inode table.
struct InodeRead {
    InodeRecord record{}; // zeros when the inode lies outside the tables or its sector failed
    RawGroupDescriptor descriptor{}; // of the inode's group; zeros when it has none
    bool readable = true;            // false when the sector holding the inode could not be read
};

struct BlockList {
    std::vector<BlockNo> blocks; // data blocks in file order
    bool capped = false;         // the walk stopped at the caller's limit, not at the map's end
    bool looped = false;         // the walk ended at a map block named twice, not at a hole
};

// The length of a block list, without the list.
struct BlockCount {
    std::uint64_t blocks = 0;
    bool capped = false;
    bool looped = false;
};

// How many records at the start of a group's inode table may hold inodes: all of them, but
// on volumes with group checksums none of a table never initialised and none of the unused
// ones at its end (bg_itable_unused). The rest holds no inode, whatever bytes lie there.
std::uint32_t UsedRecords(const GroupDescriptor& gd, const Ext2Volume& volume);

struct FolderData {
    std::vector<std::uint8_t> bytes;
    std::uint64_t length = 0; // the folder's length for its listing
};

class VolumeReader {
public:
    VolumeReader(SectorSource& source, Ext2Volume& volume)
        : m_source(source), m_volume(volume), m_inodeTables(source) {}
    VolumeReader(const VolumeReader&) = delete; // its map reader calls back into this one
    VolumeReader& operator=(const VolumeReader&) = delete;

    // Inode n (1 <= n <= s_inodes_count) and its group's descriptor. An inode outside the
    // tables reads as zeros; so does one whose sector could not be read (readable false).
    // Tables are read in large runs kept in a small cache: reading inodes in ascending order
    // reads each table block once.
    InodeRead ReadInode(InodeNo n);
    // Reads the inodes `ascending` names (sorted, repeats allowed) and calls visit(k, read) for
    // each in turn, k its index. The table sectors they need are read in ascending order, in
    // runs of up to 64 KiB that hold what the following inodes need and little more. A visit
    // returning false ends the reading.
    using InodeVisit = std::function<bool(std::size_t k, const InodeRead& read)>;
    void ReadInodesInOrder(std::span<const InodeNo> ascending, const InodeVisit& visit);
    // Hints that the data blocks [first, first + count) will be read soon (see
    // SectorSource::WillRead); blocks outside the volume are not hinted.
    void WillReadBlocks(BlockNo first, std::uint64_t count);
    // Read requests made for inode tables so far.
    std::uint64_t InodeTableReads() const { return m_inodeTables.Reads(); }

    // The one walk over the blocks of a file (FileBlocks.h): calls visit for each step below
    // logical block `end`, in file order, until the visitor ends the walk. `stop`, when given,
    // is asked between map blocks.
    BlockMapSurvey ForEachFileBlock(InodeRecord inode, std::uint64_t end,
                                    const FileBlockVisit& visit, StopControl* stop = nullptr);

    // The data blocks of `inode` in file order, up to its first hole: a zero pointer or a map
    // block that cannot be followed ends the list (an indirect level the record does not use
    // does not: the next level is still looked at). Data pointers outside the volume are
    // listed. Stops after maxBlocks entries.
    BlockList BuildBlockList(const InodeRecord& inode,
                             std::size_t maxBlocks = std::numeric_limits<std::size_t>::max());
    // The length of the same list, counted no further than maxBlocks (capped is not told).
    BlockCount CountBlockList(const InodeRecord& inode, std::size_t maxBlocks);

    // The blocks of `list`, in order, one block size each. Empty for an empty list.
    std::vector<std::uint8_t> ReadBlockData(const BlockList& list);

    // How folders are read: the blocks of `inode` up to its first hole, at most maxBlocks,
    // one block size each.
    std::vector<std::uint8_t> ReadDataToFirstHole(const InodeRecord& inode, std::size_t maxBlocks);
    // Folder `n` (record `inode`) as its listing reads it: its blocks up to i_size (at most
    // maxBytes of them) and i_size; for a folder whose entries the inode holds itself (inline
    // data), one block made of them (InlineData.h) and that block's size.
    FolderData ReadFolderData(InodeNo n, const InodeRecord& inode, std::uint64_t maxBytes);
    // The whole record of inode n, the inode size long (zeros where it cannot be read): the
    // part past the first 128 bytes holds extra fields and extended attributes.
    std::vector<std::uint8_t> ReadInodeBody(InodeNo n);

    // Reads one block into `out` (block size bytes, cleared first). Returns the read's result.
    int ReadBlock(BlockNo block, MutableBytes out);

    // Walks every pointer of the map, holes included, up to the last logical block the volume
    // can hold; reads at most the map blocks present.
    BlockMapSurvey SurveyBlockMap(const InodeRecord& inode, StopControl* stop = nullptr);

    // Calls visit(logical block, block number) for every data block of the volume the file
    // names, in file order, passing over holes; pointers outside the volume are only counted
    // in the survey returned. Blocks from `endLogical` on, or (with `capAtVolume`) past what
    // the volume can hold, are not visited. Without the cap the walk is still bounded: by
    // `endLogical` and by the map blocks present, each read once, holes passed over in runs;
    // a sparse file whose map is sound may lie far past the volume's size.
    using BlockVisit = std::function<void(std::uint64_t logical, BlockNo block)>;
    BlockMapSurvey ForEachMappedBlock(const InodeRecord& inode, std::uint64_t endLogical,
                                      const BlockVisit& visit, StopControl* stop = nullptr,
                                      bool capAtVolume = true);

    // The logical blocks a file of this volume can have: its block count, or its size in
    // blocks when the volume record is larger.
    std::uint64_t VolumeBlockLimit() const;

    SectorSource& Source() { return m_source; }
    Ext2Volume& Volume() { return m_volume; }

private:
    // Where an inode lies: its group's descriptor, and the absolute sector and offset of its
    // record, when its table has one for it.
    struct InodePlace {
        RawGroupDescriptor descriptor{};
        bool inTable = false;
        std::uint64_t table = 0;        // first sector of the table
        std::uint64_t tableSectors = 0; // its length
        std::uint64_t sector = 0;       // absolute sector of the record
        std::size_t offset = 0;         // of the record in that sector
    };
    InodePlace PlaceOf(InodeNo n) const;
    struct TableRun;
    InodeRead ReadAt(const InodePlace& place, const TableRun& run);
    TableRun RunFor(std::span<const InodeNo> ascending, std::size_t k,
                    const InodePlace& place) const;
    void HintInodeRuns(std::span<const InodeNo> ascending);
    BlockCount WalkBlockList(const InodeRecord& inode, std::size_t maxBlocks,
                             std::vector<BlockNo>* blocks);

    SectorSource& m_source;
    Ext2Volume& m_volume;
    const ReadMapBlock m_readMapBlock = [this](BlockNo block, MutableBytes out) {
        ReadBlock(block, out);
    };
    InodeTableCache m_inodeTables;
};

} // namespace twl
