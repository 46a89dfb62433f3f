#include "ext2/MetadataChecksums.h"

#include "core/Crc32.h"

#include <array>
#include <vector>

namespace twl {
namespace {

constexpr std::size_t kSuperblockChecksum = 0x3FC;
constexpr std::size_t kUuid = 0x68;
constexpr std::size_t kChecksumSeed = 0x270;
constexpr std::uint32_t kIncompatCsumSeed = 0x2000;
constexpr std::size_t kDescriptorChecksum = 0x1E;

// The seed of every metadata checksum but the superblock's: the one the superblock keeps
// (csum_seed), else the CRC of the volume's UUID.
std::uint32_t ChecksumSeed(const Ext2Volume& volume) {
    const ConstBytes raw(volume.superblock);
    if (volume.sb.HasIncompat(kIncompatCsumSeed))
        return Le32(raw, kChecksumSeed);
    return Crc32c(0xFFFFFFFFu, raw.subspan(kUuid, 16));
}

// metadata_csum: the low half of the CRC32C of the group number and the descriptor, its
// checksum taken as zero. gdt_csum: the CRC16 of the UUID, the group number and the
// descriptor around its checksum.
bool DescriptorMatches(const Ext2Volume& volume, std::uint32_t seed, std::uint32_t group) {
    const std::uint32_t size = volume.layout.size;
    const std::size_t at = std::size_t{group} * size;
    if (size < kDescriptorChecksum + 2 || at + size > volume.descriptorTable.size())
        return true; // nothing to judge
    std::vector<std::uint8_t> descriptor(
        volume.descriptorTable.begin() + static_cast<std::ptrdiff_t>(at),
        volume.descriptorTable.begin() + static_cast<std::ptrdiff_t>(at + size));
    const std::uint16_t stored = Le16(descriptor, kDescriptorChecksum);
    std::array<std::uint8_t, 4> number{};
    PutLe32(number, 0, group);
    if (!volume.sb.HasRoCompat(kRoCompatMetadataCsum)) {
        const ConstBytes bytes(descriptor);
        std::uint16_t crc = Crc16(0xFFFF, ConstBytes(volume.superblock).subspan(kUuid, 16));
        crc = Crc16(Crc16(crc, number), bytes.first(kDescriptorChecksum));
        return Crc16(crc, bytes.subspan(kDescriptorChecksum + 2)) == stored;
    }
    PutLe16(descriptor, kDescriptorChecksum, 0);
    const std::uint32_t crc = Crc32c(Crc32c(seed, number), descriptor);
    return (crc & 0xFFFF) == stored;
}

} // namespace

std::string ChecksumMismatchNote(const Ext2Volume& volume) {
    if (!volume.sb.HasGroupChecksums())
        return {};
    const ConstBytes raw(volume.superblock);
    std::string note;
    if (volume.sb.HasRoCompat(kRoCompatMetadataCsum) &&
        Crc32c(0xFFFFFFFFu, raw.first(kSuperblockChecksum)) != Le32(raw, kSuperblockChecksum))
        note = "the superblock's checksum does not match its bytes";
    const std::uint32_t seed = ChecksumSeed(volume);
    std::uint32_t mismatched = 0;
    std::uint32_t first = 0;
    for (std::uint32_t g = 0; g < volume.groupCount; ++g) {
        if (DescriptorMatches(volume, seed, g))
            continue;
        first = mismatched++ == 0 ? g : first;
    }
    if (mismatched != 0)
        note += std::string(note.empty() ? "" : "; ") + std::to_string(mismatched) +
                " group descriptor checksums do not match (the first: group " +
                std::to_string(first) + ")";
    if (note.empty())
        return {};
    return "Damage: " + note + ". What they describe is read as it stands";
}

} // namespace twl
