#pragma once

// Names of files brought back from the journal, from journal copies of folder blocks. A
// current kernel wipes an entry when it deletes it, so the newest copy of a folder block
// often no longer names a file that an older copy still does: every copy is looked through,
// newest first, until one names the inode.

#include "core/StopControl.h"
#include "ext2/VolumeReader.h"
#include "ext2/journal/JournalIndex.h"
#include "ext2/journal/JournalInodes.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace twl {

struct JournalName {
    std::string name;        // as the entry holds it, any bytes but NUL and '/'
    InodeNo folder = 0;      // the folder the entry lay in; 0 when the copies do not say
    std::uint64_t block = 0; // the folder block it was found in
    std::uint32_t age = 0;   // of the copy it was found in
};

// The entries that may name one version of an inode: the newest entry no newer than the
// inode copy the version came from, and, for an inode that no newer file holds, the newest
// entry of all (its folder's block may have been journaled after its inode last was).
struct NameChoice {
    std::optional<JournalName> fitting;
    std::optional<JournalName> newest;

    const JournalName* Best() const { return fitting ? &*fitting : newest ? &*newest : nullptr; }
};

class JournalNames {
public:
    // For each inode that `versionOf` gives a version of, the entries of copies of folder
    // blocks that may name it (two at most, whatever the journal holds). Inode-table blocks
    // are not read as folder blocks.
    static JournalNames Find(VolumeReader& reader, const JournalIndex& index,
                             const InodeTableBlocks& tables,
                             const std::function<const JournalInode*(InodeNo)>& versionOf,
                             StopControl* stop);

    const JournalName* NameFor(InodeNo inode) const;
    std::map<InodeNo, NameChoice>& All() { return m_names; }

private:
    std::map<InodeNo, NameChoice> m_names;
};

} // namespace twl
