#pragma once

// Whether blocks a recovered file names now belong to a file of the live tree. A lost file's
// inode is still in use, so the block bitmap marks its blocks for it and cannot tell whether
// another file took some: only the maps of the tree's files can.

#include "core/StopControl.h"
#include "ext2/Catalog.h"
#include "ext2/VolumeReader.h"

#include <cstdint>
#include <unordered_set>
#include <utility>
#include <vector>

namespace twl {

// Runs of block numbers, kept sorted and merged once sealed.
class BlockRuns {
public:
    void Add(std::uint64_t first, std::uint64_t count);
    // Sorts and merges what was added; asked only after this.
    void Seal();
    bool Empty() const { return m_runs.empty(); }
    const std::vector<std::pair<std::uint64_t, std::uint64_t>>& Runs() const { return m_runs; }
    // Whether [first, first + count) meets a run.
    bool Meets(std::uint64_t first, std::uint64_t count) const;
    // Adds to `out` the parts of [first, first + count) that lie in runs.
    void AddOverlap(std::uint64_t first, std::uint64_t count, BlockRuns& out) const;

private:
    // The index of the first run that ends after `block`.
    std::size_t FirstEndingAfter(std::uint64_t block) const;

    std::vector<std::pair<std::uint64_t, std::uint64_t>> m_runs; // first block, count
};

// Adds to `runs` the data blocks of `record` below its size (none for a record whose map is
// its data, or a device's). False when the walk met damage (a pointer outside the volume, a
// map block named twice) or was stopped: then not all its blocks are known.
bool AddDataRuns(VolumeReader& reader, const InodeRecord& record, BlockRuns& runs,
                 StopControl* stop);

// Of the blocks in `wanted`, those that files and folders of the live tree name in their maps:
// nodes the tree walk made (not Turbo Scan's containers, nor deleted items given back their
// place), their inodes read once each in ascending order.
BlockRuns BlocksTheTreeClaims(VolumeReader& reader, const Catalog& catalog, const BlockRuns& wanted,
                              StopControl& stop);

} // namespace twl
