#include "scaninfo/ScanInfoFormat.h"

#include "core/DatedName.h"

#include <algorithm>
#include <cstring>

namespace twl {
namespace {

constexpr std::uint8_t kFlagsMark[2] = {'T', 'F'};

constexpr std::size_t kSignatureOffset = 4;

void PutText(MutableBytes out, std::size_t offset, std::string_view text) {
    std::copy(text.begin(), text.end(), out.begin() + static_cast<std::ptrdiff_t>(offset));
}

// The NUL-terminated text of a field, looked for only inside the field.
std::string FieldText(ConstBytes field) {
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    return std::string(field.begin(), end);
}

// A label as the reader takes it: up to its first NUL, zero after.
VolumeLabel UpToNul(const VolumeLabel& label) {
    VolumeLabel clean{};
    const auto end = std::find(label.begin(), label.end(), '\0');
    std::copy(label.begin(), end, clean.begin());
    return clean;
}

template <typename Entry>
void AppendRecords(Bytes& block, const std::vector<Entry>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto record = entries[i].Encode(i + 1 < entries.size());
        block.insert(block.end(), record.begin(), record.end());
    }
}

} // namespace

Bytes EncodeHeadSector() {
    Bytes sector(kSectorSize, 0);
    sector[0] = 0x53;
    sector[1] = 0xEF;
    PutText(sector, kSignatureOffset, kScanInfoSignature);
    return sector;
}

bool IsValidHeadSector(ConstBytes sector) {
    if (sector.size() < kSectorSize || (sector[0] != 0x53 && sector[1] != 0xEF))
        return false;
    return FieldText(sector.subspan(kSignatureOffset, kSectorSize - kSignatureOffset)) ==
           kScanInfoSignature;
}

Bytes EncodeSourceBlock(const SourceBlock& block) {
    Bytes bytes(kSourceBlockSize, 0);
    PutLe32(bytes, 0x000, block.driveId);
    PutLe32(bytes, 0x004, static_cast<std::uint32_t>(block.sourceSize));
    PutLe32(bytes, 0x008, static_cast<std::uint32_t>(block.sourceSize >> 32));
    PutLe32(bytes, 0x00C, static_cast<std::uint32_t>(block.fingerprintSector)); // below 2^32
    PutText(bytes, 0x010, block.imageFolder.substr(0, kPathFieldSize - 1));
    PutText(bytes, 0x114, block.imageName.substr(0, kPathFieldSize - 1));
    std::copy(block.fingerprint.begin(), block.fingerprint.end(), bytes.begin() + 0x400);
    return bytes;
}

SourceBlock DecodeSourceBlock(ConstBytes bytes) {
    SourceBlock block;
    if (bytes.size() < kSourceBlockSize)
        return block;
    block.driveId = Le32(bytes, 0x000);
    block.sourceSize = Le32(bytes, 0x004) | (std::uint64_t{Le32(bytes, 0x008)} << 32);
    block.fingerprintSector = Le32(bytes, 0x00C);
    block.imageFolder = FieldText(bytes.subspan(0x010, kPathFieldSize));
    block.imageName = FieldText(bytes.subspan(0x114, kPathFieldSize));
    std::copy_n(bytes.begin() + 0x400, kSectorSize, block.fingerprint.begin());
    return block;
}

Bytes EncodeVolumeListBlock(const VolumeLists& lists) {
    Bytes block(9, 0);
    std::uint32_t count = 0;
    std::uint8_t kind = 0;
    if (!lists.partitions.entries.empty()) {
        AppendRecords(block, lists.partitions.entries);
        count = static_cast<std::uint32_t>(lists.partitions.entries.size());
    } else if (!lists.found.entries.empty()) {
        AppendRecords(block, lists.found.entries);
        count = static_cast<std::uint32_t>(lists.found.entries.size());
        kind = 1;
    }
    const std::size_t sectors = SectorsFor(block.size());
    block.resize(sectors * kSectorSize, 0);
    PutLe32(block, 0, static_cast<std::uint32_t>(sectors));
    PutLe32(block, 4, count);
    PutLe8(block, 8, kind);
    return block;
}

VolumeListHead DecodeVolumeListHead(ConstBytes sector) {
    return {Le32(sector, 0), Le32(sector, 4), Le8(sector, 8)};
}

VolumeLists DecodeVolumeListBlock(ConstBytes block, const VolumeListHead& head) {
    VolumeLists lists;
    const std::size_t size = head.kind == 0   ? PartitionEntry::kEncodedSize
                             : head.kind == 1 ? FoundVolumeEntry::kEncodedSize
                                              : 0;
    if (size == 0 || !FitsIn(block.size(), 9, std::size_t{head.count} * size))
        return lists;
    for (std::size_t i = 0; i < head.count; ++i) {
        const ConstBytes record = block.subspan(9 + i * size, size);
        if (head.kind == 0) {
            PartitionEntry entry = PartitionEntry::Decode(record);
            entry.label = UpToNul(entry.label);
            lists.partitions.entries.push_back(entry);
        } else {
            FoundVolumeEntry entry = FoundVolumeEntry::Decode(record);
            entry.label = UpToNul(entry.label);
            lists.found.entries.push_back(entry);
        }
    }
    return lists;
}

Bytes EncodeSelectedVolumeSector(const SelectedVolumeRecord& record) {
    Bytes sector(kSectorSize, 0);
    std::copy_n(record.begin(), 10, sector.begin());
    // The name is copied up to its NUL.
    const auto name = record.begin() + 10;
    std::copy(name, std::find(name, record.end(), std::uint8_t{0}), sector.begin() + 10);
    return sector;
}

SelectedVolumeRecord DecodeSelectedVolumeSector(ConstBytes sector) {
    SelectedVolumeRecord record{};
    std::copy_n(sector.begin(), std::min(record.size(), sector.size()), record.begin());
    const auto name = record.begin() + 10;
    std::fill(std::find(name, record.end(), std::uint8_t{0}), record.end(), std::uint8_t{0});
    return record;
}

Bytes EncodeDescriptorBlock(const Ext2Volume& volume) {
    const std::size_t tableBytes = std::size_t{volume.groupCount} * volume.layout.size;
    const std::size_t sectors = SectorsFor(16 + tableBytes);
    Bytes block(sectors * kSectorSize, 0);
    PutLe32(block, 0, static_cast<std::uint32_t>(sectors));
    PutLe32(block, 4, static_cast<std::uint32_t>(tableBytes));
    std::copy_n(volume.descriptorTable.begin(), std::min(tableBytes, volume.descriptorTable.size()),
                block.begin() + 16);
    return block;
}

DescriptorBlockHead DecodeDescriptorBlockHead(ConstBytes sector) {
    return {Le32(sector, 0), Le32(sector, 4)};
}

std::array<std::uint8_t, kNodeRecordSize> EncodeNodeRecord(const CatalogNode& node) {
    std::array<std::uint8_t, kNodeRecordSize> record{};
    // The name slot, which readers pass over, carries the node's flags behind a mark, so that
    // whatever another writer left there is not taken for flags. A node without flags keeps
    // the slot zero, as files always had it.
    if (node.flags != 0) {
        record[0] = kFlagsMark[0];
        record[1] = kFlagsMark[1];
        record[2] = node.flags;
    }
    PutLe8(record, 4, node.type);
    PutLe16(record, 5, node.mode);
    PutLe16(record, 7, node.uid);
    PutLe16(record, 9, node.gid);
    PutLe32(record, 11, node.ctime);
    PutLe32(record, 15, node.mtime);
    PutLe64(record, 19, node.size);
    PutLe32(record, 27, node.inode);
    PutLe8(record, 31, node.marked);
    PutLe8(record, 32, node.is_header);
    PutLe32(record, 33, node.first_child != kNoNode ? 1 : 0);
    PutLe32(record, 37, node.next_sibling != kNoNode ? 1 : 0);
    return record;
}

CatalogNode DecodeNodeRecord(ConstBytes record) {
    CatalogNode node;
    if (record.size() < kNodeRecordSize)
        return node;
    if (record[0] == kFlagsMark[0] && record[1] == kFlagsMark[1] && record[3] == 0 &&
        (record[2] & ~kKnownNodeFlags) == 0)
        node.flags = record[2];
    node.type = Le8(record, 4);
    node.mode = Le16(record, 5);
    node.uid = Le16(record, 7);
    node.gid = Le16(record, 9);
    node.ctime = Le32(record, 11);
    node.mtime = Le32(record, 15);
    node.size = Le64(record, 19);
    node.inode = Le32(record, 27);
    node.marked = Le8(record, 31);
    node.is_header = Le8(record, 32);
    node.first_child = Le32(record, 33) != 0 ? 1 : 0;
    node.next_sibling = Le32(record, 37) != 0 ? 1 : 0;
    return node;
}

std::string DefaultScanInfoName(std::time_t when) {
    return DatedFileName("TW Linux Scan Information", "ds1", SeptemberStyle::kSept, when);
}

} // namespace twl
