#pragma once

// The records of a folder, read block by block. A folder block holds records one after the
// other: inode number (u32), record length (u16), name length (u8), file type (u8) and the
// name bytes, then whatever the record leaves unused after its name. Every reader of folder
// data (the tree walk, the lost-folder listing, and readers of what live records leave
// unused) goes through this one parser.

#include "core/ByteCodec.h"
#include "ext2/FileBlocks.h"
#include "ext2/Inode.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>

namespace twl {

inline constexpr std::size_t kDirentHeader = 8; // inode, rec_len, name_len, file_type

struct DirectoryRecord {
    std::size_t offset = 0; // of the record within its block
    InodeNo inode = 0;      // 0 for a deleted entry
    std::uint16_t recLen = 0;
    std::uint8_t nameLen = 0;
    std::uint8_t fileType = 0;
    ConstBytes name;       // nameLen bytes, as stored
    std::size_t slack = 0; // bytes the record leaves unused after its name

    std::string_view NameText() const {
        return {reinterpret_cast<const char*>(name.data()), name.size()};
    }
};

// The inode numbers a record may name besides 0 (a deleted entry).
struct InodeRange {
    InodeNo lowest = 1;
    InodeNo highest = 0;
};

// How the records of a block ended.
enum class RecordsEnd : std::uint8_t {
    kBlockEnd, // every record was read
    kDamage,   // a damaged record: the rest of the block was passed over
    kVisitor,  // the visitor ended the reading
};

// Whether `name` can be a folder entry's name: no NUL, no '/'.
inline bool IsEntryName(std::string_view name) {
    return name.find('\0') == std::string_view::npos && name.find('/') == std::string_view::npos;
}

// The record at `offset` of one folder block, or nothing when it is damaged: its header or
// name does not fit in its length, it leaves the block, or it names an inode outside `range`.
std::optional<DirectoryRecord> ReadDirectoryRecord(ConstBytes block, std::size_t offset,
                                                   InodeRange range);

// Calls visit (returning WalkOn) for each record of one folder block from byte `from` on, in
// order, deleted records too. A damaged record ends this block only.
template <typename Visit>
RecordsEnd ForEachDirectoryRecord(ConstBytes block, std::size_t from, InodeRange range,
                                  const Visit& visit) {
    for (std::size_t offset = from; offset < block.size();) {
        const std::optional<DirectoryRecord> record = ReadDirectoryRecord(block, offset, range);
        if (!record)
            return RecordsEnd::kDamage;
        if (visit(*record) == WalkOn::kEnd)
            return RecordsEnd::kVisitor;
        offset += record->recLen;
    }
    return RecordsEnd::kBlockEnd;
}

// The entries a deletion merged away: a folder record's length may reach over older records
// (a deleted entry's bytes stay behind its predecessor's name). Calls visit for each plausible
// entry in bytes [from, to) of `block`, at 4-byte steps: a name of at least one byte with no
// NUL or '/', an inode of `range`, and a length that is a multiple of 4, holds the name and
// stays inside [from, to). After a plausible entry the search goes on past its name, where
// an older entry may lie in turn.
template <typename Visit>
void ForEachSlackEntry(ConstBytes block, std::size_t from, std::size_t to, InodeRange range,
                       const Visit& visit) {
    to = std::min(to, block.size());
    const ConstBytes gap = block.first(to);
    for (std::size_t offset = (from + 3) / 4 * 4; offset + kDirentHeader < to;) {
        if (Le32(gap, offset) == 0) { // most slack is zeros: no entry begins there
            offset += 4;
            continue;
        }
        const std::optional<DirectoryRecord> record = ReadDirectoryRecord(gap, offset, range);
        if (!record || record->inode == 0 || record->nameLen == 0 || record->recLen % 4 != 0 ||
            !IsEntryName(record->NameText())) {
            offset += 4;
            continue;
        }
        visit(*record);
        offset += (kDirentHeader + record->nameLen + 3) / 4 * 4;
    }
}

// Where the entries after "." and ".." begin in a folder's data: "." is taken as 12 bytes
// long, then comes the length of "..". Empty when the data is too short to say.
std::optional<std::uint64_t> ListingStart(ConstBytes data);

// How a folder's data opens: "." and ".." where a healthy folder has them (bytes 8, 20 and
// 21), "." naming an inode from 2 to `inodesCount`.
struct FolderOpening {
    bool sound = false;
    InodeNo self = 0;               // the inode "." names
    std::uint64_t listingStart = 0; // see ListingStart
};
FolderOpening ReadFolderOpening(ConstBytes data, std::uint32_t inodesCount);

} // namespace twl
