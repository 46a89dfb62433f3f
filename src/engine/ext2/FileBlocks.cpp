#include "ext2/FileBlocks.h"

#include "ext2/BlockMapWalk.h"
#include "ext2/ExtentWalk.h"
#include "ext2/FileMapping.h"

namespace twl {

BlockMapSurvey WalkFileBlocks(const InodeRecord& inode, const BlockGeometry& geometry,
                              const ReadMapBlock& read, std::uint64_t end,
                              const FileBlockVisit& visit, StopControl* stop) {
    switch (MappingOf(inode, geometry.kinds)) {
    case FileMapping::kInline:
        return {}; // the data lies in the record: no blocks
    case FileMapping::kExtents:
        return ExtentWalk(geometry, read, stop).Walk(inode, end, visit);
    case FileMapping::kBlockMap:
        break;
    }
    return BlockMapWalk(geometry, read, stop).Walk(inode, end, visit);
}

} // namespace twl
