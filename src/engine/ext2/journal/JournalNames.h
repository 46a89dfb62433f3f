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
#include <string>

namespace twl {

struct JournalName {
    std::string name;        // as the entry holds it, any bytes but NUL and '/'
    InodeNo folder = 0;      // the folder the entry lay in; 0 when the copies do not say
    std::uint64_t block = 0; // the folder block it was found in
    std::uint32_t age = 0;   // of the copy it was found in
};

class JournalNames {
public:
    // For each inode `wanted` accepts, the entry of the newest copy of a folder block that
    // names it. Inode-table blocks are not read as folder blocks.
    static JournalNames Find(VolumeReader& reader, const JournalIndex& index,
                             const InodeTableBlocks& tables,
                             const std::function<bool(InodeNo)>& wanted, StopControl* stop);

    const JournalName* Of(InodeNo inode) const;
    std::map<InodeNo, JournalName>& All() { return m_names; }

private:
    std::map<InodeNo, JournalName> m_names;
};

} // namespace twl
