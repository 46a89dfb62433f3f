#pragma once

// The records of an ext3/ext4 journal (jbd2), big-endian: every block of the log that is not
// a copy of a file-system block begins with a 12-byte header (magic, block type, transaction
// sequence). The journal superblock says how long the log is and how its descriptor tags are
// laid out; a descriptor block lists the file-system blocks whose copies follow it in the
// log; a commit block closes a transaction; a revoke block cancels older copies.

#include "core/ByteCodec.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace twl {

inline constexpr std::uint32_t kJournalMagic = 0xC03B3998;

enum class JournalBlockType : std::uint32_t {
    kDescriptor = 1,
    kCommit = 2,
    kSuperblockV1 = 3,
    kSuperblockV2 = 4,
    kRevoke = 5,
};

// Incompatible features of the journal that change what its records look like.
inline constexpr std::uint32_t kJournalIncompatRevoke = 0x01;
inline constexpr std::uint32_t kJournalIncompat64Bit = 0x02;
inline constexpr std::uint32_t kJournalIncompatAsyncCommit = 0x04;
inline constexpr std::uint32_t kJournalIncompatCsumV2 = 0x08;
inline constexpr std::uint32_t kJournalIncompatCsumV3 = 0x10;
inline constexpr std::uint32_t kJournalIncompatFastCommit = 0x20;

// Flags of a descriptor tag.
inline constexpr std::uint32_t kTagEscaped = 0x1;  // the copy's first four bytes were the magic
inline constexpr std::uint32_t kTagSameUuid = 0x2; // no 16-byte UUID follows the tag
inline constexpr std::uint32_t kTagDeleted = 0x4;  // not used by writers
inline constexpr std::uint32_t kTagLast = 0x8;     // the descriptor's last tag

struct JournalHeader {
    std::uint32_t magic = 0;
    std::uint32_t blockType = 0;
    std::uint32_t sequence = 0;

    bool Valid() const { return magic == kJournalMagic; }
};
JournalHeader DecodeJournalHeader(ConstBytes block);

struct JournalSuperblock {
    JournalHeader header;
    std::uint32_t blockSize = 0; // s_blocksize
    std::uint32_t maxLength = 0; // s_maxlen: blocks in the log, this one included
    std::uint32_t first = 0;     // s_first: the first block of log records
    std::uint32_t sequence = 0;  // s_sequence: the first transaction expected in the log
    std::uint32_t start = 0;     // s_start: where replay would begin; 0 after a clean unmount
    std::uint32_t incompat = 0;  // s_feature_incompat (version 2 only)

    bool IsVersion2() const {
        return header.blockType == static_cast<std::uint32_t>(JournalBlockType::kSuperblockV2);
    }
};
// The journal superblock in `block`, when its header and fields hold together for a journal
// of `fsBlockSize`-byte blocks that is `mappedBlocks` long.
std::optional<JournalSuperblock>
DecodeJournalSuperblock(ConstBytes block, std::uint32_t fsBlockSize, std::uint64_t mappedBlocks);

// Bytes of one descriptor tag under the journal's features (without the UUID that may follow).
std::size_t JournalTagBytes(std::uint32_t incompat);

struct JournalTag {
    std::uint64_t fsBlock = 0;
    std::uint32_t flags = 0;
};
// The tags of descriptor block `block`, in order; empty with `damaged` set when a tag runs
// past the block, carries flags no writer sets, or no tag ends the list.
struct DescriptorTags {
    std::vector<JournalTag> tags;
    bool damaged = false;
};
DescriptorTags DecodeDescriptorTags(ConstBytes block, std::uint32_t incompat);

// The file-system blocks a revoke block names.
std::vector<std::uint64_t> DecodeRevokedBlocks(ConstBytes block, std::uint32_t incompat);

} // namespace twl
