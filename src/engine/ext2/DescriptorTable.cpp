#include "ext2/DescriptorTable.h"

#include <algorithm>

namespace twl {
namespace {

bool PowerOf(std::uint32_t base, std::uint32_t n) {
    while (n > 1 && n % base == 0)
        n /= base;
    return n == 1;
}

// Reads `out` from sector `at`, or leaves it zero past what a sector number reaches.
int ReadInto(SectorSource& source, std::uint64_t at, MutableBytes out) {
    if (at > kLastSector)
        return 0;
    return source.ReadSectors(static_cast<SectorNo>(at), out);
}

} // namespace

bool GroupHasSuperblock(const Superblock& sb, std::uint32_t group) {
    if (group == 0)
        return true;
    if (sb.s_rev_level != kGoodOldRev && (sb.s_feature_compat & kCompatSparseSuper2) != 0)
        return group == sb.s_backup_bgs[0] || group == sb.s_backup_bgs[1];
    if (!sb.HasRoCompat(kRoCompatSparseSuper))
        return true;
    return group == 1 || PowerOf(3, group) || PowerOf(5, group) || PowerOf(7, group);
}

std::vector<std::uint8_t> ReadDescriptors(SectorSource& source, const Ext2Volume& volume,
                                          std::uint64_t tableSector, std::uint64_t start,
                                          bool copies, int* result) {
    const Superblock& sb = volume.sb;
    const std::uint32_t size = volume.layout.size;
    std::vector<std::uint8_t> table(DescriptorTableBytes(volume.groupCount, size), 0);
    const std::uint64_t blockSize = volume.BlockSize();
    const std::uint64_t perBlock = size == 0 ? 0 : blockSize / size;
    // Without meta_bg the whole table follows the superblock; with it, the first
    // s_first_meta_bg blocks of it do.
    std::uint64_t contiguous = table.size();
    if (sb.HasIncompat(kIncompatMetaBg) && perBlock != 0)
        contiguous = std::min<std::uint64_t>(table.size(), sb.s_first_meta_bg * blockSize);
    const int read =
        contiguous == 0 ? 1 : ReadInto(source, tableSector, MutableBytes(table).first(contiguous));
    if (result)
        *result = read;
    for (std::uint64_t at = contiguous; at < table.size(); at += blockSize) {
        const std::uint64_t metaGroup = at / blockSize;
        const std::uint64_t group = metaGroup * perBlock + (copies ? 1 : 0);
        if (group >= volume.groupCount)
            break;
        const std::uint64_t block =
            sb.s_first_data_block + group * sb.s_blocks_per_group +
            (GroupHasSuperblock(sb, static_cast<std::uint32_t>(group)) ? 1 : 0);
        const std::size_t length =
            static_cast<std::size_t>(std::min<std::uint64_t>(blockSize, table.size() - at));
        const int one = ReadInto(source, start + block * volume.sectorsPerBlock,
                                 MutableBytes(table).subspan(at, length));
        if (result && *result == 1)
            *result = one;
    }
    return table;
}

} // namespace twl
