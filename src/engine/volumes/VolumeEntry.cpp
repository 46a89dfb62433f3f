#include "volumes/VolumeEntry.h"

#include <algorithm>

namespace twl {
namespace {

void PutLabel(MutableBytes out, std::size_t offset, const VolumeLabel& label) {
    std::copy(label.begin(), label.end(), out.begin() + static_cast<std::ptrdiff_t>(offset));
}

// A link of 1 stands for "another entry follows"; the value itself means nothing.
std::uint32_t LinkValue(bool hasNext) {
    return hasNext ? 1 : 0;
}

} // namespace

std::string LabelText(const VolumeLabel& label) {
    const auto end = std::find(label.begin(), label.end(), '\0');
    return std::string(label.begin(), end);
}

VolumeLabel LabelFromBytes(ConstBytes sixteenBytes) {
    VolumeLabel label{};
    for (std::size_t i = 0; i < kLabelSize && i < sixteenBytes.size(); ++i)
        label[i] = static_cast<char>(sixteenBytes[i]);
    return label;
}

std::array<std::uint8_t, PartitionEntry::kEncodedSize> PartitionEntry::Encode(bool hasNext) const {
    std::array<std::uint8_t, kEncodedSize> out{};
    PutLe8(out, 0, status);
    PutLe8(out, 1, type);
    PutLe32(out, 2, static_cast<std::uint32_t>(start));
    PutLe32(out, 6, static_cast<std::uint32_t>(size));
    PutLabel(out, 10, label);
    PutLe8(out, 26, superblockFound);
    PutLe32(out, 27, LinkValue(hasNext));
    return out;
}

PartitionEntry PartitionEntry::Decode(ConstBytes record) {
    PartitionEntry entry;
    if (record.size() < kEncodedSize)
        return entry;
    entry.status = Le8(record, 0);
    entry.type = Le8(record, 1);
    entry.start = Le32(record, 2);
    entry.size = Le32(record, 6);
    entry.label = LabelFromBytes(record.subspan(10, kLabelSize));
    entry.superblockFound = Le8(record, 26);
    return entry;
}

std::array<std::uint8_t, FoundVolumeEntry::kEncodedSize>
FoundVolumeEntry::Encode(bool hasNext) const {
    std::array<std::uint8_t, kEncodedSize> out{};
    PutLe8(out, 0, status);
    PutLe8(out, 1, type);
    PutLe32(out, 2, static_cast<std::uint32_t>(start));
    PutLe32(out, 6, static_cast<std::uint32_t>(superblockSector));
    PutLe32(out, 10, static_cast<std::uint32_t>(size));
    PutLabel(out, 14, label);
    PutLe32(out, 30, LinkValue(hasNext));
    return out;
}

FoundVolumeEntry FoundVolumeEntry::Decode(ConstBytes record) {
    FoundVolumeEntry entry;
    if (record.size() < kEncodedSize)
        return entry;
    entry.status = Le8(record, 0);
    entry.type = Le8(record, 1);
    entry.start = Le32(record, 2);
    entry.superblockSector = Le32(record, 6);
    entry.size = Le32(record, 10);
    entry.label = LabelFromBytes(record.subspan(14, kLabelSize));
    return entry;
}

} // namespace twl
