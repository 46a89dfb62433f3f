#include "volumes/VolumeLists.h"

namespace twl {

std::vector<std::size_t> ListedLinuxPartitions(const PartitionList& list) {
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        const PartitionEntry& entry = list.entries[i];
        if (entry.type == kLinuxPartitionType && entry.size != 0)
            rows.push_back(i);
    }
    return rows;
}

} // namespace twl
