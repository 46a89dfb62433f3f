#include "ext2/FileMapping.h"

namespace twl {
namespace {

constexpr std::size_t kMapOffset = 0x28;
constexpr std::size_t kMapBytes = 4 * kBlockPointers;

} // namespace

bool MapPlausible(const InodeRecord& inode, std::uint32_t blocksCount) {
    if (MappingOf(inode) == FileMapping::kInline)
        return true;
    const InodeView view{inode};
    for (std::size_t n = 0; n < kBlockPointers; ++n) {
        if (view.i_block(n) > blocksCount)
            return false;
    }
    return true;
}

bool MapsFirstBlock(const InodeRecord& inode) {
    return MappingOf(inode) == FileMapping::kInline || InodeView{inode}.i_block(0) != 0;
}

bool MapsAnyBlock(const InodeRecord& inode) {
    if (MappingOf(inode) == FileMapping::kInline)
        return true;
    const InodeView view{inode};
    for (std::size_t i = 0; i < 15; ++i)
        if (view.i_block(i) != 0)
            return true;
    return false;
}

ConstBytes InlineData(const InodeRecord& inode) {
    return ConstBytes(inode).subspan(kMapOffset, kMapBytes);
}

std::pair<unsigned, unsigned> DeviceNumbers(const InodeRecord& inode) {
    const InodeView view{inode};
    if (const std::uint32_t old = view.i_block(0); old != 0)
        return {(old >> 8) & 0xFF, old & 0xFF};
    const std::uint32_t wide = view.i_block(1);
    return {(wide & 0xFFF00) >> 8, (wide & 0xFF) | ((wide >> 12) & 0xFFF00)};
}

} // namespace twl
