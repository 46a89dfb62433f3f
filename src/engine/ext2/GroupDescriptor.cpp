#include "ext2/GroupDescriptor.h"

#include <algorithm>

namespace twl {

GroupDescriptor GroupDescriptor::Decode(ConstBytes raw, DescriptorLayout layout) {
    GroupDescriptor gd;
    if (raw.size() < kGroupDescriptorSize)
        return gd;
    gd.bg_block_bitmap = Le32(raw, 0x00);
    gd.bg_inode_bitmap = Le32(raw, 0x04);
    gd.bg_inode_table = Le32(raw, 0x08);
    gd.bg_flags = Le16(raw, 0x12);
    if (layout.checksums)
        gd.bg_itable_unused = Le16(raw, 0x1C);
    else
        gd.bg_reserved = {Le32(raw, 0x14), Le32(raw, 0x18), Le32(raw, 0x1C)};
    if (layout.size >= kWideDescriptorSize && raw.size() >= kWideDescriptorSize) {
        gd.bg_block_bitmap |= std::uint64_t{Le32(raw, 0x20)} << 32;
        gd.bg_inode_bitmap |= std::uint64_t{Le32(raw, 0x24)} << 32;
        gd.bg_inode_table |= std::uint64_t{Le32(raw, 0x28)} << 32;
        if (layout.checksums)
            gd.bg_itable_unused |= std::uint32_t{Le16(raw, 0x32)} << 16;
    }
    return gd;
}

RawGroupDescriptor DescriptorAt(ConstBytes table, std::uint32_t group, std::uint32_t size) {
    RawGroupDescriptor raw{};
    const std::size_t offset = static_cast<std::size_t>(group) * size;
    const std::size_t length = std::min<std::size_t>(size, raw.size());
    if (FitsIn(table.size(), offset, length))
        std::copy_n(table.begin() + static_cast<std::ptrdiff_t>(offset), length, raw.begin());
    return raw;
}

bool MeetsCriterion(const GroupDescriptor& gd, DescriptorCriterion criterion) {
    switch (criterion) {
    case DescriptorCriterion::kPlaced:
        return gd.bg_block_bitmap != 0 && gd.bg_inode_bitmap != 0 && gd.bg_inode_table != 0;
    case DescriptorCriterion::kReservedZero:
        return gd.bg_reserved == std::array<std::uint32_t, 3>{};
    case DescriptorCriterion::kFlagsKnown:
        return (gd.bg_flags & ~kKnownGroupFlags) == 0;
    }
    return false;
}

bool PassesDescriptorTest(ConstBytes table, std::uint32_t groupCount, DescriptorLayout layout) {
    for (std::uint32_t g = 0; g < groupCount; ++g) {
        const GroupDescriptor gd =
            GroupDescriptor::Decode(DescriptorAt(table, g, layout.size), layout);
        for (const DescriptorCriterion criterion : kDescriptorCriteria) {
            if (!MeetsCriterion(gd, criterion))
                return false;
        }
    }
    return true;
}

} // namespace twl
