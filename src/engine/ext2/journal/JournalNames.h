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
#include <vector>

namespace twl {

struct JournalName {
    std::string name;        // as the entry holds it, any bytes but NUL and '/'
    InodeNo folder = 0;      // the folder the entry lay in; 0 when the copies do not say
    std::uint64_t block = 0; // the folder block it was found in
    std::uint32_t age = 0;   // of the copy it was found in
};

class JournalNames {
public:
    // For each inode `wanted` accepts, every entry of a copy of a folder block that names
    // it, newest first. Inode-table blocks are not read as folder blocks.
    static JournalNames Find(VolumeReader& reader, const JournalIndex& index,
                             const InodeTableBlocks& tables,
                             const std::function<bool(InodeNo)>& wanted, StopControl* stop);

    // The name of the version of `inode` found in a copy `versionAge` old: the newest entry
    // no newer than that copy. When the inode holds no newer file (`reused` false) and no
    // entry is that old, the newest entry: its folder's block may have been journaled later.
    const JournalName* NameFor(InodeNo inode, std::uint32_t versionAge, bool reused) const;
    std::map<InodeNo, std::vector<JournalName>>& All() { return m_names; }

private:
    std::map<InodeNo, std::vector<JournalName>> m_names;
};

} // namespace twl
