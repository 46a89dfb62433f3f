#pragma once

// The bytes of an ext4 extent tree node: a 12-byte header (magic, entries, room, depth), then
// 12-byte entries. A leaf entry names a run of logical blocks and the physical blocks holding
// them (a length above 32768 marks an uninitialised run of length - 32768); an index entry
// names the first logical block it covers and the block of the node below.

#include "core/ByteCodec.h"
#include "ext2/Inode.h"

#include <cstdint>
#include <optional>

namespace twl {

inline constexpr std::uint16_t kExtentMagic = 0xF30A;
inline constexpr std::size_t kExtentHeaderSize = 12;
inline constexpr std::size_t kExtentEntrySize = 12;
inline constexpr std::uint16_t kMaxExtentDepth = 5;
inline constexpr std::uint16_t kMaxInitialisedLength = 32768;

struct ExtentHeader {
    std::uint16_t entries = 0;
    std::uint16_t depth = 0; // for the caller to judge
};

// The header of a node, when it is sound: the magic, no more entries than its room, and no
// more room than the node's bytes hold.
inline std::optional<ExtentHeader> ReadExtentHeader(ConstBytes node) {
    if (node.size() < kExtentHeaderSize || Le16(node, 0) != kExtentMagic)
        return std::nullopt;
    const std::uint16_t entries = Le16(node, 2);
    const std::uint16_t room = Le16(node, 4);
    if (entries > room || room > (node.size() - kExtentHeaderSize) / kExtentEntrySize)
        return std::nullopt;
    return ExtentHeader{entries, Le16(node, 6)};
}

// Entry n of a node whose header allows it.
inline ConstBytes ExtentEntryAt(ConstBytes node, std::size_t n) {
    return node.subspan(kExtentHeaderSize + n * kExtentEntrySize, kExtentEntrySize);
}

// Of a leaf entry: its first logical block, its physical start (48 bits), its length in
// blocks and whether it is uninitialised.
inline std::uint64_t ExtentFirst(ConstBytes entry) {
    return Le32(entry, 0);
}
inline BlockNo ExtentStart(ConstBytes entry) {
    return static_cast<BlockNo>(Le16(entry, 6)) << 32 | Le32(entry, 8);
}
inline bool ExtentUnwritten(ConstBytes entry) {
    return Le16(entry, 4) > kMaxInitialisedLength;
}
inline std::uint64_t ExtentLength(ConstBytes entry) {
    const std::uint16_t length = Le16(entry, 4);
    return length > kMaxInitialisedLength ? length - kMaxInitialisedLength : length;
}

// Of an index entry: the block of the node below (48 bits).
inline BlockNo ExtentChild(ConstBytes entry) {
    return static_cast<BlockNo>(Le16(entry, 8)) << 32 | Le32(entry, 4);
}

} // namespace twl
