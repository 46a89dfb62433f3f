#include "ext2/GroupDescriptor.h"

#include <algorithm>

namespace twl {

GroupDescriptor GroupDescriptor::Decode(ConstBytes raw) {
    GroupDescriptor gd;
    if (raw.size() < kGroupDescriptorSize)
        return gd;
    gd.bg_block_bitmap = Le32(raw, 0x00);
    gd.bg_inode_bitmap = Le32(raw, 0x04);
    gd.bg_inode_table = Le32(raw, 0x08);
    gd.bg_flags = Le16(raw, 0x12);
    gd.bg_reserved = {Le32(raw, 0x14), Le32(raw, 0x18), Le32(raw, 0x1C)};
    return gd;
}

RawGroupDescriptor DescriptorAt(ConstBytes table, std::uint32_t group) {
    RawGroupDescriptor raw{};
    const std::size_t offset = static_cast<std::size_t>(group) * kGroupDescriptorSize;
    if (FitsIn(table.size(), offset, kGroupDescriptorSize))
        std::copy_n(table.begin() + static_cast<std::ptrdiff_t>(offset), raw.size(), raw.begin());
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

bool PassesDescriptorTest(ConstBytes table, std::uint32_t groupCount) {
    for (std::uint32_t g = 0; g < groupCount; ++g) {
        const GroupDescriptor gd = GroupDescriptor::Decode(DescriptorAt(table, g));
        for (const DescriptorCriterion criterion : kDescriptorCriteria) {
            if (!MeetsCriterion(gd, criterion))
                return false;
        }
    }
    return true;
}

} // namespace twl
