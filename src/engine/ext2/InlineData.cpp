#include "ext2/InlineData.h"

#include <algorithm>
#include <string_view>

namespace twl {
namespace {

constexpr std::size_t kMapOffset = 0x28;
constexpr std::size_t kInlineMapBytes = 60;
constexpr std::size_t kExtraIsize = 0x80; // u16: bytes of extra fields past the first 128
constexpr std::uint32_t kAttributeMagic = 0xEA020000;
constexpr std::uint8_t kSystemIndex = 7;
constexpr std::size_t kEntryHeader = 16; // name length, index, value offset, inode, size, hash

// The system.data value in the attribute area `area` (after its magic), or empty.
ConstBytes SystemDataValue(ConstBytes area) {
    std::size_t at = 0;
    while (at + kEntryHeader <= area.size() && Le32(area, at) != 0) {
        const std::uint8_t nameLength = area[at];
        const std::size_t next = at + ((kEntryHeader + nameLength + 3) & ~std::size_t{3});
        if (next > area.size())
            break;
        const std::string_view name(reinterpret_cast<const char*>(area.data()) + at + kEntryHeader,
                                    nameLength);
        const std::size_t offset = Le16(area, at + 2);
        const std::size_t size = Le32(area, at + 8);
        if (area[at + 1] == kSystemIndex && name == "data" && Le32(area, at + 4) == 0) {
            if (offset > area.size() || size > area.size() - offset)
                return {};
            return area.subspan(offset, size);
        }
        at = next; // each entry ends further on: the walk ends within the area
    }
    return {};
}

void PutRecord(std::vector<std::uint8_t>& block, std::size_t at, InodeNo inode,
               std::uint16_t length, std::string_view name) {
    PutLe32(block, at, inode);
    PutLe16(block, at + 4, length);
    block[at + 6] = static_cast<std::uint8_t>(name.size());
    block[at + 7] = 2; // a folder
    std::copy(name.begin(), name.end(), block.begin() + static_cast<std::ptrdiff_t>(at + 8));
}

// The system.data value of a whole record, or empty.
ConstBytes SystemDataOf(ConstBytes body) {
    if (body.size() <= kInodeRecordSize + 2)
        return {};
    const std::size_t areaStart = kInodeRecordSize + Le16(body, kExtraIsize);
    if (areaStart + 4 > body.size() || Le32(body, areaStart) != kAttributeMagic)
        return {};
    return SystemDataValue(body.subspan(areaStart + 4));
}

} // namespace

std::vector<std::uint8_t> InlineDataBytes(ConstBytes body) {
    if (body.size() < kMapOffset + kInlineMapBytes)
        return {};
    const ConstBytes value = SystemDataOf(body);
    std::vector<std::uint8_t> bytes(kInlineMapBytes + value.size(), 0);
    std::copy_n(body.begin() + kMapOffset, kInlineMapBytes, bytes.begin());
    std::copy(value.begin(), value.end(), bytes.begin() + kInlineMapBytes);
    return bytes;
}

std::vector<std::uint8_t> InlineFolderBlock(ConstBytes inlineBytes, InodeNo self,
                                            std::uint32_t blockSize) {
    constexpr std::size_t kDots = 24; // "." and ".." of 12 bytes each
    const std::size_t entries = inlineBytes.size() < 4 ? 0 : inlineBytes.size() - 4;
    if (inlineBytes.size() < 4 || kDots + entries + 3 + 8 > blockSize)
        return {};
    std::vector<std::uint8_t> block(blockSize, 0);
    PutRecord(block, 0, self, 12, ".");
    PutRecord(block, 12, Le32(inlineBytes, 0), 12, "..");
    std::copy(inlineBytes.begin() + 4, inlineBytes.end(), block.begin() + kDots);
    // The rest of the block: one empty record, so the listing ends where the block does.
    const std::size_t rest = (kDots + entries + 3) & ~std::size_t{3};
    PutRecord(block, rest, 0, static_cast<std::uint16_t>(blockSize - rest), "");
    block[rest + 7] = 0;
    return block;
}

} // namespace twl
