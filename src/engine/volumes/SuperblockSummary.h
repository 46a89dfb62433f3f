#pragma once

// The fields of a superblock that every copy of one file system shares, packed into 166 bytes
// and compared as a whole: two superblocks belong to the same file system exactly when their
// summaries are equal. Free counts, mount and write times, mount count, state,
// s_block_group_nr, s_first_ino and the feature words are left out.

#include "core/ByteCodec.h"

#include <array>
#include <cstdint>

namespace twl {

inline constexpr std::size_t kSuperblockSummarySize = 166;
using SuperblockSummary = std::array<std::uint8_t, kSuperblockSummarySize>;

// `superblock` is the 1024-byte raw superblock.
SuperblockSummary SummarizeSuperblock(ConstBytes superblock);

} // namespace twl
