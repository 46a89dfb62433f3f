#include "ext2/journal/JournalNames.h"

#include "ext2/DirectoryRecords.h"

#include <algorithm>
#include <vector>

namespace twl {
namespace {

bool IsDotEntry(std::string_view name) {
    return name == "." || name == "..";
}

// The folder a block belongs to, when it is a folder's first block: its "." says so.
InodeNo OwnerByOpening(ConstBytes block, std::uint32_t inodesCount) {
    const FolderOpening opening = ReadFolderOpening(block, inodesCount);
    return opening.sound ? opening.self : 0;
}

} // namespace

JournalNames JournalNames::Find(VolumeReader& reader, const JournalIndex& index,
                                const InodeTableBlocks& tables,
                                const std::function<const JournalInode*(InodeNo)>& versionOf,
                                StopControl* stop) {
    JournalNames result;
    const Ext2Volume& volume = reader.Volume();
    const InodeRange range{1, volume.sb.s_inodes_count};
    std::vector<std::uint8_t> copy(volume.BlockSize()), current(volume.BlockSize());
    for (const std::uint64_t block : index.Blocks()) {
        if (stop != nullptr && stop->ShouldStop())
            break;
        if (tables.FirstInodeOf(block) != 0)
            continue;
        InodeNo owner = 0;
        bool ownerRead = false;
        std::vector<InodeNo> namedHere;
        for (const JournalCopy& c : index.CopiesOf(block)) {
            index.ReadCopy(reader, c, copy);
            std::vector<DirectoryRecord> named;
            const RecordsEnd end =
                ForEachDirectoryRecord(copy, 0, range, [&](const DirectoryRecord& r) {
                    if (r.inode != 0 && !IsDotEntry(r.NameText()) && versionOf(r.inode))
                        named.push_back(r);
                    return WalkOn::kGoOn;
                });
            if (end != RecordsEnd::kBlockEnd)
                continue; // not a folder block, or a damaged one: its names are not trusted
            if (owner == 0)
                owner = OwnerByOpening(copy, volume.sb.s_inodes_count);
            for (const DirectoryRecord& r : named) {
                const std::string_view text = r.NameText();
                if (text.find('\0') != std::string_view::npos ||
                    text.find('/') != std::string_view::npos)
                    continue;
                const JournalInode& version = *versionOf(r.inode);
                NameChoice& choice = result.m_names[r.inode];
                std::optional<JournalName>& slot =
                    c.age >= version.age ? choice.fitting : choice.newest;
                if (c.age < version.age && version.reused)
                    continue; // a newer file's name
                if (!slot || c.age < slot->age) {
                    slot = JournalName{std::string(text), 0, block, c.age};
                    namedHere.push_back(r.inode);
                }
            }
            if (!ownerRead && owner == 0) { // the block as it is now may still open its folder
                ownerRead = true;
                std::fill(current.begin(), current.end(), std::uint8_t{0});
                reader.ReadBlock(static_cast<BlockNo>(block), current);
                owner = OwnerByOpening(current, volume.sb.s_inodes_count);
            }
        }
        if (owner == 0)
            continue;
        for (const InodeNo inode : namedHere) {
            NameChoice& choice = result.m_names[inode];
            for (std::optional<JournalName>* name : {&choice.fitting, &choice.newest})
                if (*name && (*name)->block == block)
                    (*name)->folder = owner;
        }
    }
    return result;
}

const JournalName* JournalNames::NameFor(InodeNo inode) const {
    const auto it = m_names.find(inode);
    return it == m_names.end() ? nullptr : it->second.Best();
}

} // namespace twl
