#include "ext2/journal/JournalIndex.h"

#include "core/AlignedBuffer.h"

#include <algorithm>
#include <set>

namespace twl {
namespace {

constexpr std::uint32_t kCompatHasJournal = 0x0004;
constexpr std::size_t kJournalInodeField = 0xE0;
constexpr std::size_t kJournalDeviceField = 0xE4;
// No journal is this long (jbd2 logs stay below 2^30 bytes); a record claiming more is damage.
constexpr std::uint64_t kMostJournalBlocks = std::uint64_t{1} << 22;
constexpr std::uint64_t kRunBytes = 256 * 1024; // one read of the log

// A copy as the log holds it, before transactions are ordered.
struct RawCopy {
    std::uint64_t fsBlock;
    std::uint32_t journalBlock;
    std::uint32_t sequence;
    bool escaped;
};

// Whether sequence a is newer than b: sequences wrap, and live transactions lie within 2^31.
bool Newer(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::int32_t>(a - b) > 0;
}

} // namespace

// The one sequential pass over the log, block by block: a descriptor's tags name the blocks
// that follow it until the next block with a journal header (copies whose first bytes were
// the magic are escaped, so a header is never data). Descriptors near the log's end name
// blocks that wrap to its beginning.
class JournalLogScan {
public:
    JournalLogScan(VolumeReader& reader, JournalIndex& index, const JournalSuperblock& sb,
                   StopControl* stop)
        : m_reader(reader), m_index(index), m_sb(sb), m_stop(stop),
          m_blockSize(reader.Volume().BlockSize()),
          m_buffer(std::max<std::uint64_t>(kRunBytes, m_blockSize)) {}

    void Run() {
        ReadRange(m_sb.first, m_sb.maxLength, false);
        // Tags left over name blocks at the beginning of the log, read again now.
        if (!m_pending.empty())
            ReadRange(m_sb.first, m_sb.maxLength, true);
        Finish();
    }

private:
    // Reads log blocks [from, to) in runs that lie together on the disk. With `wrapping`, only
    // until the tags left over have their blocks.
    void ReadRange(std::uint32_t from, std::uint32_t to, bool wrapping) {
        const std::uint64_t runBlocks = m_buffer.size() / m_blockSize;
        for (std::uint32_t j = from; j < to;) {
            if (m_stop != nullptr && m_stop->ShouldStop()) {
                m_index.m_report.stopped = true;
                return;
            }
            std::uint32_t n = 1;
            while (j + n < to && n < runBlocks && m_index.m_map[j] != 0 &&
                   m_index.m_map[j + n] == m_index.m_map[j] + n)
                ++n;
            const MutableBytes bytes = m_buffer.Bytes().first(std::uint64_t{n} * m_blockSize);
            if (m_index.m_map[j] != 0)
                m_reader.ReadBlock(m_index.m_map[j], bytes);
            else
                std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
            for (std::uint32_t k = 0; k < n; ++k) {
                if (wrapping && m_pending.empty())
                    return;
                Visit(j + k, bytes.subspan(std::uint64_t{k} * m_blockSize, m_blockSize),
                      m_index.m_map[j] == 0, wrapping);
            }
            j += n;
        }
    }

    void Visit(std::uint32_t j, ConstBytes block, bool hole, bool wrapping) {
        const JournalHeader header = DecodeJournalHeader(block);
        if (hole || header.Valid()) {
            m_pending.clear(); // the copies a descriptor named end at the next record
            if (!hole && !wrapping)
                Record(header, block);
            return;
        }
        if (m_pending.empty() || m_next >= m_pending.size())
            return;
        const JournalTag tag = m_pending[m_next++];
        if (m_next == m_pending.size())
            m_pending.clear();
        if (tag.fsBlock >= m_reader.Volume().sb.s_blocks_count || tag.fsBlock == 0)
            return; // not a block of this volume: the copy is of no use
        m_raw.push_back({tag.fsBlock, j, m_sequence, (tag.flags & kTagEscaped) != 0});
    }

    void Record(const JournalHeader& header, ConstBytes block) {
        JournalReport& report = m_index.m_report;
        switch (static_cast<JournalBlockType>(header.blockType)) {
        case JournalBlockType::kDescriptor: {
            ++report.descriptors;
            m_sequences.insert(header.sequence);
            DescriptorTags tags = DecodeDescriptorTags(block, m_sb.incompat);
            if (tags.damaged) {
                ++report.damagedDescriptors;
                return; // its copies cannot be told apart: up to the next record, none is taken
            }
            m_pending = std::move(tags.tags);
            m_next = 0;
            m_sequence = header.sequence;
            return;
        }
        case JournalBlockType::kCommit:
            m_committed.insert(header.sequence);
            return;
        case JournalBlockType::kRevoke:
            ++report.revokeBlocks;
            return;
        default:
            return;
        }
    }

    // Orders the copies newest first. jbd2 writes a transaction's records only after the one
    // before it has committed, so only the newest transaction can lack its commit; its copies
    // may be incomplete and are left out when no commit block closes it.
    void Finish() {
        JournalReport& report = m_index.m_report;
        if (m_sequences.empty())
            return;
        std::uint32_t newest = *m_sequences.begin();
        for (const std::uint32_t s : m_sequences)
            if (Newer(s, newest))
                newest = s;
        const bool newestOpen = m_committed.count(newest) == 0;
        std::set<std::uint32_t> taken;
        for (const RawCopy& raw : m_raw) {
            if (newestOpen && raw.sequence == newest) {
                ++report.uncommitted;
                continue;
            }
            taken.insert(raw.sequence);
            m_index.m_copies.push_back(
                {raw.fsBlock, raw.journalBlock, newest - raw.sequence, raw.escaped});
        }
        std::sort(m_index.m_copies.begin(), m_index.m_copies.end(),
                  [](const JournalCopy& a, const JournalCopy& b) {
                      return a.fsBlock != b.fsBlock ? a.fsBlock < b.fsBlock : a.age < b.age;
                  });
        report.copies = m_index.m_copies.size();
        report.transactions = static_cast<std::uint32_t>(taken.size());
    }

    VolumeReader& m_reader;
    JournalIndex& m_index;
    const JournalSuperblock& m_sb;
    StopControl* m_stop;
    const std::uint32_t m_blockSize;
    AlignedBuffer m_buffer;
    std::vector<JournalTag> m_pending; // tags of the last descriptor whose blocks are to come
    std::size_t m_next = 0;
    std::uint32_t m_sequence = 0;
    std::vector<RawCopy> m_raw;
    std::set<std::uint32_t> m_sequences;
    std::set<std::uint32_t> m_committed;
};

JournalIndex JournalIndex::Read(VolumeReader& reader, StopControl* stop) {
    JournalIndex index;
    const Ext2Volume& volume = reader.Volume();
    const std::uint32_t compat = Le32(volume.superblock, 0x5C);
    const std::uint32_t inode = Le32(volume.superblock, kJournalInodeField);
    if (volume.sb.s_rev_level == kGoodOldRev || (compat & kCompatHasJournal) == 0) {
        index.m_report.unavailable = "the volume has no journal";
        return index;
    }
    if (inode == 0) {
        index.m_report.unavailable = Le32(volume.superblock, kJournalDeviceField) != 0
                                         ? "the journal is on another device, which is not read"
                                         : "the superblock names no journal inode";
        return index;
    }
    if (inode > volume.sb.s_inodes_count) {
        index.m_report.unavailable = "the superblock names a journal inode the volume lacks";
        return index;
    }
    const InodeRecord record = reader.ReadInode(inode).record;
    const std::uint64_t blockSize = volume.BlockSize();
    const std::uint64_t blocks =
        std::min(InodeFileSize(record, volume.sb.HasLargeFile()) / blockSize, kMostJournalBlocks);
    index.m_map.assign(blocks, 0);
    reader.ForEachMappedBlock(
        record, blocks, [&](std::uint64_t logical, BlockNo block) { index.m_map[logical] = block; },
        stop);
    std::vector<std::uint8_t> first(blockSize, 0);
    if (!index.m_map.empty() && index.m_map[0] != 0)
        reader.ReadBlock(index.m_map[0], first);
    const std::optional<JournalSuperblock> sb =
        DecodeJournalSuperblock(first, volume.BlockSize(), blocks);
    if (!sb) {
        index.m_report.unavailable = "the journal's superblock is damaged";
        index.m_map.clear();
        return index;
    }
    index.m_report.length = sb->maxLength;
    JournalLogScan(reader, index, *sb, stop).Run();
    return index;
}

std::span<const JournalCopy> JournalIndex::CopiesOf(std::uint64_t block) const {
    const auto lower =
        std::lower_bound(m_copies.begin(), m_copies.end(), block,
                         [](const JournalCopy& copy, std::uint64_t b) { return copy.fsBlock < b; });
    auto upper = lower;
    while (upper != m_copies.end() && upper->fsBlock == block)
        ++upper;
    return {lower, upper};
}

std::vector<std::uint64_t> JournalIndex::Blocks() const {
    std::vector<std::uint64_t> blocks;
    for (const JournalCopy& copy : m_copies)
        if (blocks.empty() || blocks.back() != copy.fsBlock)
            blocks.push_back(copy.fsBlock);
    return blocks;
}

int JournalIndex::ReadCopy(VolumeReader& reader, const JournalCopy& copy, MutableBytes out) const {
    if (copy.journalBlock >= m_map.size() || m_map[copy.journalBlock] == 0) {
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        return 0;
    }
    const int result = reader.ReadBlock(m_map[copy.journalBlock], out);
    if (copy.escaped)
        PutBe32(out, 0, kJournalMagic);
    return result;
}

} // namespace twl
