#include "ext2/TreeBlockClaims.h"

#include "ext2/FileMapping.h"
#include "ext2/TurboScan.h"

#include <algorithm>

namespace twl {

void BlockRuns::Add(std::uint64_t first, std::uint64_t count) {
    if (count == 0)
        return;
    // Adjoining runs of one file are common: they are joined as they come.
    if (!m_runs.empty() && m_runs.back().first + m_runs.back().second == first)
        m_runs.back().second += count;
    else
        m_runs.emplace_back(first, count);
}

void BlockRuns::Seal() {
    std::sort(m_runs.begin(), m_runs.end());
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_runs.size(); ++i) {
        if (kept != 0) {
            auto& last = m_runs[kept - 1];
            const std::uint64_t end = last.first + last.second;
            if (m_runs[i].first <= end) {
                last.second = std::max(end, m_runs[i].first + m_runs[i].second) - last.first;
                continue;
            }
        }
        m_runs[kept++] = m_runs[i];
    }
    m_runs.resize(kept);
}

std::size_t BlockRuns::FirstEndingAfter(std::uint64_t block) const {
    const auto it =
        std::upper_bound(m_runs.begin(), m_runs.end(), block,
                         [](std::uint64_t b, const std::pair<std::uint64_t, std::uint64_t>& run) {
                             return b < run.first + run.second;
                         });
    return static_cast<std::size_t>(it - m_runs.begin());
}

bool BlockRuns::Meets(std::uint64_t first, std::uint64_t count) const {
    const std::size_t i = FirstEndingAfter(first);
    return count != 0 && i < m_runs.size() && m_runs[i].first < first + count;
}

void BlockRuns::AddOverlap(std::uint64_t first, std::uint64_t count, BlockRuns& out) const {
    const std::uint64_t end = first + count;
    for (std::size_t i = FirstEndingAfter(first); i < m_runs.size() && m_runs[i].first < end; ++i) {
        const std::uint64_t from = std::max(first, m_runs[i].first);
        const std::uint64_t to = std::min(end, m_runs[i].first + m_runs[i].second);
        out.Add(from, to - from);
    }
}

bool AddDataRuns(VolumeReader& reader, const InodeRecord& record, BlockRuns& runs,
                 StopControl* stop) {
    const InodeView view{record};
    const std::uint16_t type = view.FileType();
    const Ext2Volume& volume = reader.Volume();
    if ((type != kModeRegular && type != kModeDirectory && type != kModeSymlink) ||
        MappingOf(record, MapKindsOf(volume.sb)) == FileMapping::kInline)
        return true;
    const std::uint64_t size = InodeFileSize(record, volume.sb.HasLargeFile());
    const std::uint64_t blockSize = volume.BlockSize();
    const std::uint64_t end =
        std::min(size / blockSize + (size % blockSize != 0 ? 1 : 0), reader.VolumeBlockLimit());
    bool sound = true;
    const BlockMapSurvey survey = reader.ForEachFileBlock(
        record, end,
        [&](const FileBlock& step) {
            if (step.step == BlockStep::kOutside || step.step == BlockStep::kBadMap)
                sound = false;
            else if (step.step == BlockStep::kData || step.step == BlockStep::kUnwritten)
                runs.Add(step.block, step.count); // unwritten blocks are the file's too
            return WalkOn::kGoOn;
        },
        stop);
    return sound && !survey.mapLoop && !survey.stopped;
}

namespace {

// The inodes of the nodes the tree walk made, sorted, each once: root-level nodes that are not
// Turbo Scan's containers and everything below them, except deleted items given back their
// place and what they hold.
std::vector<InodeNo> TreeInodes(const Catalog& catalog) {
    std::vector<InodeNo> inodes{kRootInode};
    std::vector<NodeId> lists;
    for (NodeId id = catalog.Node(kRootAnchor).first_child; id != kNoNode;
         id = catalog.Node(id).next_sibling)
        if (OriginOf(catalog, id) == NodeOrigin::kTree)
            lists.push_back(id);
    // Each node is taken once, through its parent's list: a damaged list that loops ends
    // when more were taken than the catalogue holds.
    std::size_t taken = lists.size();
    while (!lists.empty()) {
        const NodeId id = lists.back();
        lists.pop_back();
        const CatalogNode& node = catalog.Node(id);
        if (node.is_header || (node.flags & kNodeDeleted) != 0)
            continue;
        if (node.inode != 0)
            inodes.push_back(node.inode);
        for (NodeId child = node.first_child; child != kNoNode && taken <= catalog.NodeCount();
             child = catalog.Node(child).next_sibling, ++taken)
            lists.push_back(child);
    }
    std::sort(inodes.begin(), inodes.end());
    inodes.erase(std::unique(inodes.begin(), inodes.end()), inodes.end());
    return inodes;
}

} // namespace

BlockRuns BlocksTheTreeClaims(VolumeReader& reader, const Catalog& catalog, const BlockRuns& wanted,
                              StopControl& stop) {
    BlockRuns claimed;
    if (wanted.Empty())
        return claimed;
    const std::vector<InodeNo> inodes = TreeInodes(catalog);
    reader.ReadInodesInOrder(inodes, [&](std::size_t, const InodeRead& read) {
        BlockRuns runs;
        AddDataRuns(reader, read.record, runs, &stop);
        runs.Seal();
        for (const auto& [first, count] : runs.Runs())
            wanted.AddOverlap(first, count, claimed);
        return !stop.ShouldStop();
    });
    claimed.Seal();
    return claimed;
}

} // namespace twl
