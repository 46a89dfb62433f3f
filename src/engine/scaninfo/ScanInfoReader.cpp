#include "scaninfo/ScanInfoReader.h"

#include "ext2/CatalogPath.h"
#include "platform/BlockDevice.h"
#include "platform/FullIo.h"
#include "platform/UniqueFd.h"
#include "scaninfo/LoadedVolumeCheck.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace twl {
namespace {

// Takes bytes from the front of the file; never past its end.
class Cursor {
public:
    explicit Cursor(ConstBytes data) : m_data(data) {}
    bool Take(std::size_t count, ConstBytes& out) {
        if (!Peek(count, out))
            return false;
        m_pos += count;
        return true;
    }
    bool Peek(std::size_t count, ConstBytes& out) const {
        if (!FitsIn(m_data.size(), m_pos, count))
            return false;
        out = m_data.subspan(m_pos, count);
        return true;
    }
    bool AtEnd() const { return m_pos == m_data.size(); }
    int PercentRead() const {
        return m_data.empty() ? 100 : static_cast<int>(m_pos * std::uint64_t{100} / m_data.size());
    }

private:
    ConstBytes m_data;
    std::size_t m_pos = 0;
};

ScanInfoReadResult Damaged(LoadedScanInfo& loaded, std::string what) {
    loaded.damage = std::move(what);
    return ScanInfoReadResult::kDamaged;
}

bool ReadVolumeList(Cursor& cursor, LoadedScanInfo& loaded) {
    ConstBytes first;
    if (!cursor.Peek(kSectorSize, first))
        return false;
    const VolumeListHead head = DecodeVolumeListHead(first);
    const std::size_t recordSize = head.kind == 0   ? PartitionEntry::kEncodedSize
                                   : head.kind == 1 ? FoundVolumeEntry::kEncodedSize
                                                    : 0;
    const std::uint64_t needed = 9 + std::uint64_t{head.count} * recordSize;
    ConstBytes block;
    if (head.sectors == 0 || std::uint64_t{head.sectors} * kSectorSize < needed ||
        !cursor.Take(std::size_t{head.sectors} * kSectorSize, block))
        return false;
    loaded.lists = DecodeVolumeListBlock(block, head);
    return true;
}

bool ReadDescriptors(Cursor& cursor, Ext2Volume& volume) {
    ConstBytes first;
    if (!cursor.Peek(kSectorSize, first))
        return false;
    const DescriptorBlockHead head = DecodeDescriptorBlockHead(first);
    ConstBytes block;
    if (head.tableBytes % kGroupDescriptorSize != 0 || head.sectors == 0 ||
        std::uint64_t{head.sectors} * kSectorSize < 16 + std::uint64_t{head.tableBytes} ||
        !cursor.Take(std::size_t{head.sectors} * kSectorSize, block))
        return false;
    volume.descriptorTable.assign(block.begin() + 16, block.begin() + 16 + head.tableBytes);
    volume.groupCount = head.tableBytes / kGroupDescriptorSize;
    // Held in whole sectors, as a volume open holds it.
    volume.descriptorTable.resize(DescriptorTableBytes(volume.groupCount), 0);
    return true;
}

// Reads one run: node entries up to the one whose next-sibling link is zero, attached as the
// child list of `parent`. Appends the nodes that have runs of their own to `withChildren`.
bool ReadRun(Cursor& cursor, Catalog& catalog, NodeId parent, std::vector<NodeId>& withChildren) {
    NodeId tail = kNoNode;
    for (;;) {
        ConstBytes entry;
        ConstBytes name;
        if (!cursor.Take(kNodeRecordSize + 2, entry) ||
            !cursor.Take(Le16(entry, kNodeRecordSize), name))
            return false;
        CatalogNode fields = DecodeNodeRecord(entry);
        const std::string_view text(reinterpret_cast<const char*>(name.data()), name.size());
        // A header named by its folder's path keeps no copy of it: the path is made again
        // from the names above when it is asked for.
        const bool pathName = fields.is_header != 0 && IsFolderPath(catalog, parent, text);
        const NodeId id = catalog.AddNode(pathName ? std::string_view{} : text);
        CatalogNode& node = catalog.Node(id);
        fields.pathName = pathName ? 1 : 0;
        const bool hasChildren = fields.first_child != 0;
        const bool last = fields.next_sibling == 0;
        fields.first_child = fields.next_sibling = kNoNode;
        fields.nameRef = node.nameRef;
        fields.nameLength = node.nameLength;
        node = fields;
        if (tail == kNoNode)
            catalog.AttachChildList(parent, id);
        else
            catalog.LinkSibling(tail, id);
        tail = id;
        if (hasChildren)
            withChildren.push_back(id);
        if (last)
            return true;
    }
}

// The tree: the root anchor's run, then each run below in the order the writer wrote them.
bool ReadTree(Cursor& cursor, Catalog& catalog, const ScanInfoReadProgress& progress) {
    if (cursor.AtEnd())
        return true; // an empty catalogue
    struct Level {
        std::vector<NodeId> withChildren;
        std::size_t next = 0;
    };
    int shown = -1;
    const auto report = [&] {
        if (const int percent = cursor.PercentRead(); percent != shown && progress)
            progress(shown = percent);
    };
    std::vector<Level> levels(1);
    if (!ReadRun(cursor, catalog, kRootAnchor, levels.back().withChildren))
        return false;
    report();
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next == level.withChildren.size()) {
            levels.pop_back();
            continue;
        }
        const NodeId parent = level.withChildren[level.next++];
        Level below;
        if (!ReadRun(cursor, catalog, parent, below.withChildren))
            return false;
        report();
        levels.push_back(std::move(below));
    }
    return true;
}

} // namespace

ScanInfoReadResult ParseScanInfo(ConstBytes file, LoadedScanInfo& loaded,
                                 const ScanInfoReadProgress& progress) {
    Cursor cursor(file);
    ConstBytes section;
    if (!cursor.Take(kSectorSize, section) || !IsValidHeadSector(section))
        return ScanInfoReadResult::kNotScanInfo;
    if (!cursor.Take(kSourceBlockSize, section))
        return Damaged(loaded, "it ends inside the source block");
    loaded.source = DecodeSourceBlock(section);
    if (!ReadVolumeList(cursor, loaded))
        return Damaged(loaded, "its volume list block is cut short or has a wrong length");
    Ext2Volume& volume = *loaded.volume;
    if (!cursor.Take(kSectorSize, section))
        return Damaged(loaded, "it ends inside the selected volume sector");
    volume.selectedVolumeRecord = DecodeSelectedVolumeSector(section);
    volume.start = Le32(volume.selectedVolumeRecord, 2);
    volume.size = Le32(volume.selectedVolumeRecord, 6);
    if (!cursor.Take(kSuperblockSize, section))
        return Damaged(loaded, "it ends inside the superblock copy");
    RawSuperblock raw{};
    std::copy(section.begin(), section.end(), raw.begin());
    volume.SetSuperblock(raw);
    if (!ReadDescriptors(cursor, volume))
        return Damaged(loaded, "its group descriptor block is cut short or has a wrong length");
    if (std::string problem = LoadedVolumeProblem(volume, loaded.source.sourceSize);
        !problem.empty())
        return Damaged(loaded, std::move(problem));
    bool read = false;
    const std::string failure =
        RunWithinCatalogLimits([&] { read = ReadTree(cursor, loaded.catalog, progress); });
    if (!failure.empty())
        return Damaged(loaded, "its file tree cannot be held: " + failure);
    if (!read)
        return Damaged(loaded, "it ends inside the file tree");
    return ScanInfoReadResult::kOk;
}

ScanInfoReadResult ReadScanInfoFile(const std::string& path, LoadedScanInfo& loaded,
                                    const ScanInfoReadProgress& progress) {
    const OpenedFile opened = OpenForReading(path); // refuses a FIFO before it could block
    const UniqueFd& fd = opened.fd;
    struct stat st {};
    if (!fd.Valid()) {
        // A folder or FIFO is named as such; it is a file that cannot be opened all the same.
        loaded.openStatus = opened.status;
        loaded.openStatus.code = ErrorCode::kCannotOpen;
        loaded.openStatus.isFile = true;
        return ScanInfoReadResult::kCannotOpen;
    }
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        loaded.openStatus = Status::Failure(ErrorCode::kCannotOpen, path + " (not a regular file)");
        return ScanInfoReadResult::kCannotOpen;
    }
    std::vector<std::uint8_t> bytes;
    if (!RunWithinCatalogLimits([&] {
             bytes.resize(static_cast<std::size_t>(st.st_size));
         }).empty())
        return Damaged(loaded, "it is too large to be read");
    // A read error keeps what came before it; the parser judges what is there.
    bytes.resize(ReadAllAt(fd.Get(), 0, bytes).bytes);
    return ParseScanInfo(bytes, loaded, progress);
}

} // namespace twl
