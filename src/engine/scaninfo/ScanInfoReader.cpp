#include "scaninfo/ScanInfoReader.h"

#include "ext2/CatalogPath.h"
#include "platform/BlockDevice.h"
#include "platform/FullIo.h"
#include "platform/UniqueFd.h"
#include "scaninfo/LoadedVolumeCheck.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace twl {
namespace {

// Takes bytes from the front of the file; never past its end. Over bytes in memory, or over
// an open file read piece by piece, so that loading a large catalogue does not also hold the
// whole file. A span handed out stays valid until the next Take or Peek.
class Cursor {
public:
    explicit Cursor(ConstBytes data) : m_data(data), m_size(data.size()) {}
    // `size`: the file's length. A read error ends the file where it happened.
    Cursor(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}

    bool Take(std::size_t count, ConstBytes& out) {
        if (!Peek(count, out))
            return false;
        m_pos += count;
        return true;
    }
    bool Peek(std::size_t count, ConstBytes& out) {
        if (!FitsIn(m_size, m_pos, count) || !Hold(count))
            return false;
        out = m_data.subspan(m_pos - m_dataStart, count);
        return true;
    }
    bool AtEnd() const { return m_pos == m_size; }
    int PercentRead() const { return m_size == 0 ? 100 : static_cast<int>(m_pos * 100 / m_size); }

private:
    static constexpr std::size_t kPiece = std::size_t{1} << 16;

    // Makes the bytes [m_pos, m_pos + count) those of m_data.
    bool Hold(std::size_t count) {
        if (m_pos + count <= m_dataStart + m_data.size())
            return true;
        if (m_fd < 0)
            return false;
        // What is still to come moves to the front; the rest of the window is read anew.
        const std::size_t kept = m_dataStart + m_data.size() - m_pos;
        std::copy(m_window.end() - static_cast<std::ptrdiff_t>(kept), m_window.end(),
                  m_window.begin());
        const std::size_t wanted = static_cast<std::size_t>(
            std::min<std::uint64_t>(std::max(count, kPiece), m_size - m_pos));
        m_window.resize(wanted);
        const IoResult got =
            ReadAllAt(m_fd, m_pos + kept, MutableBytes(m_window).subspan(kept, wanted - kept));
        m_window.resize(kept + got.bytes);
        m_data = m_window;
        m_dataStart = m_pos;
        if (m_window.size() < wanted)
            m_size = m_pos + m_window.size(); // the file ends (or fails) sooner than it said
        return m_window.size() >= count;
    }

    int m_fd = -1;
    std::vector<std::uint8_t> m_window;
    ConstBytes m_data;             // the bytes at hand
    std::uint64_t m_dataStart = 0; // their offset in the file
    std::uint64_t m_pos = 0;
    std::uint64_t m_size = 0;
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
    // Descriptors are stored whole, of the size the superblock copy before them gives (32
    // bytes, or 64 and more on 64bit volumes); a size that is damage is judged with the copy.
    const std::uint32_t size = volume.layout.size != 0 ? volume.layout.size : kGroupDescriptorSize;
    ConstBytes block;
    if (head.tableBytes % size != 0 || head.sectors == 0 ||
        std::uint64_t{head.sectors} * kSectorSize < 16 + std::uint64_t{head.tableBytes} ||
        !cursor.Take(std::size_t{head.sectors} * kSectorSize, block))
        return false;
    volume.descriptorTable.assign(block.begin() + 16, block.begin() + 16 + head.tableBytes);
    volume.groupCount = head.tableBytes / size;
    // Held in whole sectors, as a volume open holds it.
    volume.descriptorTable.resize(DescriptorTableBytes(volume.groupCount, size), 0);
    return true;
}

// Reads one run: node entries up to the one whose next-sibling link is zero, attached as the
// child list of `parent`. Appends the nodes that have runs of their own to `withChildren`.
bool ReadRun(Cursor& cursor, Catalog& catalog, NodeId parent, std::vector<NodeId>& withChildren) {
    NodeId tail = kNoNode;
    for (;;) {
        ConstBytes entry;
        ConstBytes name;
        if (!cursor.Take(kNodeRecordSize + 2, entry))
            return false;
        // Decoded before the name is taken: taking it may move the bytes of the entry.
        CatalogNode fields = DecodeNodeRecord(entry);
        if (!cursor.Take(Le16(entry, kNodeRecordSize), name))
            return false;
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

ScanInfoReadResult Parse(Cursor& cursor, LoadedScanInfo& loaded,
                         const ScanInfoReadProgress& progress) {
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

} // namespace

ScanInfoReadResult ParseScanInfo(ConstBytes file, LoadedScanInfo& loaded,
                                 const ScanInfoReadProgress& progress) {
    Cursor cursor(file);
    return Parse(cursor, loaded, progress);
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
    // A read error keeps what came before it; the parser judges what is there.
    Cursor cursor(fd.Get(), static_cast<std::uint64_t>(st.st_size));
    return Parse(cursor, loaded, progress);
}

} // namespace twl
