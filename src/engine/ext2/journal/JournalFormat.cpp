#include "ext2/journal/JournalFormat.h"

namespace twl {
namespace {

constexpr std::size_t kHeaderBytes = 12;
constexpr std::size_t kUuidBytes = 16;
constexpr std::size_t kBlockTailBytes = 4; // the descriptor checksum of csum v2 and v3
constexpr std::uint32_t kKnownTagFlags = kTagEscaped | kTagSameUuid | kTagDeleted | kTagLast;

bool HasChecksums(std::uint32_t incompat) {
    return (incompat & (kJournalIncompatCsumV2 | kJournalIncompatCsumV3)) != 0;
}

JournalTag DecodeTag(ConstBytes block, std::size_t at, std::uint32_t incompat) {
    JournalTag tag;
    tag.fsBlock = Be32(block, at);
    if ((incompat & kJournalIncompatCsumV3) != 0) {
        // Block number, flags (32 bits), high word of the block number, checksum.
        tag.flags = Be32(block, at + 4);
        if ((incompat & kJournalIncompat64Bit) != 0)
            tag.fsBlock |= std::uint64_t{Be32(block, at + 8)} << 32;
        return tag;
    }
    // Block number, checksum (16 bits), flags (16 bits), then the high word when 64-bit.
    tag.flags = Be16(block, at + 6);
    if ((incompat & kJournalIncompat64Bit) != 0)
        tag.fsBlock |= std::uint64_t{Be32(block, at + 8)} << 32;
    return tag;
}

} // namespace

JournalHeader DecodeJournalHeader(ConstBytes block) {
    if (block.size() < kHeaderBytes)
        return {};
    return {Be32(block, 0), Be32(block, 4), Be32(block, 8)};
}

std::optional<JournalSuperblock>
DecodeJournalSuperblock(ConstBytes block, std::uint32_t fsBlockSize, std::uint64_t mappedBlocks) {
    if (block.size() < 0x30)
        return std::nullopt;
    JournalSuperblock sb;
    sb.header = DecodeJournalHeader(block);
    const auto type = static_cast<JournalBlockType>(sb.header.blockType);
    if (!sb.header.Valid() ||
        (type != JournalBlockType::kSuperblockV1 && type != JournalBlockType::kSuperblockV2))
        return std::nullopt;
    sb.blockSize = Be32(block, 0x0C);
    sb.maxLength = Be32(block, 0x10);
    sb.first = Be32(block, 0x14);
    sb.sequence = Be32(block, 0x18);
    sb.start = Be32(block, 0x1C);
    if (sb.IsVersion2())
        sb.incompat = Be32(block, 0x28);
    // A log that the file the journal inode maps cannot hold, or whose records would begin
    // outside it, is not read.
    if (sb.blockSize != fsBlockSize || sb.maxLength > mappedBlocks || sb.first == 0 ||
        sb.first >= sb.maxLength || (sb.start != 0 && sb.start >= sb.maxLength))
        return std::nullopt;
    return sb;
}

std::size_t JournalTagBytes(std::uint32_t incompat) {
    if ((incompat & kJournalIncompatCsumV3) != 0)
        return 16;
    std::size_t bytes = 12;
    if ((incompat & kJournalIncompatCsumV2) != 0)
        bytes += 2;
    if ((incompat & kJournalIncompat64Bit) == 0)
        bytes -= 4;
    return bytes;
}

DescriptorTags DecodeDescriptorTags(ConstBytes block, std::uint32_t incompat) {
    DescriptorTags out;
    const std::size_t tagBytes = JournalTagBytes(incompat);
    const std::size_t end = block.size() - (HasChecksums(incompat) ? kBlockTailBytes : 0);
    std::size_t at = kHeaderBytes;
    for (;;) {
        if (!FitsIn(end, at, tagBytes)) {
            out.damaged = true; // the list runs off the block without a last tag
            break;
        }
        const JournalTag tag = DecodeTag(block, at, incompat);
        if ((tag.flags & ~kKnownTagFlags) != 0 || (tag.flags & kTagDeleted) != 0) {
            out.damaged = true;
            break;
        }
        out.tags.push_back(tag);
        at += tagBytes;
        if ((tag.flags & kTagSameUuid) == 0)
            at += kUuidBytes;
        if ((tag.flags & kTagLast) != 0)
            break;
    }
    if (out.damaged)
        out.tags.clear();
    return out;
}

std::vector<std::uint64_t> DecodeRevokedBlocks(ConstBytes block, std::uint32_t incompat) {
    std::vector<std::uint64_t> blocks;
    if (block.size() < 16)
        return blocks;
    const std::size_t width = (incompat & kJournalIncompat64Bit) != 0 ? 8 : 4;
    const std::size_t used = Be32(block, 12); // bytes of the block in use, header included
    const std::size_t end =
        std::min(used, block.size() - (HasChecksums(incompat) ? kBlockTailBytes : 0));
    for (std::size_t at = 16; at + width <= end; at += width)
        blocks.push_back(width == 8 ? Be64(block, at) : Be32(block, at));
    return blocks;
}

} // namespace twl
