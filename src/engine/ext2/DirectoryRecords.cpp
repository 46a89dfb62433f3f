#include "ext2/DirectoryRecords.h"

namespace twl {

std::optional<DirectoryRecord> ReadDirectoryRecord(ConstBytes block, std::size_t offset,
                                                   InodeRange range) {
    if (!FitsIn(block.size(), offset, kDirentHeader))
        return std::nullopt;
    DirectoryRecord record;
    record.offset = offset;
    record.inode = Le32(block, offset);
    record.recLen = Le16(block, offset + 4);
    record.nameLen = block[offset + 6];
    record.fileType = block[offset + 7];
    if (record.recLen < kDirentHeader + record.nameLen || offset + record.recLen > block.size())
        return std::nullopt;
    if (record.inode != 0 && (record.inode < range.lowest || record.inode > range.highest))
        return std::nullopt;
    record.name = block.subspan(offset + kDirentHeader, record.nameLen);
    record.slack = record.recLen - kDirentHeader - record.nameLen;
    return record;
}

std::optional<std::uint64_t> ListingStart(ConstBytes data) {
    if (data.size() < 18)
        return std::nullopt;
    return 12 + std::uint64_t{Le16(data, 16)};
}

FolderOpening ReadFolderOpening(ConstBytes data, std::uint32_t inodesCount) {
    if (data.size() < 22 || data[8] != '.' || data[20] != '.' || data[21] != '.')
        return {};
    const InodeNo self = Le32(data, 0);
    if (self < 2 || self > inodesCount)
        return {};
    return {true, self, *ListingStart(data)};
}

} // namespace twl
