#pragma once

// The journal of the open volume read once, front to back, into an index: for each
// file-system block, the copies of it the log still holds, newest first. Every block of the
// log is looked at, not only those from where replay would begin: after a clean unmount the
// log is still there, and its older transactions hold the metadata as it was before files
// were deleted. The file-system blocks themselves are never changed.

#include "core/StopControl.h"
#include "ext2/VolumeReader.h"
#include "ext2/journal/JournalFormat.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace twl {

struct JournalCopy {
    std::uint64_t fsBlock = 0;      // the file-system block it is a copy of
    std::uint32_t journalBlock = 0; // where in the log it lies
    std::uint32_t age = 0;          // transactions between it and the newest one (0: newest)
    bool escaped = false;           // its first four bytes were the magic and must be put back
};

// What reading the journal met.
struct JournalReport {
    std::string unavailable;              // why there is no journal to read; "" when it was read
    std::uint32_t length = 0;             // blocks of the log
    std::uint32_t transactions = 0;       // distinct sequences whose copies were taken
    std::uint32_t descriptors = 0;        // descriptor blocks read
    std::uint32_t damagedDescriptors = 0; // descriptors whose tags could not be read
    std::uint32_t revokeBlocks = 0;
    std::uint64_t copies = 0;      // copies indexed
    std::uint64_t uncommitted = 0; // copies of the newest transaction, which has no commit
    bool stopped = false;          // the stop control ended the reading
};

class JournalIndex {
public:
    // Reads the journal of the volume `reader` reads. Without a readable internal journal the
    // index is empty and the report says why.
    static JournalIndex Read(VolumeReader& reader, StopControl* stop = nullptr);

    const JournalReport& Report() const { return m_report; }
    bool Empty() const { return m_copies.empty(); }

    // The copies of file-system block `block`, newest first.
    std::span<const JournalCopy> CopiesOf(std::uint64_t block) const;
    // Every file-system block with copies, ascending, each once.
    std::vector<std::uint64_t> Blocks() const;

    // Reads `copy` into `out` (one block), its escaped magic put back. Returns the read's result.
    int ReadCopy(VolumeReader& reader, const JournalCopy& copy, MutableBytes out) const;

private:
    std::vector<BlockNo> m_map;        // log block -> file-system block of the journal file
    std::vector<JournalCopy> m_copies; // by file-system block, then newest first
    JournalReport m_report;

    friend class JournalLogScan;
};

} // namespace twl
